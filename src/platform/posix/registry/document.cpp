// The store file as lines: what each says, found and changed in place, every line
// that does not parse kept byte for byte.
#include <algorithm>
#include <mutex>

#include "registry/registry.h"

namespace zp {

namespace {
std::mutex parsedLock; // guards the two below
std::string parsedContents;
std::shared_ptr<const Document> parsed;
} // namespace

std::shared_ptr<const Document> ParsedStore(const std::string& contents) {
    std::lock_guard<std::mutex> hold(parsedLock);
    if (!parsed || contents != parsedContents) {
        parsed = std::make_shared<const Document>(contents);
        parsedContents = contents;
    }
    return parsed;
}

Document::Document(const std::string& contents) {
    lines_.reserve(static_cast<size_t>(std::count(contents.begin(), contents.end(), '\n')) + 1);
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find('\n', start);
        if (end == std::string::npos) end = contents.size();
        // A carriage return stays with its line: dropping it on a write would take a
        // byte from a line the store promises to keep whole (one at the end of the
        // file, with no line feed after it, is not even a line end).
        lines_.push_back({contents.substr(start, end - start)});
        start = end + 1;
    }
    Parse();
}

std::string Document::Text() const {
    size_t size = 0;
    for (const Line& line : lines_)
        size += line.text.size() + 1;
    std::string text;
    text.reserve(size);
    for (const Line& line : lines_) {
        text += line.text;
        text += '\n';
    }
    return text;
}

bool Document::HasKey(const KeyPath& key) const {
    if (key.path.empty()) return true;
    for (const Line& line : lines_)
        if (line.kind == Line::Section && (SameKey(line.key, key) || IsBelow(line.key, key)))
            return true;
    return false;
}

const Document::Line* Document::Find(const KeyPath& key, const std::string& name) const {
    size_t index = FindIndex(key, name);
    return index < lines_.size() ? &lines_[index] : nullptr;
}

size_t Document::FindIndex(const KeyPath& key, const std::string& name) const {
    // A section's entries follow it: its key is compared once for a run of them.
    size_t section = lines_.size();
    bool same = false;
    for (size_t i = lines_.size(); i-- > 0;) {
        const Line& line = lines_[i];
        if (line.kind != Line::Entry || !SameRegistryName(line.name, name)) continue;
        if (line.section != section) {
            section = line.section;
            same = SameKey(lines_[section].key, key);
        }
        if (same) return i;
    }
    return lines_.size();
}

void Document::AddKey(const KeyPath& key) {
    if (lines_.empty()) {
        lines_.push_back({"; Zarelin's registry keys and values, in the ANSI code page."});
    }
    if (!Trim(lines_.back().text).empty()) lines_.push_back({""});
    // What Parse would make of the new lines, without parsing the others again.
    KeyPath spelled = SpelledAsStored(key);
    lines_.push_back({SectionLine(spelled), Line::Section, spelled});
}

void Document::Set(const KeyPath& key, const std::string& name, DWORD type,
                   const std::string& data) {
    size_t found = FindIndex(key, name);
    if (found < lines_.size()) {
        // The line now says what Parse would read from it.
        Line& line = lines_[found];
        line.text = FormatEntry(line.name, type, data);
        line.type = type;
        line.data = data;
        return;
    }
    size_t section = lines_.size();
    for (size_t i = lines_.size(); i-- > 0 && section == lines_.size();)
        if (lines_[i].kind == Line::Section && SameKey(lines_[i].key, key)) section = i;
    if (section == lines_.size()) {
        AddKey(key);
        section = lines_.size() - 1;
    }
    // After the section's last non-blank line, so a blank line before the next
    // section stays where it is.
    size_t insertAt = section + 1;
    for (size_t i = section + 1; i < lines_.size() && !StartsSection(lines_[i].text); ++i)
        if (!Trim(lines_[i].text).empty()) insertAt = i + 1;
    Line entry{FormatEntry(name, type, data), Line::Entry};
    entry.section = section;
    entry.name = name;
    entry.type = type;
    entry.data = data;
    lines_.insert(lines_.begin() + insertAt, std::move(entry));
    // The sections after it moved down by one.
    for (size_t i = insertAt + 1; i < lines_.size(); ++i)
        if (lines_[i].kind == Line::Entry && lines_[i].section >= insertAt) ++lines_[i].section;
}

void Document::Parse() {
    bool inKey = false; // within a section that names a key
    size_t section = 0;
    for (size_t i = 0; i < lines_.size(); ++i) {
        Line& line = lines_[i];
        std::string_view trimmed = Trim(line.text);
        line.kind = Line::Other;
        if (!trimmed.empty() && trimmed[0] == '[') {
            inKey = ParseSection(trimmed, line.key);
            if (inKey) {
                line.kind = Line::Section;
                section = i;
            }
        } else if (inKey && !trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#' &&
                   ParseEntry(trimmed, line.name, line.type, line.data)) {
            line.kind = Line::Entry;
            line.section = section;
        }
    }
}

// The key with the names of its stored ancestors spelled as they are in the file,
// so that a new key below "Software" does not start a second spelling "software".
KeyPath Document::SpelledAsStored(const KeyPath& key) const {
    const unsigned char* upper = UpperTable(CP_ACP);
    KeyPath spelled = key;
    size_t best = 0;
    for (const Line& line : lines_) {
        if (line.kind != Line::Section || line.key.root != key.root) continue;
        const std::string& stored = line.key.path;
        size_t common = 0; // length of the shared leading names, in characters
        for (size_t i = 0; i <= stored.size() && i <= key.path.size(); ++i) {
            bool storedEnds = i == stored.size() || stored[i] == '\\';
            bool keyEnds = i == key.path.size() || key.path[i] == '\\';
            if (storedEnds && keyEnds) common = i;
            if (storedEnds || keyEnds) {
                if (!(storedEnds && keyEnds)) break;
                continue;
            }
            if (upper[static_cast<unsigned char>(stored[i])] !=
                upper[static_cast<unsigned char>(key.path[i])])
                break;
        }
        if (common > best) {
            best = common;
            spelled.path = stored.substr(0, common) + key.path.substr(common);
        }
    }
    return spelled;
}

} // namespace zp

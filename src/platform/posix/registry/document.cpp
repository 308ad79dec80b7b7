// The store file as lines: what each says, found and changed in place, every line
// that does not parse kept byte for byte.
#include "registry/registry.h"

namespace zp {

Document::Document(const std::string& contents) {
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
    std::string text;
    for (const Line& line : lines_)
        text += line.text + "\n";
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
    for (size_t i = lines_.size(); i-- > 0;)
        if (lines_[i].kind == Line::Entry && SameKey(lines_[i].key, key) &&
            SameRegistryName(lines_[i].name, name))
            return &lines_[i];
    return nullptr;
}

void Document::AddKey(const KeyPath& key) {
    if (lines_.empty()) {
        lines_.push_back({"; Zarelin's registry keys and values, in the ANSI code page."});
    }
    if (!Trim(lines_.back().text).empty()) lines_.push_back({""});
    lines_.push_back({SectionLine(SpelledAsStored(key))});
    Parse();
}

void Document::Set(const KeyPath& key, const std::string& name, DWORD type,
                   const std::string& data) {
    for (size_t i = lines_.size(); i-- > 0;) {
        if (lines_[i].kind == Line::Entry && SameKey(lines_[i].key, key) &&
            SameRegistryName(lines_[i].name, name)) {
            lines_[i].text = FormatEntry(lines_[i].name, type, data);
            Parse();
            return;
        }
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
    lines_.insert(lines_.begin() + insertAt, Line{FormatEntry(name, type, data)});
    Parse();
}

void Document::Parse() {
    bool inKey = false; // within a section that names a key
    KeyPath key;
    for (Line& line : lines_) {
        std::string trimmed = Trim(line.text);
        line.kind = Line::Other;
        if (!trimmed.empty() && trimmed[0] == '[') {
            inKey = ParseSection(trimmed, key);
            if (inKey) {
                line.kind = Line::Section;
                line.key = key;
            }
        } else if (inKey && !trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#' &&
                   ParseEntry(trimmed, line.name, line.type, line.data)) {
            line.kind = Line::Entry;
            line.key = key;
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

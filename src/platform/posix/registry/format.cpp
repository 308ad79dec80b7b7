// The store file's line syntax: section lines, value lines and their escapes, and
// the names they hold.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "registry/registry.h"

namespace zp {

namespace {

constexpr size_t MaxKeyNameLength = 255;

// The registry folds names in the ANSI code page.
bool SameAnsi(const char* a, size_t aLength, const char* b, size_t bLength) {
    return zp::SameName(a, aLength, b, bLength, UpperTable(CP_ACP));
}

struct Root {
    HKEY handle;      // the predefined handle
    const char* name; // as written in section lines
    const char* alias;
};
const Root roots[] = {
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithFolded(std::string_view text, size_t at, const char* prefix) {
    size_t length = std::strlen(prefix);
    return text.size() - at >= length && SameAnsi(text.data() + at, length, prefix, length);
}

// Reads a quoted text starting at text[at] == '"'; `at` ends after the closing quote.
bool ParseQuoted(std::string_view text, size_t& at, std::string& out) {
    if (at >= text.size() || text[at] != '"') return false;
    out.clear();
    for (++at; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at == text.size()) return false;
        c = text[at];
        if (c == '\\' || c == '"') {
            out += c;
        } else if (c == 'x' && at + 2 < text.size() && HexDigit(text[at + 1]) >= 0 &&
                   HexDigit(text[at + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[at + 1]) * 16 + HexDigit(text[at + 2]));
            at += 2;
        } else {
            return false;
        }
    }
    return false;
}

// Reads 1 to 8 hex digits; `at` ends after them.
bool ParseHexNumber(std::string_view text, size_t& at, DWORD& number) {
    size_t digits = 0;
    number = 0;
    while (at < text.size() && HexDigit(text[at]) >= 0 && digits < 9) {
        number = number * 16 + HexDigit(text[at++]);
        ++digits;
    }
    return digits >= 1 && digits <= 8;
}

// Reads "aa,bb,..." (possibly empty) up to the end of the text.
bool ParseHexBytes(std::string_view text, size_t at, std::string& out) {
    out.clear();
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    while (at < text.size()) {
        if (at + 1 >= text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0)
            return false;
        out += static_cast<char>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1]));
        at += 2;
        while (at < text.size() && IsBlank(text[at]))
            ++at;
        if (at == text.size()) break;
        if (text[at++] != ',') return false;
        while (at < text.size() && IsBlank(text[at]))
            ++at;
    }
    return true;
}

void AppendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

} // namespace

bool SameRegistryName(std::string_view a, std::string_view b) {
    return SameAnsi(a.data(), a.size(), b.data(), b.size());
}

int RootIndex(HKEY handle) {
    for (int i = 0; i < static_cast<int>(std::size(roots)); ++i)
        if (handle == roots[i].handle) return i;
    return -1;
}

bool SameKey(const KeyPath& a, const KeyPath& b) {
    return a.root == b.root && SameRegistryName(a.path, b.path);
}

bool IsBelow(const KeyPath& key, const KeyPath& ancestor) {
    if (key.root != ancestor.root || key.path.size() <= ancestor.path.size()) return false;
    if (ancestor.path.empty()) return true;
    return key.path[ancestor.path.size()] == '\\' &&
           SameAnsi(key.path.data(), ancestor.path.size(), ancestor.path.data(),
                    ancestor.path.size());
}

LONG AppendSubKey(std::string& path, const char* subKey) {
    if (!subKey || !*subKey) return ERROR_SUCCESS;
    std::string names = subKey;
    if (names.back() == '\\') names.pop_back();
    size_t start = 0;
    while (true) {
        size_t end = names.find('\\', start);
        if (end == std::string::npos) end = names.size();
        if (end == start) return ERROR_BAD_PATHNAME;
        if (end - start > MaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        for (size_t i = start; i < end; ++i)
            if (static_cast<unsigned char>(names[i]) < 0x20 || names[i] == 0x7F)
                return ERROR_INVALID_PARAMETER;
        if (end == names.size()) break;
        start = end + 1;
    }
    if (!path.empty()) path += '\\';
    path += names;
    return ERROR_SUCCESS;
}

// The line without blanks at either end, nor the carriage return of a CRLF line end,
// which each line keeps so that a write gives its bytes back.
std::string_view Trim(std::string_view text) {
    size_t from = 0, to = text.size();
    while (from < to && IsBlank(text[from]))
        ++from;
    while (to > from && (IsBlank(text[to - 1]) || text[to - 1] == '\r'))
        --to;
    return text.substr(from, to - from);
}

// Any line that begins with "[" ends the section before it, also one that does not
// name a key: the entries after a damaged section line belong to no key.
bool StartsSection(std::string_view text) {
    std::string_view trimmed = Trim(text);
    return !trimmed.empty() && trimmed[0] == '[';
}

bool ParseSection(std::string_view trimmed, KeyPath& key) {
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']') return false;
    std::string_view inner = trimmed.substr(1, trimmed.size() - 2);
    size_t split = inner.find('\\');
    std::string_view rootName = inner.substr(0, split);
    key.root = -1;
    for (int i = 0; i < static_cast<int>(std::size(roots)); ++i)
        if (SameRegistryName(rootName, roots[i].name) || SameRegistryName(rootName, roots[i].alias))
            key.root = i;
    if (key.root < 0) return false;
    key.path.clear();
    if (split == std::string::npos) return true;
    std::string names(inner.substr(split + 1));
    return !names.empty() && names.back() != '\\' &&
           AppendSubKey(key.path, names.c_str()) == ERROR_SUCCESS;
}

bool ParseEntry(std::string_view trimmed, std::string& name, DWORD& type, std::string& data) {
    size_t at = 0;
    if (!trimmed.empty() && trimmed[0] == '@') {
        name.clear();
        at = 1;
    } else if (!ParseQuoted(trimmed, at, name)) {
        return false;
    }
    while (at < trimmed.size() && IsBlank(trimmed[at]))
        ++at;
    if (at >= trimmed.size() || trimmed[at++] != '=') return false;
    while (at < trimmed.size() && IsBlank(trimmed[at]))
        ++at;
    if (at < trimmed.size() && trimmed[at] == '"') {
        if (!ParseQuoted(trimmed, at, data) || at != trimmed.size()) return false;
        type = REG_SZ;
        data += '\0';
        return true;
    }
    if (StartsWithFolded(trimmed, at, "dword:")) {
        at += 6;
        DWORD number = 0;
        if (!ParseHexNumber(trimmed, at, number) || at != trimmed.size()) return false;
        type = REG_DWORD;
        data.assign(reinterpret_cast<const char*>(&number), 4); // stored little-endian
        return true;
    }
    if (StartsWithFolded(trimmed, at, "hex:")) {
        type = REG_BINARY;
        return ParseHexBytes(trimmed, at + 4, data);
    }
    if (StartsWithFolded(trimmed, at, "hex(")) {
        at += 4;
        if (!ParseHexNumber(trimmed, at, type) || trimmed.compare(at, 2, "):") != 0) return false;
        return ParseHexBytes(trimmed, at + 2, data);
    }
    return false;
}

std::string FormatEntry(const std::string& name, DWORD type, const std::string& data) {
    std::string line;
    if (name.empty())
        line = "@";
    else
        AppendQuoted(line, name);
    line += '=';
    char number[16];
    if (type == REG_DWORD && data.size() == 4) {
        DWORD value;
        std::memcpy(&value, data.data(), 4);
        std::snprintf(number, sizeof number, "dword:%08x", value);
        line += number;
        return line;
    }
    if (type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1) {
        AppendQuoted(line, data.substr(0, data.size() - 1));
        return line;
    }
    if (type == REG_BINARY) {
        line += "hex:";
    } else {
        std::snprintf(number, sizeof number, "hex(%x):", type);
        line += number;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(number, sizeof number, i ? ",%02x" : "%02x",
                      static_cast<unsigned char>(data[i]));
        line += number;
    }
    return line;
}

std::string SectionLine(const KeyPath& key) {
    std::string line = std::string("[") + roots[key.root].name;
    if (!key.path.empty()) line += "\\" + key.path;
    return line + "]";
}

} // namespace zp

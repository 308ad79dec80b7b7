// 8.3 alternate names for the file search, which Linux file systems do not keep.
//
// A name that is a valid 8.3 name already (letters of either case, digits and
// ! # $ % & ' ( ) - @ ^ _ ` { } ~, at most eight before one dot and three after it)
// has none, as on Windows. Any other gets one in the hashed form Windows itself uses
// once its numbered tails run out: up to three characters of the name, a '~', four
// characters of a hash of the whole name, and up to three of its extension, upper
// case: "Program Files" -> "PRO~XXXX", "index.html" -> "IND~XXXX.HTM".
//
// The name is a function of the long name alone (its bytes on the disk), so it is the
// same in every listing, in every process, whatever else the directory holds, and a
// search still reads one entry at a time. It is unique in its directory as far as the
// hash goes: two names that share their first three characters and their extension
// get the same alternate name with a chance of 1 in 36^4 (1 679 616). Such a pair then
// matches a mask through that name together, and a path that names it leads to the
// first of the two in directory order.
#include <cstring>

#include "files/files.h"

namespace zp {

namespace {

constexpr size_t BaseCharacters = 3; // of the long name, before the '~'
constexpr size_t HashCharacters = 4; // after it
constexpr size_t ExtensionCharacters = 3;

bool Legal(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           (c != 0 && std::strchr("!#$%&'()-@^_`{}~", c) != nullptr);
}

char Upper(unsigned char c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
}

// A valid 8.3 name: 1-8 legal characters, then optionally a dot and 1-3 more.
bool IsShortName(const char* name) {
    size_t base = 0;
    while (Legal(static_cast<unsigned char>(name[base])))
        ++base;
    if (base == 0 || base > 8) return false;
    if (name[base] == '\0') return true;
    if (name[base] != '.') return false;
    size_t extension = 0;
    while (Legal(static_cast<unsigned char>(name[base + 1 + extension])))
        ++extension;
    return extension >= 1 && extension <= 3 && name[base + 1 + extension] == '\0';
}

// Appends to `out` up to `room` characters of [from, to), upper case: blanks and dots
// are left out, and a character that has no place in an 8.3 name, one byte or a whole
// UTF-8 sequence, becomes '_'.
size_t Clean(const unsigned char* from, const unsigned char* to, size_t room, char* out) {
    size_t n = 0;
    while (from < to && n < room) {
        unsigned char c = *from;
        if (c == ' ' || c == '.') {
            ++from;
            continue;
        }
        if (c < 0x80) {
            out[n++] = Legal(c) ? Upper(c) : '_';
            ++from;
            continue;
        }
        char32_t ignored;
        from += DecodeUtf8(from, static_cast<size_t>(to - from), &ignored);
        out[n++] = '_';
    }
    return n;
}

// 32-bit FNV-1a with a final mix, so that names differing in their last byte differ
// in every digit.
uint32_t Hash(const unsigned char* name, size_t length) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < length; ++i)
        h = (h ^ name[i]) * 16777619u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

} // namespace

bool IsWindowsName(const char* name) {
    // Every entry of every listing comes here: ASCII is decided by a table, and only a
    // byte beyond it is decoded.
    static const struct Forbidden {
        bool ascii[0x80] = {};
        Forbidden() {
            for (int c = 0; c < 0x20; ++c)
                ascii[c] = true;
            for (const char* c = "\\/:*?\"<>|"; *c; ++c)
                ascii[static_cast<unsigned char>(*c)] = true;
        }
    } forbidden;
    const auto* s = reinterpret_cast<const unsigned char*>(name);
    size_t i = 0;
    while (s[i]) {
        if (s[i] < 0x80) {
            if (forbidden.ascii[s[i++]]) return false;
            continue;
        }
        // A sequence is four bytes at most, and the terminator ends one early.
        char32_t c;
        const size_t n = DecodeUtf8(s + i, 4, &c);
        // U+FFFD stands for an ill-formed sequence unless it was written out itself.
        if (c == 0xFFFD && (n != 3 || std::memcmp(s + i, "\xEF\xBF\xBD", 3) != 0)) return false;
        i += n;
    }
    if (i == 0 || ((s[i - 1] == '.' || s[i - 1] == ' ') && std::strcmp(name, ".") != 0 &&
                   std::strcmp(name, "..") != 0))
        return false;
    return true;
}

bool ShortName(const char* name, char out[ShortNameSize]) {
    out[0] = '\0';
    if (IsShortName(name) || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return false;
    const auto* begin = reinterpret_cast<const unsigned char*>(name);
    const size_t length = std::strlen(name);
    const unsigned char* end = begin + length;
    // The extension follows the last dot, unless that dot starts the name (".profile").
    const char* dot = std::strrchr(name, '.');
    const unsigned char* extension =
        dot && dot != name ? reinterpret_cast<const unsigned char*>(dot) : end;

    size_t n = Clean(begin, extension, BaseCharacters, out);
    out[n++] = '~';
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    uint32_t h = Hash(begin, length);
    for (size_t i = HashCharacters; i-- > 0; h /= 36)
        out[n + i] = digits[h % 36];
    n += HashCharacters;
    if (extension < end) {
        char ext[ExtensionCharacters];
        size_t e = Clean(extension + 1, end, ExtensionCharacters, ext);
        if (e) {
            out[n++] = '.';
            std::memcpy(out + n, ext, e);
            n += e;
        }
    }
    out[n] = '\0';
    return true;
}

} // namespace zp

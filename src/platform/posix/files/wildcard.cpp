// The Windows wildcard match of the file search: '*' and '?' with the DOS rules,
// letter case ignored by the OEM page's table.
#include <cstring>

#include "files/files.h"

namespace zp {

namespace {

// Elements of a compiled mask.
enum Element : unsigned char {
    Literal, // one character, compared without regard to case
    Star,    // any characters
    DosStar, // '*' before '.': any characters but the name's last dot
    DosQm,   // '?': one character other than a dot; nothing at a dot or the end
    DosDot,  // '.' before a wildcard or the end: a dot, or nothing at the end
};

// Adds to `states` the elements reachable without reading a character, at a position
// whose character is `c` (or the end of the name).
void Advance(const Pattern& pattern, bool* states, bool atEnd, unsigned char c) {
    for (int i = 0; i < pattern.length; ++i) {
        if (!states[i]) continue;
        switch (pattern.kind[i]) {
        case Star:
        case DosStar:
            states[i + 1] = true;
            break;
        case DosQm:
            if (atEnd || c == '.') states[i + 1] = true;
            break;
        case DosDot:
            if (atEnd) states[i + 1] = true;
            break;
        }
    }
}

} // namespace

void Compile(const Component& mask, const unsigned char* upper, Pattern* pattern) {
    int prefix = -1;
    for (size_t i = 0; i < mask.length; ++i) {
        char c = mask.text[i];
        char next = i + 1 < mask.length ? mask.text[i + 1] : '\0';
        unsigned char kind = Literal;
        if (c == '?')
            kind = DosQm;
        else if (c == '*')
            kind = next == '.' ? DosStar : Star;
        else if (c == '.' && (next == '?' || next == '*' || next == '\0'))
            kind = DosDot;
        pattern->kind[i] = kind;
        pattern->literal[i] = upper[static_cast<unsigned char>(c)];
        if (kind != Literal && prefix < 0) prefix = static_cast<int>(i);
    }
    pattern->length = static_cast<int>(mask.length);
    pattern->prefix = prefix < 0 ? pattern->length : prefix;
}

// The mask's elements run as a set of states, one step per character.
bool Matches(const Pattern& pattern, const char* text, const unsigned char* upper) {
    const unsigned char* name = reinterpret_cast<const unsigned char*>(text);
    int prefix = pattern.prefix;
    for (int i = 0; i < prefix; ++i)
        if (!name[i] || upper[name[i]] != pattern.literal[i]) return false;
    int length = prefix + static_cast<int>(std::strlen(text + prefix));
    if (prefix == pattern.length) return length == prefix;
    const unsigned char* lastDot =
        reinterpret_cast<const unsigned char*>(std::strrchr(text + prefix, '.'));

    bool states[MAX_PATH + 1] = {};
    bool next[MAX_PATH + 1];
    states[prefix] = true;
    Advance(pattern, states, prefix == length, name[prefix]);
    for (int k = prefix; k < length; ++k) {
        unsigned char c = name[k];
        bool any = false;
        std::memset(next, 0, pattern.length + 1);
        for (int i = 0; i < pattern.length; ++i) {
            if (!states[i]) continue;
            switch (pattern.kind[i]) {
            case Literal:
                if (upper[c] == pattern.literal[i]) any = next[i + 1] = true;
                break;
            case Star:
                any = next[i] = true;
                break;
            case DosStar:
                if (name + k != lastDot) any = next[i] = true;
                break;
            case DosQm:
                if (c != '.') any = next[i + 1] = true;
                break;
            case DosDot:
                if (c == '.') any = next[i + 1] = true;
                break;
            }
        }
        if (!any) return false;
        Advance(pattern, next, k + 1 == length, name[k + 1]);
        std::memcpy(states, next, pattern.length + 1);
    }
    return states[pattern.length];
}

} // namespace zp

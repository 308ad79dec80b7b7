// The layer's one case fold and its UTF-8 codec.
#include "names.h"

#include <locale.h>
#include <wctype.h>

#include <cstring>

namespace zp {

namespace {
constexpr char32_t Replacement = 0xFFFD;
} // namespace

// The C.UTF-8 locale has the upper-case table of the whole of Unicode. Without it,
// ASCII and Latin-1 letters still fold.
char32_t UpperOf(char32_t c) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (unicode) return towupper_l(c, unicode);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    return c;
}

std::u16string Fold(const std::u16string& name) {
    std::u16string folded = name;
    for (char16_t& unit : folded) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue; // beyond the BMP: no case here
        char32_t upper = UpperOf(unit);
        if (upper <= 0xFFFF) unit = static_cast<char16_t>(upper);
    }
    return folded;
}

bool SameName(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() && Fold(a) == Fold(b);
}

bool SameName(const char* a, size_t aLength, const char* b, size_t bLength,
              const unsigned char* upper) {
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i)
        if (upper[static_cast<unsigned char>(a[i])] != upper[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

// A terminator ends any sequence, so zero-terminated text can pass SIZE_MAX.
size_t DecodeUtf8(const unsigned char* s, size_t n, char32_t* c) {
    unsigned char lead = s[0];
    if (lead < 0x80) {
        *c = lead;
        return 1;
    }
    size_t length;
    char32_t value;
    unsigned char low = 0x80, high = 0xBF; // bounds of the next byte: no overlong or surrogate
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        *c = Replacement;
        return 1;
    }
    for (size_t i = 1; i < length; ++i) {
        if (i >= n || s[i] < low || s[i] > high) {
            *c = Replacement;
            return i;
        }
        value = value << 6 | (s[i] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *c = value;
    return length;
}

size_t EncodeUtf8(char32_t c, unsigned char* out) {
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | c >> 6);
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | c >> 12);
        out[1] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | c >> 18);
    out[1] = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

std::u16string Utf8ToWide(const std::string& text) {
    if (text.empty()) return {};
    int length = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CodePageUtf8, 0, text.data(), length, nullptr, 0);
    std::u16string wide(static_cast<size_t>(units > 0 ? units : 0), u'\0');
    if (units > 0) MultiByteToWideChar(CodePageUtf8, 0, text.data(), length, &wide[0], units);
    return wide;
}

std::u16string AnsiToWide(const char* text) {
    if (!text || !*text) return {};
    int length = static_cast<int>(std::strlen(text));
    std::u16string wide(static_cast<size_t>(length), u'\0'); // one unit per byte
    MultiByteToWideChar(CP_ACP, 0, text, length, &wide[0], length);
    return wide;
}

std::string WideToAnsi(const std::u16string& text) {
    if (text.empty()) return {};
    int length = static_cast<int>(text.size());
    std::string ansi(text.size(), '\0'); // one byte per unit
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, &ansi[0], length, nullptr, nullptr);
    return ansi;
}

} // namespace zp

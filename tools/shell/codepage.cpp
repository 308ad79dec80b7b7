#include "codepage.h"

#include <unordered_map>
#include <vector>

#include "zp_codepage.h"

namespace shell {

namespace {

char32_t toUnicode[256];
std::unordered_map<char32_t, unsigned char> fromUnicode;

char32_t DecodeOne(const unsigned char* s) {
    if (s[0] < 0x80) return s[0];
    if (s[0] < 0xE0) return (s[0] & 0x1Fu) << 6 | (s[1] & 0x3Fu);
    if (s[0] < 0xF0) return (s[0] & 0x0Fu) << 12 | (s[1] & 0x3Fu) << 6 | (s[2] & 0x3Fu);
    return (s[0] & 0x07u) << 18 | (s[1] & 0x3Fu) << 12 | (s[2] & 0x3Fu) << 6 | (s[3] & 0x3Fu);
}

} // namespace

void LoadCodePage() {
    fromUnicode.clear();
    toUnicode[0] = 0;
    for (int b = 1; b < 256; ++b) {
        const char oem[2] = {static_cast<char>(b), 0};
        unsigned char utf8[8] = {};
        ZpOemToUtf8(oem, reinterpret_cast<char*>(utf8), sizeof utf8);
        toUnicode[b] = DecodeOne(utf8);
    }
    // Lowest byte first, should two bytes stand for one character.
    for (int b = 255; b >= 1; --b)
        fromUnicode[toUnicode[b]] = static_cast<unsigned char>(b);
}

char32_t OemToUnicode(unsigned char byte) {
    return toUnicode[byte];
}

int UnicodeToOem(char32_t c) {
    auto found = fromUnicode.find(c);
    return found == fromUnicode.end() ? -1 : found->second;
}

char OemOr(char32_t c, char fallback) {
    int byte = UnicodeToOem(c);
    return byte < 0 ? fallback : static_cast<char>(byte);
}

std::string Utf8ToOem(const std::string& utf8, bool* lossless) {
    // Every character takes at least one UTF-8 byte and at most two OEM ones ("??" for
    // one beyond the Basic Multilingual Plane, which takes four).
    std::vector<char> out(utf8.size() + 1);
    ZpUtf8ToOem(utf8.c_str(), out.data(), out.size());
    std::string oem(out.data());
    if (lossless) *lossless = OemToUtf8(oem) == utf8;
    return oem;
}

std::string OemToUtf8(const std::string& oem) {
    std::vector<char> out(oem.size() * 3 + 1); // one byte: three UTF-8 bytes at most
    ZpOemToUtf8(oem.c_str(), out.data(), out.size());
    return out.data();
}

std::string EscapeControls(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
            continue;
        }
        out += "\\x";
        out += hex[byte >> 4];
        out += hex[byte & 15];
    }
    return out;
}

} // namespace shell

// What the parts of libzarelin-platform.so share and do not export: the one way they
// compare names, and the conversions between UTF-8, UTF-16 and the code pages.
//
// Windows compares file, registry and network names without regard to letter case,
// by the upper-case mapping of the whole of Unicode, one UTF-16 unit at a time. Every
// comparison here goes through UpperOf: UTF-16 names directly, and text in a
// single-byte code page through that page's table, which is built from it.
#pragma once

#include <cstddef>
#include <string>

#include "win32.h"

#define ZP_INTERNAL __attribute__((visibility("hidden")))

namespace zp {

constexpr UINT CodePageUtf8 = 65001;

// The upper-case form of a character, as Windows folds names (itself when it has none).
ZP_INTERNAL char32_t UpperOf(char32_t c);

// UTF-16 names, folded unit by unit; units beyond the Basic Multilingual Plane stay.
ZP_INTERNAL std::u16string Fold(const std::u16string& name);
ZP_INTERNAL bool SameName(const std::u16string& a, const std::u16string& b);

// The 256-byte upper-case table of a single-byte page (CP_ACP or CP_OEMCP), for the
// byte comparison below. Valid for the life of the process.
ZP_INTERNAL const unsigned char* UpperTable(UINT codePage);

// Whether two byte texts in that page are one name.
ZP_INTERNAL bool SameName(const char* a, size_t aLength, const char* b, size_t bLength,
                          const unsigned char* upper);

// UTF-8: the character at `s` (of which `n` bytes may be read) and the bytes it takes;
// an ill-formed sequence is U+FFFD for its longest well-formed start, as on Windows.
ZP_INTERNAL size_t DecodeUtf8(const unsigned char* s, size_t n, char32_t* c);
// Writes `c` as UTF-8 (1 to 4 bytes) and returns how many.
ZP_INTERNAL size_t EncodeUtf8(char32_t c, unsigned char* out);

// Conversions between the network file's UTF-8, UTF-16 and the ANSI code page.
ZP_INTERNAL std::u16string Utf8ToWide(const std::string& text);
ZP_INTERNAL std::u16string AnsiToWide(const char* text);
ZP_INTERNAL std::string WideToAnsi(const std::u16string& text);

} // namespace zp

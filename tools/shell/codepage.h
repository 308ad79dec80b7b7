// The console's OEM code page as the terminal sees it: the screen buffer and the
// command line hold single OEM bytes, the terminal speaks Unicode (UTF-8). The
// conversions are the platform's, so the shell and the module agree on every byte.
#pragma once

#include <string>

namespace shell {

// Reads the platform's current OEM page into the tables below.
void LoadCodePage();

// The character a byte of the OEM page stands for (a control character stands for
// itself).
char32_t OemToUnicode(unsigned char byte);

// The OEM byte for a character; -1 when the page has none.
int UnicodeToOem(char32_t c);

// UTF-8 text in the OEM page: a character without an OEM form, or an ill-formed
// sequence, becomes '?', and `lossless` (when given) turns false. Stops at a zero byte.
std::string Utf8ToOem(const std::string& utf8, bool* lossless = nullptr);

// OEM text in UTF-8. Stops at a zero byte.
std::string OemToUtf8(const std::string& oem);

// `text` (UTF-8 or OEM) for a message: each control character shown as \xHH, so that a
// name holding an escape sequence or a line break cannot reach the terminal as one.
std::string EscapeControls(const std::string& text);

// The OEM byte for `c`, or `fallback` when the page has none (for frame lines and
// check marks, which not every page can draw).
char OemOr(char32_t c, char fallback);

} // namespace shell

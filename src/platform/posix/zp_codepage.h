// The host's side of the code pages.
//
// The console's OEM code page is single-byte (437 unless the host picks another); the
// ANSI code page is 1252; names on the disk are UTF-8. A character with no form in
// the target page becomes '?', one per UTF-16 unit as on Windows, so a character
// outside the Basic Multilingual Plane becomes "??".
#pragma once

#include "win32.h"

// Makes `codePage` the console's OEM code page, for CP_OEMCP, CharToOem* and the names
// the file search returns. Only single-byte pages that keep ASCII are accepted (437,
// 850, 866, ...); false, leaving the current page, for any other.
ZARELIN_PLATFORM_API bool ZpSetOemCodePage(unsigned codePage);

// The console's OEM code page.
ZARELIN_PLATFORM_API unsigned ZpOemCodePage(void);

// Converts zero-terminated OEM text to UTF-8 in `out` of `outSize` bytes, always
// terminated when outSize > 0. False when the text had to be cut (never inside a
// character) or an argument is null.
ZARELIN_PLATFORM_API bool ZpOemToUtf8(const char* oem, char* out, size_t outSize);

// Converts zero-terminated UTF-8 text to the OEM code page, with the same contract. An
// ill-formed UTF-8 sequence becomes one '?'.
ZARELIN_PLATFORM_API bool ZpUtf8ToOem(const char* utf8, char* out, size_t outSize);

// The 256-byte table that maps each byte of the current OEM code page to its upper-case
// form (itself when the page has none), for comparing names without regard to case.
// Valid for the life of the process, also after the OEM page changes.
ZARELIN_PLATFORM_API const unsigned char* ZpOemUpperTable(void);

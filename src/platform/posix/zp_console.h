// The host's side of the console screen buffer.
//
// There is one buffer per process, as there is one console on Windows. The host draws
// into it and renders it; the module reads it back through GetStdHandle,
// GetConsoleScreenBufferInfo and ReadConsoleOutputCharacterA. Characters are single
// bytes in the console's OEM code page, stored as given. Every call is safe with any
// arguments: coordinates are clipped or clamped, never trusted.
#pragma once

#include "win32.h"

// Creates the buffer (blank, cursor at 0,0) or resizes it, keeping the characters
// that still fit and blanking the rest. Sizes are clamped to 1..1000 in each
// direction; the cursor is kept inside.
ZARELIN_PLATFORM_API void ZpConsoleResize(int width, int height);

// Reports the buffer's size; returns 0 (and sets both to 0) when there is no buffer.
ZARELIN_PLATFORM_API int ZpConsoleSize(int* width, int* height);

// Blanks every cell and puts the cursor at 0,0, as `cls` does.
ZARELIN_PLATFORM_API void ZpConsoleClear(void);

// Writes `length` bytes of `text` at column x of row y (a negative length: up to the
// terminator). Clipped to the row: what falls left of column 0 or right of the last
// column is dropped, nothing wraps. Returns the number of cells written.
ZARELIN_PLATFORM_API int ZpConsoleWrite(int x, int y, const char* text, int length);

// Copies up to `length` cells of row y, from column x, into `out` (clipped to the row,
// not terminated), for the renderer. Returns the number of bytes copied.
ZARELIN_PLATFORM_API int ZpConsoleRead(int x, int y, char* out, int length);

// Moves the cursor, clamped into the buffer.
ZARELIN_PLATFORM_API void ZpConsoleSetCursor(int x, int y);

// Reports the cursor; returns 0 (and sets both to 0) when there is no buffer.
ZARELIN_PLATFORM_API int ZpConsoleCursor(int* x, int* y);

// How many times the console's bell has rung (MessageBeep) since the last reset.
ZARELIN_PLATFORM_API unsigned ZpConsoleBellCount(void);

// Drops the buffer and the bell count: back to a process without a console.
ZARELIN_PLATFORM_API void ZpConsoleReset(void);

// Console read-back and the beep: one screen buffer per process, drawn by the host
// through zp_console.h and read by the module through the Win32 calls.
#include "zp_console.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int MaxSide = 1000;
constexpr char Blank = ' ';

struct ScreenBuffer {
    bool exists = false;    // false until a host sizes the buffer: no console yet
    int width = 0;          // columns, 1..MaxSide once it exists
    int height = 0;         // rows, 1..MaxSide once it exists
    std::vector<char> rows; // width * height cells, row after row
    int cursorX = 0;        // always inside the buffer
    int cursorY = 0;
};

std::mutex screenLock;
ScreenBuffer screen;
std::atomic<unsigned> bellCount{0};

// The standard output handle: the address of the buffer, so it can be told from any
// handle the module might hold by mistake.
HANDLE ConsoleHandle() {
    return static_cast<HANDLE>(&screen);
}

int Clamp(int value, int low, int high) {
    return std::min(std::max(value, low), high);
}

// True when `handle` is the console's and a buffer exists; otherwise sets the
// last-error code, as the Win32 calls do on a bad handle. Call with the lock held.
bool ValidConsole(HANDLE handle) {
    if (handle == ConsoleHandle() && screen.exists) return true;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

// The part of the span [x, x + length) of row y that lies inside the buffer.
struct RowSpan {
    int column;  // its first column
    int skipped; // how many of the span's cells lie left of column 0
    int count;   // its width; 0 when none of the span lies inside
};

// Call with the lock held.
RowSpan ClipToRow(int x, int y, int length) {
    if (!screen.exists || y < 0 || y >= screen.height || length <= 0) return {0, 0, 0};
    const long long from = std::max(x, 0);
    const long long to = std::min<long long>(static_cast<long long>(x) + length, screen.width);
    if (from >= to) return {0, 0, 0};
    return {static_cast<int>(from), static_cast<int>(from - x), static_cast<int>(to - from)};
}

char* Cell(int x, int y) {
    return &screen.rows[static_cast<size_t>(y) * screen.width + x];
}

} // namespace

extern "C" {

HANDLE GetStdHandle(DWORD which) {
    std::lock_guard<std::mutex> hold(screenLock);
    if (which == STD_OUTPUT_HANDLE && screen.exists) return ConsoleHandle();
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
    std::lock_guard<std::mutex> hold(screenLock);
    if (!ValidConsole(console)) return FALSE;
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SHORT width = static_cast<SHORT>(screen.width);
    const SHORT height = static_cast<SHORT>(screen.height);
    info->dwSize = {width, height};
    info->dwCursorPosition = {static_cast<SHORT>(screen.cursorX),
                              static_cast<SHORT>(screen.cursorY)};
    info->wAttributes = 7; // light grey on black, the console's default
    // The window shows the whole buffer: there is no scroll-back.
    info->srWindow = {0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
    info->dwMaximumWindowSize = {width, height};
    return TRUE;
}

BOOL ReadConsoleOutputCharacterA(HANDLE console, CHAR* chars, DWORD length, COORD from,
                                 DWORD* read) {
    std::lock_guard<std::mutex> hold(screenLock);
    if (!ValidConsole(console)) return FALSE;
    if (!read || (!chars && length > 0) || from.X < 0 || from.Y < 0 || from.X >= screen.width ||
        from.Y >= screen.height) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // As on Windows, the read runs on into the following rows and stops at the end of
    // the buffer; the characters are not terminated.
    const size_t start = static_cast<size_t>(from.Y) * screen.width + from.X;
    const size_t count = std::min<size_t>(length, screen.rows.size() - start);
    if (count > 0) std::memcpy(chars, screen.rows.data() + start, count);
    *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL MessageBeep(UINT /*type*/) {
    // Every kind of beep rings the console's one bell; the host renders it.
    bellCount.fetch_add(1, std::memory_order_relaxed);
    return TRUE;
}

void ZpConsoleResize(int width, int height) {
    width = Clamp(width, 1, MaxSide);
    height = Clamp(height, 1, MaxSide);
    std::lock_guard<std::mutex> hold(screenLock);
    std::vector<char> rows(static_cast<size_t>(width) * height, Blank);
    if (screen.exists) {
        const int keepWidth = std::min(width, screen.width);
        const int keepHeight = std::min(height, screen.height);
        for (int y = 0; y < keepHeight; ++y)
            std::memcpy(&rows[static_cast<size_t>(y) * width], Cell(0, y), keepWidth);
    }
    screen.rows.swap(rows);
    screen.width = width;
    screen.height = height;
    screen.cursorX = Clamp(screen.exists ? screen.cursorX : 0, 0, width - 1);
    screen.cursorY = Clamp(screen.exists ? screen.cursorY : 0, 0, height - 1);
    screen.exists = true;
}

int ZpConsoleSize(int* width, int* height) {
    std::lock_guard<std::mutex> hold(screenLock);
    if (width) *width = screen.width;
    if (height) *height = screen.height;
    return screen.exists ? 1 : 0;
}

void ZpConsoleClear(void) {
    std::lock_guard<std::mutex> hold(screenLock);
    std::fill(screen.rows.begin(), screen.rows.end(), Blank);
    screen.cursorX = 0;
    screen.cursorY = 0;
}

int ZpConsoleWrite(int x, int y, const char* text, int length) {
    if (!text) return 0;
    if (length < 0) length = static_cast<int>(std::min<size_t>(std::strlen(text), INT_MAX));
    std::lock_guard<std::mutex> hold(screenLock);
    const RowSpan span = ClipToRow(x, y, length);
    if (span.count > 0) std::memcpy(Cell(span.column, y), text + span.skipped, span.count);
    return span.count;
}

int ZpConsoleRead(int x, int y, char* out, int length) {
    if (!out) return 0;
    std::lock_guard<std::mutex> hold(screenLock);
    const RowSpan span = ClipToRow(x, y, length);
    if (span.count > 0) std::memcpy(out, Cell(span.column, y), span.count);
    return span.count;
}

void ZpConsoleSetCursor(int x, int y) {
    std::lock_guard<std::mutex> hold(screenLock);
    if (!screen.exists) return;
    screen.cursorX = Clamp(x, 0, screen.width - 1);
    screen.cursorY = Clamp(y, 0, screen.height - 1);
}

int ZpConsoleCursor(int* x, int* y) {
    std::lock_guard<std::mutex> hold(screenLock);
    if (x) *x = screen.cursorX;
    if (y) *y = screen.cursorY;
    return screen.exists ? 1 : 0;
}

unsigned ZpConsoleBellCount(void) {
    return bellCount.load(std::memory_order_relaxed);
}

void ZpConsoleReset(void) {
    std::lock_guard<std::mutex> hold(screenLock);
    screen = ScreenBuffer();
    bellCount.store(0, std::memory_order_relaxed);
}

} // extern "C"

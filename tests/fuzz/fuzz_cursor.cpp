// Locating the command line's cursor by reading the console back, over any screen,
// cursor, prompt and line: the result is -1, the length of the line, or a position at
// which the line shows the text the screen shows; the prompt stays inside its buffer.
//
// Input, one field per line:
//   1   "<width> <height> <x> <y> <column>": the console's size, the cursor, and the
//       column the rows below are written at (any values; the console clamps them)
//   2   the command line, as the host holds it
//   3.. the screen, from the cursor's row down, any bytes
#include <algorithm>
#include <string>
#include <vector>

#include "engine/state.h"
#include "fuzz_support.h"
#include "zp_console.h"

using namespace zarelin;

namespace {

constexpr int ReadLength = 256; // what the cursor location reads from the row on

struct Input {
    long width = 80, height = 25, x = -1, y = 5, column = 0;
    std::string line;
    std::vector<std::string> rows;
};

Input Parse(const uint8_t* data, size_t size) {
    std::vector<std::string> lines = fuzz::SplitLines(data, size);
    Input in;
    if (!lines.empty()) {
        std::vector<std::string> n = fuzz::SplitFields(lines[0], ' ');
        auto at = [&](size_t i, long fallback) {
            return i < n.size() ? fuzz::Number(n[i], fallback, -5000, 5000) : fallback;
        };
        in.width = at(0, 80);
        in.height = at(1, 25);
        in.x = at(2, -1);
        in.y = at(3, 5);
        in.column = at(4, 0);
    }
    if (lines.size() > 1) in.line = lines[1];
    for (size_t i = 2; i < lines.size() && in.rows.size() < 20; ++i)
        in.rows.push_back(lines[i]);
    if (in.x < 0) in.x = in.rows.empty() ? 0 : static_cast<long>(in.rows[0].size());
    return in;
}

// What the console holds from column 0 of row `y` on, as the module reads it.
std::string ReadBack(int y) {
    int width = 0, height = 0;
    ZpConsoleSize(&width, &height);
    std::string cells;
    for (int row = y; row < height && cells.size() < static_cast<size_t>(ReadLength); ++row) {
        std::string part(static_cast<size_t>(width), '\0');
        part.resize(static_cast<size_t>(ZpConsoleRead(0, row, &part[0], width)));
        cells += part;
    }
    if (cells.size() > static_cast<size_t>(ReadLength)) cells.resize(ReadLength);
    return cells;
}

// The Win32 read, with arguments inside and outside the buffer: it never reports more
// than was asked for or than the buffer holds from there.
void CheckRead(long x, long y, long length) {
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    FUZZ_CHECK(console != INVALID_HANDLE_VALUE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    FUZZ_CHECK(GetConsoleScreenBufferInfo(console, &info));
    int width = 0, height = 0;
    FUZZ_CHECK(ZpConsoleSize(&width, &height) == 1);
    FUZZ_CHECK(info.dwSize.X == width && info.dwSize.Y == height);
    FUZZ_CHECK(info.dwCursorPosition.X >= 0 && info.dwCursorPosition.X < width);
    FUZZ_CHECK(info.dwCursorPosition.Y >= 0 && info.dwCursorPosition.Y < height);

    const DWORD asked = static_cast<DWORD>(std::max(0L, std::min(length, 3000L)));
    std::vector<char> chars(asked ? asked : 1);
    COORD from = {static_cast<SHORT>(x), static_cast<SHORT>(y)};
    DWORD read = 12345;
    BOOL ok = ReadConsoleOutputCharacterA(console, chars.data(), asked, from, &read);
    const bool inside = from.X >= 0 && from.Y >= 0 && from.X < width && from.Y < height;
    FUZZ_CHECK((ok != 0) == inside);
    if (!ok) return;
    const long left =
        static_cast<long>(width) * height - (static_cast<long>(from.Y) * width + from.X);
    FUZZ_CHECK(read <= asked && static_cast<long>(read) <= left);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Input in = Parse(data, size);

    ZpConsoleReset();
    ZpConsoleResize(static_cast<int>(in.width), static_cast<int>(in.height));
    for (size_t i = 0; i < in.rows.size(); ++i)
        ZpConsoleWrite(static_cast<int>(in.column), static_cast<int>(in.y + static_cast<long>(i)),
                       in.rows[i].data(), static_cast<int>(in.rows[i].size()));
    ZpConsoleSetCursor(static_cast<int>(in.x), static_cast<int>(in.y));
    int cursorX = 0, cursorY = 0;
    FUZZ_CHECK(ZpConsoleCursor(&cursorX, &cursorY) == 1);

    State.Init();
    std::memcpy(State.Line, in.line.data(), std::min<size_t>(in.line.size(), LineBufferSize - 1));
    const int32_t lineLength = static_cast<int32_t>(std::strlen(State.Line));
    // Marks in the fields around the prompt buffers.
    std::memset(State.LastPrompt, 'L', sizeof State.LastPrompt);
    std::memset(State.CurrentPrompt, 'C', sizeof State.CurrentPrompt - 1);
    State.CurrentPrompt[sizeof State.CurrentPrompt - 1] = 0;
    State.CursorPos = 0x5A5A5A5A;
    char line[LineBufferSize], mask[LineBufferSize], lastPrompt[PromptBufferSize];
    std::memcpy(line, State.Line, sizeof line);
    std::memcpy(mask, State.Mask, sizeof mask);
    std::memcpy(lastPrompt, State.LastPrompt, sizeof lastPrompt);

    const int32_t found = State.FindCursor();

    FUZZ_CHECK(std::memcmp(line, State.Line, sizeof line) == 0);
    FUZZ_CHECK(std::memcmp(mask, State.Mask, sizeof mask) == 0);
    FUZZ_CHECK(std::memcmp(lastPrompt, State.LastPrompt, sizeof lastPrompt) == 0);
    FUZZ_CHECK(State.CursorPos == 0x5A5A5A5A);
    FUZZ_CHECK(std::memchr(State.CurrentPrompt, 0, sizeof State.CurrentPrompt) != nullptr);

    // The same reading of the screen, done here from what the console shows.
    const std::string row = ReadBack(cursorY);
    const size_t p = std::min(row.find('>'), row.find('\0'));
    if (p == std::string::npos || row[p] != '>') {
        FUZZ_CHECK(found == -1);
        FUZZ_CHECK(std::string(sizeof State.CurrentPrompt - 1, 'C') == State.CurrentPrompt);
    } else {
        // A prompt too long for the buffer is cut, never written past it.
        const size_t kept = std::min(p, sizeof State.CurrentPrompt - 1);
        FUZZ_CHECK(row.substr(0, kept) == State.CurrentPrompt);
        const int32_t s = static_cast<int32_t>(p) + 1;
        int32_t e = static_cast<int32_t>(row.size()) - 1;
        while (e > s && (row[e] == ' ' || row[e] == 0))
            --e;
        if (cursorX <= static_cast<int32_t>(p)) {
            FUZZ_CHECK(found == -1);
        } else if (e <= s) {
            FUZZ_CHECK(found == lineLength);
        } else if (found != -1) {
            // The line holds the visible text where the result puts it.
            const int32_t j = found - (cursorX - s);
            const int32_t k = e - s;
            FUZZ_CHECK(found >= 0 && j >= 0 && j + k <= lineLength);
            FUZZ_CHECK(std::memcmp(State.Line + j, row.data() + s, static_cast<size_t>(k)) == 0);
        }
    }

    // The word under that cursor stays inside the line, wherever the cursor landed.
    State.CursorPos = found < 0 ? lineLength : found;
    State.StartSearch();
    FUZZ_CHECK(0 <= State.WordStart && State.WordStart <= State.WordEnd &&
               State.WordEnd <= lineLength);
    FUZZ_CHECK(std::memchr(State.Mask, 0, sizeof State.Mask) != nullptr);
    State.ResetSearch();

    CheckRead(in.column, in.y, in.width * 3);
    CheckRead(in.x, in.height, in.column);
    ZpConsoleReset();
    return 0;
}

// The line to complete: the host's command line, or the editor's current line, and the
// cursor in it. On the command line the cursor is found on the console screen, since
// the host reports only the text.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "host/host.h"

namespace zarelin {

namespace {

constexpr DWORD ConsoleReadLength = 256;

EditorPositionRecord CursorRecord = {-1, -1, -1, -1, -1, -1};

bool InEditor(const CompletionState& state) {
    return state.OpenFrom == OpenFromEditor;
}

int32_t LineLength(const char* line) {
    return static_cast<int32_t>(std::strlen(line));
}

} // namespace

bool CompletionState::GetLine() {
    if (InEditor(*this)) {
        EditorLineRecord record = {};
        record.LineNumber = -1;
        Host.HostEditor(EditorGetLine, &record);
        std::memset(Line, 0, sizeof Line);
        // Without a text there is no line: writing one back would replace the user's.
        if (!record.Text) return false;
        // A line longer than the buffer is read cut to its first 1023 characters, and
        // is not completed: writing the cut line back would lose the rest of it.
        return CopyBounded(Line, sizeof Line, record.Text);
    }
    std::memset(Line, 0, sizeof Line);
    Host.HostControl(ActivePanel, HostGetCommandLine, Line);
    Line[sizeof Line - 1] = 0;
    return true;
}

int32_t CompletionState::FindCursor() {
    if (InEditor(*this)) {
        EditorInfoRecord info = {};
        Host.HostEditor(EditorGetInfo, &info);
        return info.CursorPos;
    }

    HANDLE console = os.GetStdHandle(STD_OUTPUT_HANDLE);
    if (!console || console == INVALID_HANDLE_VALUE) return -1;
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!os.GetConsoleScreenBufferInfo(console, &screen)) return -1;
    int32_t x = screen.dwCursorPosition.X;

    // The row that holds the cursor; a short row runs on into the rows below it.
    char row[ConsoleReadLength];
    DWORD read = 0;
    COORD from = {0, screen.dwCursorPosition.Y};
    if (!os.ReadConsoleOutputCharacterA(console, row, ConsoleReadLength, from, &read)) return -1;
    int32_t n = static_cast<int32_t>(read < ConsoleReadLength ? read : ConsoleReadLength);

    int32_t p = 0;
    while (p < n && row[p] != 0 && row[p] != '>')
        ++p;
    if (p == n || row[p] != '>') return -1;
    // Only compared with the prompt of the last insertion, so a cut prompt serves.
    CopyBounded(CurrentPrompt, sizeof CurrentPrompt, row, static_cast<size_t>(p));
    if (x <= p) return -1;

    // The visible command text runs from s to the last non-blank character e.
    int32_t s = p + 1;
    int32_t e = n - 1;
    while (e > s && (row[e] == ' ' || row[e] == 0))
        --e;
    if (e <= s) return LineLength(Line);

    // Align the visible text with the line: the line may be scrolled sideways, so the
    // visible text can start anywhere in it. The last non-blank character anchors the
    // first candidate position.
    const char* last = row[e] ? std::strrchr(Line, row[e]) : nullptr;
    if (!last) return -1;
    int32_t k = e - s;
    for (int32_t j = static_cast<int32_t>(last - Line) - k; j >= 0; --j)
        if (std::memcmp(Line + j, row + s, static_cast<size_t>(k)) == 0) return x - s + j;
    return -1;
}

void CompletionState::PutLine(int32_t cursorOffset) {
    if (InEditor(*this)) {
        EditorLineWriteRecord record = {-1, Line, nullptr, LineLength(Line)};
        Host.HostEditor(EditorSetLine, &record);
        CursorRecord.Position = cursorOffset;
        Host.HostEditor(EditorSetPosition, &CursorRecord);
        return;
    }
    // The host leaves its cursor at the end of the replaced line, where the next
    // command expects it.
    Host.HostControl(ActivePanel, HostSetCommandLine, Line);
}

} // namespace zarelin

// StartSearch: the word under the cursor, its mask, and the region a candidate replaces.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"

namespace zarelin {

namespace {

// Where the word under the cursor begins. Spaces separate words, except inside a
// quoted stretch; a space just before the cursor makes the word begin at the cursor.
int32_t FindWordStart(const char* line, int32_t cursor) {
    int32_t length = static_cast<int32_t>(std::strlen(line));
    bool afterSpace = true;
    bool inQuote = false;
    int32_t wordStart = 0;
    int32_t scanEnd = cursor < length ? cursor : length;
    for (int32_t i = 0; i < scanEnd; ++i) {
        char c = line[i];
        if (c == ' ') {
            afterSpace = true;
        } else if (c == '"') {
            if (inQuote) {
                inQuote = false;
            } else {
                inQuote = true;
                if (afterSpace) wordStart = i;
            }
        } else {
            if (afterSpace && !inQuote) wordStart = i;
            afterSpace = false;
        }
    }
    if (cursor > length) {
        // An editor cursor past the end: the end of the line counts as one more
        // ordinary character, so the word never starts beyond the line.
        if (afterSpace && !inQuote) wordStart = length;
        afterSpace = false;
    }
    return afterSpace ? cursor : wordStart;
}

// Where the word that begins at wordStart ends. A word opened by a quote runs to the
// first space outside quotes: quotes only group, so '"Annual Reports\"Rep' is one word,
// as the command line reads it. A quote that ends such a word stays outside WordEnd and
// goes with the word when a candidate replaces it. Any other word ends at a space.
int32_t FindWordEnd(const char* line, int32_t wordStart) {
    if (line[wordStart] != '"') {
        const char* space = std::strchr(line + wordStart, ' ');
        return space ? static_cast<int32_t>(space - line) : static_cast<int32_t>(std::strlen(line));
    }
    bool inQuote = false;
    int32_t end = wordStart;
    for (; line[end] != 0 && (inQuote || line[end] != ' '); ++end)
        if (line[end] == '"') inQuote = !inQuote;
    return end > wordStart + 1 && line[end - 1] == '"' ? end - 1 : end;
}

} // namespace

void CompletionState::StartSearch() {
    ResetSearch();
    ArmDeadline();

    int32_t cursor = CursorPos < 0 ? 0 : CursorPos;
    WordStart = FindWordStart(Line, cursor);

    int32_t textStart = WordStart + (Line[WordStart] == '"' ? 1 : 0);
    WordEnd = FindWordEnd(Line, WordStart);

    // The mask: the word's text without its quotes, with "*" appended. A word that
    // leaves no room for the "*" yields an empty mask, which no source searches:
    // completing it could never produce a line that fits.
    int32_t maskLength = 0;
    for (int32_t i = textStart; i < WordEnd; ++i)
        if (Line[i] != '"') Mask[maskLength++] = Line[i];
    Mask[maskLength] = 0;
    if (maskLength == 0 || Mask[maskLength - 1] != '*') {
        if (maskLength + 1 < LineBufferSize) {
            Mask[maskLength++] = '*';
            Mask[maskLength] = 0;
        } else {
            Mask[0] = 0;
        }
    }

    NameStart = textStart;
    for (int32_t i = WordStart; i < WordEnd; ++i)
        if (Line[i] == '\\' || Line[i] == '/' || Line[i] == ':') NameStart = i + 1;

    bool network = Mask[0] == Mask[1] && (Mask[0] == '\\' || Mask[0] == '/');
    if (!network) return;
    Mask[0] = Mask[1] = '\\';
    char* afterPrefix = Mask + 2;
    int32_t serverEnd = SpanUntil(afterPrefix, "\\/");
    if (afterPrefix[serverEnd] == 0) {
        // '\\ser': a server word. On the NT family the candidate is the bare server
        // name after the two backslashes; elsewhere it replaces the whole word.
        NetPattern = ServerPattern;
        if (!IsNT) NameStart = textStart;
        return;
    }
    char* sharePart = afterPrefix + serverEnd + 1;
    if (sharePart[SpanUntil(sharePart, "\\/")] != 0) return; // a path inside a share
    // '\\srv\sh': a share word. Mask keeps '\\srv'; the pattern follows it.
    afterPrefix[serverEnd] = 0;
    NetPattern = static_cast<int32_t>(sharePart - Mask);
    NameStart = textStart;
}

} // namespace zarelin

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

} // namespace

void CompletionState::StartSearch() {
    ResetSearch();

    int32_t cursor = CursorPos < 0 ? 0 : CursorPos;
    WordStart = FindWordStart(Line, cursor);

    bool quoted = Line[WordStart] == '"';
    int32_t textStart = WordStart + (quoted ? 1 : 0);
    const char* end = std::strchr(Line + textStart, quoted ? '"' : ' ');
    WordEnd = end ? static_cast<int32_t>(end - Line) : static_cast<int32_t>(std::strlen(Line));

    // The mask: the word's text without quotes, with "*" appended. A word that leaves
    // no room for the "*" yields an empty mask, which no source searches: completing
    // it could never produce a line that fits.
    int32_t maskLength = WordEnd > textStart ? WordEnd - textStart : 0;
    std::memcpy(Mask, Line + textStart, static_cast<size_t>(maskLength));
    Mask[maskLength] = 0;
    if (maskLength > 0 && Mask[maskLength - 1] == '"') Mask[--maskLength] = 0;
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

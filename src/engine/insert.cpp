// InsertCandidate: the line rebuilt around the chosen candidate.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"

namespace zarelin {

namespace {

// Characters that make the shell split or reinterpret a word unless it is quoted.
const char* const NeedsQuotes = " &^";

} // namespace

bool CompletionState::InsertCandidate() {
    const Candidate& candidate = Candidates[CurrentIndex];
    const char* text =
        ShortFileNames && candidate.ShortName[0] ? candidate.ShortName : candidate.Name;
    // The word as it will stand: the prefix the candidate does not replace (directory,
    // drive or server) without the quotes that grouped it, the candidate, and a
    // backslash after a directory. The whole word is quoted anew below.
    char word[LineBufferSize];
    int32_t prefixLength = 0;
    for (int32_t i = WordStart; i < NameStart; ++i)
        if (Line[i] != '"') word[prefixLength++] = Line[i];
    word[prefixLength] = 0;
    bool fits = AppendBounded(word, sizeof word, text);
    if (candidate.IsDirectory) fits = fits && AppendBounded(word, sizeof word, "\\");
    bool quoted = word[SpanUntil(word, NeedsQuotes)] != 0;

    // The whole new line, built aside so that a line too long for the buffer leaves
    // the user's line as it was.
    const char* rest = Line + WordEnd + (Line[WordEnd] == '"' ? 1 : 0);
    char next[LineBufferSize];
    fits = fits && CopyBounded(next, sizeof next, Line, static_cast<size_t>(WordStart));
    if (quoted) fits = fits && AppendBounded(next, sizeof next, "\"");
    fits = fits && AppendBounded(next, sizeof next, word);
    if (quoted) fits = fits && AppendBounded(next, sizeof next, "\"");
    fits = fits && AppendBounded(next, sizeof next, rest);

    // The prompt is noted either way, so that the search can go on to the next
    // candidate after one that did not fit.
    std::memcpy(LastPrompt, CurrentPrompt, sizeof LastPrompt);
    if (!fits) return false;

    int32_t q = quoted ? 1 : 0;
    NameStart = WordStart + q + prefixLength;
    WordEnd = NameStart + static_cast<int32_t>(std::strlen(text)) + candidate.IsDirectory + q;
    std::memcpy(LastLine, next, sizeof LastLine);
    std::memcpy(Line, next, sizeof Line);
    PutLine(WordEnd);
    return true;
}

} // namespace zarelin

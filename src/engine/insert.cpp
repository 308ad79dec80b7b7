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
    // A quote at WordStart opens the word only when the name starts after it: a name
    // that itself begins with a quote (possible on Linux file systems) was inserted
    // unquoted at WordStart, and taking its quote for an opening one would put the
    // prefix at a negative length.
    bool typedQuoted = Line[WordStart] == '"' && NameStart > WordStart;
    int32_t textStart = WordStart + (typedQuoted ? 1 : 0);
    int32_t prefixLength = NameStart - textStart;

    // The word as it will stand: the prefix the candidate does not replace (directory,
    // drive or server), the candidate, and a backslash after a directory.
    char word[LineBufferSize];
    bool fits = CopyBounded(word, sizeof word, Line + textStart, static_cast<size_t>(prefixLength));
    fits = fits && AppendBounded(word, sizeof word, text);
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

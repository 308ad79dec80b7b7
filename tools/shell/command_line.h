// A command line read as cmd reads it, with no interpreter between the line and the
// programs:
//   - blanks (space, tab) separate words; double quotes group them and are dropped;
//   - outside quotes, "^" takes the next character as it stands and is dropped; an
//     escaped "\" or "/" makes the word plain text, never a path ("grep ^\d+");
//   - outside quotes these are operators, with or without blanks around them:
//       a | b                    b reads what a writes
//       a & b   a && b   a || b  b after a; only if a succeeded; only if a failed
//       < f   > f   >> f   1> f   1>> f   2> f   2>> f   2>&1   1>&2
//     ("1" and "2" name a stream only at the start of a word);
//   - every other character, ; $ ` ( ) ' % ~ among them, reaches the program as it
//     stands. A trailing "&" ends the line: nothing runs in the background.
// What each word then stands for (paths, wildcards) is in paths.h.
#pragma once

#include <string>
#include <vector>

namespace shell {

// One word of a command line: its text (OEM) with quotes and carets removed, the span
// [start, end) it covers in the line, and for each character of the text whether it
// was quoted or escaped, and so cannot be a wildcard.
struct Word {
    std::string text;
    size_t start = 0;
    size_t end = 0;
    std::vector<bool> literal;
    bool plain = false; // a separator was escaped ("^\d+"): the word is text, not a path
};

struct Redirection {
    enum Kind { Read, Write, Append, ToOther };
    int fd;      // the stream redirected: 0, 1 or 2
    Kind kind;   // ToOther: 2>&1 or 1>&2, to wherever the other stream goes
    Word target; // the file, as typed; unused for ToOther
};

struct Command {
    std::vector<Word> words; // the program and its arguments, as typed
    std::vector<Redirection> redirections;
    std::string rest; // the text after the program's word, quotes and carets removed (OEM)
};

enum class Then { End, Always, IfSucceeded, IfFailed };

struct Pipeline {
    std::vector<Command> commands; // one program each, joined by pipes
    Then then;                     // how the next pipeline follows
};

// Splits an OEM command line into pipelines. False, with cmd's message, for a line
// whose operators do not make sense.
bool ParseCommandLine(const std::string& line, std::vector<Pipeline>* pipelines,
                      std::string* error);

// The words of a line, operators left out.
std::vector<Word> SplitWords(const std::string& line);

// The text of the word under index `cursor` of `line` (or the last one before it);
// empty when there is none.
std::string WordAt(const std::string& line, size_t cursor);

} // namespace shell

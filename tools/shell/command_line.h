// A command line as the shell runs it, with no interpreter between the line and the
// programs: words split as a Windows console splits them, pipes, redirections and
// command separators done by the shell itself, paths translated and wildcards expanded
// word by word. Nothing the module wrote into the line (a completed name) is ever an
// operator or a wildcard.
//
// Operators count only as words of their own, typed, outside quotes:
//   a | b                    b reads what a writes
//   a & b   a && b   a || b  b after a; only if a succeeded; only if a failed
//   < f   > f   >> f   1> f   1>> f   2> f   2>> f   2>&1   1>&2
// A file named "nul" (any case) is /dev/null. A trailing "&" ends the line: nothing runs
// in the background. Every other character, ";", "$", "`", "(" and "'" among them,
// reaches the program as it stands.
#pragma once

#include <string>
#include <vector>

#include "paths.h"

namespace shell {

struct Redirection {
    enum Kind { Read, Write, Append, ToOther };
    int fd;      // the stream redirected: 0, 1 or 2
    Kind kind;   // ToOther: 2>&1 or 1>&2, to wherever the other stream goes
    Word target; // the file, as typed; unused for ToOther
};

struct Command {
    std::vector<Word> words; // the program and its arguments, as typed
    std::vector<Redirection> redirections;
    std::string rest; // the line's text after the program's word, for the built-ins (OEM)
};

enum class Then { End, Always, IfSucceeded, IfFailed };

struct Pipeline {
    std::vector<Command> commands; // one program each, joined by pipes
    Then then;                     // how the next pipeline follows
};

// Splits an OEM command line (with `completed`, one flag a character) into pipelines.
// False, with cmd's message, for a line whose operators do not make sense.
bool ParseCommandLine(const std::string& line, const std::vector<bool>& completed,
                      std::vector<Pipeline>* pipelines, std::string* error);

// The POSIX text (UTF-8) of a word, taken now, against the current directory: a path
// from a mapped drive ("C:\x") through the drive mapping; a word with backslashes that
// names an existing entry, or one in an existing directory, with its backslashes
// turned into slashes; any other word as typed. A backslash the module wrote inside a
// name is part of the name.
std::string PosixWord(const Word& word);

// The arguments a word stands for: PosixWord, or, where its last component holds a
// typed, unquoted "*" or "?", the names that match it (letter case ignored, "*.*"
// matching names without a dot, names that begin with a dot only when the pattern
// does), sorted; the word itself when none matches, as a Windows program's runtime
// expands them.
std::vector<std::string> ExpandWord(const Word& word);

// Where a redirection's file is: PosixWord, or /dev/null for "nul".
std::string RedirectionPath(const Word& target);

// The Windows-style wildcard match ('*', '?', letter case ignored as in the OEM page)
// of `name` against `pattern`, where only the characters of the pattern whose `wild`
// flag is set (all, when `wild` is empty) are wildcards.
bool WildcardMatch(const std::string& pattern, const std::vector<bool>& wild,
                   const std::string& name);

} // namespace shell

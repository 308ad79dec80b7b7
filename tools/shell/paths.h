// Windows-style command lines over a POSIX file system, through the platform's drive
// mapping: C: stands for a directory, '\' separates, double quotes group words.
#pragma once

#include <string>
#include <vector>

namespace shell {

// The absolute POSIX path (UTF-8) that a Windows-style path (OEM, quotes removed)
// names, taken from the current directory when relative; false for a drive or share
// that is not mapped.
bool ToPosix(const std::string& windowsPath, std::string* posix);

// "C:\dir\sub" (OEM) for a POSIX path; empty when no drive holds it.
std::string ToWindows(const std::string& posix);

// One word of a command line: its text with the double quotes removed, and the span
// [start, end) it covers in the line, quotes included.
struct Word {
    std::string text;
    size_t start;
    size_t end;
};

// Splits a command line as a Windows console does: blanks separate words, double
// quotes group blanks into a word and are dropped.
std::vector<Word> SplitWords(const std::string& line);

// The word under index `cursor` of `line` (or the last one before it); empty when
// there is none.
std::string WordAt(const std::string& line, size_t cursor);

// The /bin/sh command (UTF-8) for a Windows-style command line (OEM): words that look
// like Windows paths (a drive, a backslash, quotes) are translated and quoted for sh;
// the others (pipes, redirections, options, wildcards) pass unchanged.
std::string ShellCommand(const std::string& line);

} // namespace shell

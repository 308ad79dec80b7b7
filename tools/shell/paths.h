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

// One word of a command line: its text with the double quotes removed, the span
// [start, end) it covers in the line, quotes included, and for each character of the
// text whether it stood between quotes and whether the module wrote it.
struct Word {
    std::string text;
    size_t start;
    size_t end;
    std::vector<bool> quoted;
    std::vector<bool> completed;

    // Neither quoted nor completed, nor quotes in its span: only such a word can be an
    // operator.
    bool Plain() const;
};

// Splits a command line as a Windows console does: blanks separate words, double
// quotes group blanks into a word and are dropped. `completed`, when given, holds one
// flag a character of `line` (LineEditor::completed): a blank the module wrote is part
// of its name, not a separator.
std::vector<Word> SplitWords(const std::string& line, const std::vector<bool>& completed = {});

// The word under index `cursor` of `line` (or the last one before it); empty when
// there is none.
std::string WordAt(const std::string& line, size_t cursor);

} // namespace shell

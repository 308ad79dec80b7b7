// What the words of a command line stand for, over a POSIX file system: Windows paths
// resolved by the platform's own path resolution, the one its file search uses (the
// drive mapping, '\' and '/', letter case, 8.3 names), and wildcards expanded by that
// file search.
#pragma once

#include <string>
#include <vector>

#include "command_line.h"

namespace shell {

// Where the last component of a Windows-style path begins: after its last separator
// or its drive ("C:x").
size_t LastComponent(const std::string& word);

// Whether the POSIX path names a directory, a link to one counted.
bool IsDirectory(const std::string& posix);

// The process's current directory; empty when it cannot be told.
std::string CurrentDirectory();

// The absolute POSIX path (UTF-8) that a Windows-style path (OEM) names, taken from
// the current directory when relative; false for a drive or share that is not mapped.
bool ToPosix(const std::string& windowsPath, std::string* posix);

// "C:\dir\sub" (OEM) for a POSIX path; empty when no drive holds it.
std::string ToWindows(const std::string& posix);

// The absolute POSIX path of what an OEM word names when it names an existing entry,
// or a new one in an existing folder (each ".." taken from an existing folder); false
// for any other word.
bool NamedPath(const std::string& word, std::string* posix);

// What a program gets for a word: the path it names (NamedPath), relative to the
// current directory when the word is relative and the path lies below it, with the
// word's trailing separator kept; any other word, and a plain one, as typed. UTF-8.
std::string Argument(const Word& word);

// Where a redirection's file is: NamedPath, as typed for a plain word, /dev/null for
// "nul"; false for a word that names no place (no file named "C:\no\such" is made in
// the current folder).
bool RedirectionPath(const Word& target, std::string* path);

// The arguments a word stands for: Argument, or, where its last component holds
// unquoted "*" or "?", the paths of the entries the file search finds for it, sorted
// by name without regard to case (names that begin with a dot only when the pattern
// does). A pattern whose folder does not exist, or that matches nothing, is the word
// as typed.
std::vector<std::string> ExpandWord(const Word& word);

} // namespace shell

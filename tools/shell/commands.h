// What Enter does with a command line.
#pragma once

#include <string>

namespace shell {

// Runs an OEM command line: the built-ins cd, dir, type, cls and exit, or anything
// else through /bin/sh with its Windows-style paths translated. Output goes above the
// prompt; a command that fails says how.
void RunLine(const std::string& oemLine);

} // namespace shell

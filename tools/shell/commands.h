// What Enter does with a command line.
#pragma once

#include <string>
#include <vector>

namespace shell {

// Runs an OEM command line: the built-ins cd, dir, type, cls, help and exit, or programs, as
// command_line.h and paths.h describe. Output goes above the prompt; a command that
// fails says how.
void RunLine(const std::string& oemLine);

} // namespace shell

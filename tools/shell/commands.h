// What Enter does with a command line.
#pragma once

#include <string>
#include <vector>

namespace shell {

// Runs an OEM command line (`completed`: one flag a character, LineEditor::completed):
// the built-ins cd, dir, type, cls and exit, or programs, as command_line.h describes.
// Output goes above the prompt; a command that fails says how.
void RunLine(const std::string& oemLine, const std::vector<bool>& completed = {});

} // namespace shell

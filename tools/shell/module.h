// The module, loaded by path and driven only through its four entry points, and the
// host services it calls back.
#pragma once

#include <cstdint>
#include <string>

namespace shell {

// Loads the module and finds its entry points; false with a message that names the file.
bool LoadModule(const std::string& path, std::string* error);

// Parses a language file: lines "N=text" for messages 0-7 (UTF-8); blank lines and
// lines starting with '#' are skipped. False with a message when one is missing,
// repeated or malformed. The texts come back in the OEM code page.
bool ParseMessages(const std::string& fileText, std::string messages[8], std::string* error);

// Reads and parses the language file at `path`, for the module's messages.
bool LoadMessages(const std::string& path, std::string* error);

// Hands the module the startup record and asks for its menu text.
void StartModule();

// OpenPlugin from the command line (0) or the editor (5). `preChosen` answers the
// module's menu without showing it (0 next, 1 previous, 2 list); -1 shows it.
void CallModule(int32_t openFrom, int preChosen);

// ClosePlugin: the module saves its options.
void CloseModule();

// The host's wildcard match, Windows style ('*', '?', letter case ignored), against
// the last path component of `name`.
bool MatchLastComponent(const char* pattern, const char* name);

} // namespace shell

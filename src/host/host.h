// The host as the module sees it: the copy of the startup record and the services
// called through it.
#pragma once

#include "zarelin/host_api.h"

namespace zarelin {

// The startup record, copied whole at start-up; zero until then.
extern StartupInfo Host;

// The panel argument of HostControl: the active one.
inline void* const ActivePanel = reinterpret_cast<void*>(static_cast<intptr_t>(-1));

// The text of the module's message `id`, never null.
const char* Message(int32_t id);

// Wildcard match of `pattern` against the last path component of `name`: the host's
// HostMatch, or the module's own when the host has none.
bool MatchName(const char* pattern, const char* name);

// The module's own wildcard match ('*' and '?', letter case ignored).
bool WildcardMatch(const char* pattern, const char* text);

// Reads the OEM code page's letter case for the module's own match.
void LoadCaseTable();

// --- Settings -------------------------------------------------------------------------

// The workgroup the server source lists outside the NT family; empty when unknown.
extern char Workgroup[40];

// Reads the workgroup name and the four options, and opens the settings key, which
// stays open until SaveSettings.
void LoadSettings();
// Flips bit 0 of an option and writes that one value.
void ToggleSetting(int32_t& field, const char* valueName);
// Writes all four options and closes the settings key.
void SaveSettings();

} // namespace zarelin

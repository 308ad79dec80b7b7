// The four options, kept in the registry below the host's own key, and the workgroup.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "host/host.h"

namespace zarelin {

char Workgroup[40];

namespace {

HKEY SettingsKey = nullptr;

const char* const WorkgroupKey = "System\\CurrentControlSet\\Services\\VxD\\VNETSUP";

void ReadWorkgroup() {
    std::memset(Workgroup, 0, sizeof Workgroup);
    HKEY key;
    if (os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, WorkgroupKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    DWORD size = sizeof Workgroup;
    LONG result = os.RegQueryValueExA(key, "Workgroup", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(Workgroup), &size);
    // A name that did not fit is no name: a cut one would list another workgroup.
    if (result != ERROR_SUCCESS) std::memset(Workgroup, 0, sizeof Workgroup);
    Workgroup[sizeof Workgroup - 1] = 0;
    os.RegCloseKey(key);
}

// A stored option replaces the default only when it is a 4-byte value; anything else
// (a string, a longer value the registry answers with more-data) counts as absent.
void ReadOption(const char* name, int32_t& field, int32_t fallback) {
    field = fallback;
    if (!SettingsKey) return;
    BYTE value[4];
    DWORD size = sizeof value;
    if (os.RegQueryValueExA(SettingsKey, name, nullptr, nullptr, value, &size) == ERROR_SUCCESS &&
        size == sizeof value)
        std::memcpy(&field, value, sizeof field);
}

void WriteOption(const char* name, const int32_t& field) {
    if (!SettingsKey) return;
    os.RegSetValueExA(SettingsKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&field),
                      sizeof field);
}

} // namespace

void LoadSettings() {
    // A host path too long for the key buffer opens no key: a cut path would read and
    // write another program's settings. The defaults then stay in force.
    char path[120];
    bool fits = CopyBounded(path, sizeof path, Host.RegistryRoot ? Host.RegistryRoot : "") &&
                AppendBounded(path, sizeof path, "\\Zarelin");

    ReadWorkgroup();

    SettingsKey = nullptr;
    if (fits) {
        DWORD disposition;
        if (os.RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &SettingsKey,
                               &disposition) != ERROR_SUCCESS)
            SettingsKey = nullptr;
    }
    ReadOption("ShowHiddenShares", State.ShowHiddenShares, 0);
    ReadOption("ShortFileNames", State.ShortFileNames, 0);
    ReadOption("CurrentDomainOnly", State.CurrentDomainOnly, 1);
    ReadOption("SingleEntriesInMenu", State.SingleEntriesInMenu, 0);
}

void ToggleSetting(int32_t& field, const char* valueName) {
    field ^= 1; // other bits of a stored value are kept
    WriteOption(valueName, field);
}

void SaveSettings() {
    if (!SettingsKey) return;
    WriteOption("ShortFileNames", State.ShortFileNames);
    WriteOption("ShowHiddenShares", State.ShowHiddenShares);
    WriteOption("CurrentDomainOnly", State.CurrentDomainOnly);
    WriteOption("SingleEntriesInMenu", State.SingleEntriesInMenu);
    os.RegCloseKey(SettingsKey);
    SettingsKey = nullptr; // later toggles change the options in memory only
}

} // namespace zarelin

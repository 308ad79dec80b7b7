// The four entry points the host calls, and the module's own menu.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "host/host.h"
#include "sources/network.h"

namespace zarelin {

StartupInfo Host;

namespace {

constexpr int32_t PluginInfoSize = 44; // the host's record size
constexpr int32_t PluginFlagEditor = 4;
constexpr int32_t MenuItemCount = 8;

const char* MenuStrings[1];
bool Started = false;

void FillItem(MenuItem& item, int32_t message, int32_t checked) {
    CopyBounded(item.Text, sizeof item.Text, Message(message));
    item.Checked = checked;
}

// Closes the open search and lets go of the candidates and the network buffer.
void ReleaseSearch() {
    State.ResetSearch();
    State.AbandonCalls();
    State.SpoilLastLine();
    if (State.NetBuffer) os.LocalFree(State.NetBuffer);
    State.NetBuffer = nullptr;
    State.NetBufferSize = 0;
}

} // namespace

} // namespace zarelin

using namespace zarelin;

void ZARELIN_CALL SetStartupInfo(const StartupInfo* info) {
    if (!info) return;
    if (Started) {
        // A second start-up: let go of what the first one holds.
        SaveSettings();
        ReleaseSearch();
    }
    Started = true;
    std::memcpy(&Host, info, sizeof Host);
    State.Init();
    LoadSettings();

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    IsNT = os.GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    LoadNetworkCalls();
    LoadCaseTable();
}

void ZARELIN_CALL GetPluginInfo(PluginInfo* info) {
    if (!info) return;
    MenuStrings[0] = Message(0);
    info->StructSize = PluginInfoSize;
    info->Flags = PluginFlagEditor;
    info->MenuStrings = MenuStrings;
    info->MenuStringsCount = 1;
}

intptr_t ZARELIN_CALL OpenPlugin(int32_t openFrom, intptr_t /*item*/) {
    if (!Started || !Host.HostMenu) return -1;
    if (openFrom != State.OpenFrom) {
        State.ResetPending = 1;
        State.OpenFrom = openFrom;
    }

    MenuItem items[MenuItemCount] = {};
    FillItem(items[0], 1, 0);
    FillItem(items[1], 2, 0);
    FillItem(items[2], 3, 0);
    items[3].Separator = 1;
    FillItem(items[4], 4, State.ShortFileNames);
    FillItem(items[5], 5, State.ShowHiddenShares);
    FillItem(items[6], 6, State.CurrentDomainOnly);
    FillItem(items[7], 7, State.SingleEntriesInMenu);

    switch (Host.HostMenu(0, -1, -1, 0, 0, Message(0), nullptr, nullptr, nullptr, nullptr, items,
                          MenuItemCount)) {
    case 0:
        State.CompleteNext();
        break;
    case 1:
        State.CompletePrevious();
        break;
    case 2:
        State.CompleteFromList();
        break;
    case 4:
        ToggleSetting(State.ShortFileNames, "ShortFileNames");
        break;
    case 5:
        ToggleSetting(State.ShowHiddenShares, "ShowHiddenShares");
        break;
    case 6:
        ToggleSetting(State.CurrentDomainOnly, "CurrentDomainOnly");
        break;
    case 7:
        ToggleSetting(State.SingleEntriesInMenu, "SingleEntriesInMenu");
        break;
    default:
        break; // cancelled, or the separator
    }
    return -1;
}

void ZARELIN_CALL ClosePlugin(void* /*plugin*/) {
    if (!Started) return;
    SaveSettings();
    // The host unloads the module after this. A later command starts a new search.
    ReleaseSearch();
}

// The four options in the real registry, below the host's key, across an unload and a
// fresh load of the module.
#include <string>
#include <vector>

#include "fixture.h"

using namespace winhost;

namespace {

using Marks = std::vector<int32_t>;

class Settings : public WindowsTest {
  protected:
    std::string SettingsKey() const { return hostRoot + "\\Zarelin"; }

    // The stored value as the registry answers it: -1 when absent, -2 when it is not a
    // REG_DWORD of 4 bytes.
    int64_t Stored(const char* name) const {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return -1;
        DWORD value = 0, size = sizeof value, type = 0;
        LONG result =
            RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        if (result == ERROR_FILE_NOT_FOUND) return -1;
        return result == ERROR_SUCCESS && type == REG_DWORD && size == 4 ? value : -2;
    }

    void Store(const char* name, DWORD type, const void* data, DWORD size) const {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey().c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
};

bool ModuleLoaded() {
    return GetModuleHandleA("zarelin.dll") != nullptr;
}

TEST_F(Settings, AFreshUserGetsTheDefaultsAndClosingStoresThemAsDwords) {
    WindowsHost host(hostRoot);
    EXPECT_EQ(host.CheckMarks(), (Marks{0, 0, 1, 0}));
    host.Close();
    EXPECT_EQ(Stored("ShortFileNames"), 0);
    EXPECT_EQ(Stored("ShowHiddenShares"), 0);
    EXPECT_EQ(Stored("CurrentDomainOnly"), 1);
    EXPECT_EQ(Stored("SingleEntriesInMenu"), 0);
}

TEST_F(Settings, AToggleIsWrittenAtOnceAndReadBackByAFreshlyLoadedModule) {
    struct Toggle {
        int32_t item;
        const char* name;
        int64_t first; // written by the first toggle
    } toggles[] = {
        {ShortFileNamesItem, "ShortFileNames", 1},
        {ShowHiddenSharesItem, "ShowHiddenShares", 1},
        {CurrentDomainOnlyItem, "CurrentDomainOnly", 0},
        {SingleEntriesInMenuItem, "SingleEntriesInMenu", 1},
    };
    Marks expected = {0, 0, 1, 0};
    for (const Toggle& t : toggles) {
        {
            WindowsHost host(hostRoot);
            host.Pick(t.item);
            EXPECT_EQ(Stored(t.name), t.first) << t.name;
            host.Pick(t.item);
            EXPECT_EQ(Stored(t.name), 1 - t.first) << t.name;
            host.Pick(t.item);
        }
        // Unloaded for real: what the next one shows comes from the registry.
        ASSERT_FALSE(ModuleLoaded());
        expected[t.item - 4] = static_cast<int32_t>(t.first);
        WindowsHost reloaded(hostRoot);
        EXPECT_EQ(reloaded.CheckMarks(), expected) << t.name;
    }
}

TEST_F(Settings, ValuesOfAnotherShapeCountAsAbsentAndOtherBitsAreKept) {
    DWORD three = 3;
    uint64_t wide = 1;
    uint16_t narrow = 1;
    Store("ShortFileNames", REG_DWORD, &three, 4);
    Store("ShowHiddenShares", REG_SZ, "1", 2);
    Store("CurrentDomainOnly", REG_BINARY, &wide, 8); // the registry answers "more data"
    Store("SingleEntriesInMenu", REG_BINARY, &narrow, 2);
    WindowsHost host(hostRoot);
    EXPECT_EQ(host.CheckMarks(), (Marks{3, 0, 1, 0}));
    host.Pick(ShortFileNamesItem);
    EXPECT_EQ(Stored("ShortFileNames"), 2);
}

TEST_F(Settings, AHostKeyTooLongForTheModuleCreatesNoKeyAtAll) {
    // With "\Zarelin" the path needs more than the module's 120 bytes; a cut path would
    // be another program's key.
    std::string root = hostRoot + "\\" + std::string(120 - hostRoot.size(), 'r');
    {
        WindowsHost host(root);
        host.Pick(ShortFileNamesItem);
        EXPECT_EQ(host.CheckMarks(), (Marks{1, 0, 1, 0}));
    }
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, hostRoot.c_str(), 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

} // namespace

// The module's menu, its four options in the settings store, and the entry points.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "headless_host.h"
#include "temp_tree.h"
#include "zp_registry.h"

using namespace testhost;

namespace {

const char* const HostRoot = "Software\\ZarelinTestHost";
const std::string SettingsKey = std::string(HostRoot) + "\\Zarelin";

// The stored option as the registry answers it; -1 when absent.
int64_t Stored(const char* name, const std::string& settingsKey = SettingsKey) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settingsKey.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return -1;
    DWORD value = 0, size = sizeof value, type = 0;
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == 4 ? value : -1;
}

void Store(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

class Settings : public ::testing::Test {
  protected:
    TempTree tree;
};

TEST_F(Settings, AFreshUserGetsTheDefaultsAndTheMenu) {
    HeadlessHost host(HostRoot);
    host.Pick(-1);
    ASSERT_EQ(host.menus.size(), 1u);
    const ShownMenu& menu = host.menus[0];
    EXPECT_EQ(menu.title, "Zarelin");
    EXPECT_EQ(menu.flags, 0u);
    EXPECT_FALSE(menu.breakKeys);
    ASSERT_EQ(menu.items.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(menu.items[i].Separator, i == 3) << i;
        if (i != 3) {
            EXPECT_EQ(std::string(menu.items[i].Text), host.messages[i < 3 ? i + 1 : i]);
        }
    }
    EXPECT_EQ(host.CheckMarks(), (std::vector<int32_t>{0, 0, 1, 0}));
    EXPECT_EQ(host.beeps(), 0u);
}

TEST_F(Settings, TogglesAreWrittenAndSurviveAReload) {
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
    for (const Toggle& t : toggles) {
        {
            HeadlessHost host(HostRoot);
            host.Pick(t.item);
            EXPECT_EQ(Stored(t.name), t.first) << t.name;
            host.Pick(t.item);
            EXPECT_EQ(Stored(t.name), 1 - t.first) << t.name;
            host.Pick(t.item);
        }
        HeadlessHost reloaded(HostRoot);
        EXPECT_EQ(reloaded.CheckMarks()[t.item - 4], t.first) << t.name;
    }
    HeadlessHost host(HostRoot);
    EXPECT_EQ(host.CheckMarks(), (std::vector<int32_t>{1, 1, 0, 1}));
}

TEST_F(Settings, StoredValuesShowAndOddOnesAreHandled) {
    DWORD one = 1, three = 3;
    uint64_t wide = 1;
    uint16_t narrow = 1;
    Store("ShowHiddenShares", REG_DWORD, &one, 4);
    Store("ShortFileNames", REG_DWORD, &three, 4);    // other bits are kept
    Store("CurrentDomainOnly", REG_BINARY, &wide, 8); // not a 4-byte number: absent
    Store("SingleEntriesInMenu", REG_BINARY, &narrow, 2);
    HeadlessHost host(HostRoot);
    EXPECT_EQ(host.CheckMarks(), (std::vector<int32_t>{3, 1, 1, 0}));
    host.Pick(ShortFileNamesItem);
    EXPECT_EQ(Stored("ShortFileNames"), 2);
}

// Closing writes what the module holds, each option under its own name, over whatever
// the store held meanwhile.
TEST_F(Settings, ClosingWritesAllFourAndLaterTogglesStayInMemory) {
    const DWORD loaded[] = {3, 5, 6, 9};
    const char* const names[] = {"ShortFileNames", "ShowHiddenShares", "CurrentDomainOnly",
                                 "SingleEntriesInMenu"};
    for (int i = 0; i < 4; ++i)
        Store(names[i], REG_DWORD, &loaded[i], 4);
    HeadlessHost host(HostRoot);
    DWORD zero = 0;
    for (const char* name : names)
        Store(name, REG_DWORD, &zero, 4);
    host.Close();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Stored(names[i]), loaded[i]) << names[i];
    host.Pick(ShortFileNamesItem);
    EXPECT_EQ(Stored("ShortFileNames"), 3);
    EXPECT_EQ(host.CheckMarks()[0], 2);
}

// The key's path, the host's path and "\Zarelin", has room for 119 characters.
TEST_F(Settings, AHostPathThatFillsTheKeyPathIsUsedAndALongerOneWritesNothing) {
    struct Case {
        size_t length; // of the host's path
        bool used;
    } cases[] = {{111, true}, {112, false}, {113, false}};
    for (const Case& c : cases) {
        std::string root = "Software\\" + std::string(c.length - 9, 'r');
        std::string key = root + "\\Zarelin";
        SCOPED_TRACE(std::to_string(c.length) + " characters");
        {
            HeadlessHost host(root);
            host.Pick(ShortFileNamesItem);
            EXPECT_EQ(host.CheckMarks(), (std::vector<int32_t>{1, 0, 1, 0}));
            EXPECT_EQ(Stored("ShortFileNames", key), c.used ? 1 : -1);
        }
        HeadlessHost reloaded(root);
        EXPECT_EQ(reloaded.CheckMarks()[0], c.used ? 1 : 0);
        // Nor is the path cut to what fits and another key written.
        HKEY opened;
        if (!c.used) {
            EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, key.substr(0, 119).c_str(), 0,
                                    KEY_QUERY_VALUE, &opened),
                      ERROR_SUCCESS);
        }
    }
}

TEST_F(Settings, ADamagedStoreLeavesTheDefaults) {
    for (const char* contents : {"\xff\xfe garbage \x01\x02", "[HKEY_CURRENT_USER\\Software\\Zar",
                                 "\"ShortFileNames\"=dword:0000"}) {
        std::ofstream(ZpRegistryPath(), std::ios::binary) << contents;
        HeadlessHost host(HostRoot);
        EXPECT_EQ(host.CheckMarks(), (std::vector<int32_t>{0, 0, 1, 0})) << contents;
    }
}

TEST_F(Settings, LongMessageTextsAreCutToTheItem) {
    HeadlessHost host(HostRoot);
    host.messages[1] = std::string(300, 'm');
    host.Pick(-1);
    EXPECT_EQ(std::string(host.menus[0].items[0].Text), std::string(127, 'm'));
}

TEST_F(Settings, PluginInfoNamesTheModuleAndLeavesTheRest) {
    HeadlessHost host(HostRoot);
    PluginInfo info = host.pluginInfo();
    EXPECT_EQ(info.StructSize, 44);
    EXPECT_EQ(info.Flags, 4);
    ASSERT_EQ(info.MenuStringsCount, 1);
    EXPECT_STREQ(info.MenuStrings[0], "Zarelin");
    // Every byte the module does not name keeps what the host put there.
    PluginInfo untouched;
    std::memset(&untouched, 0xAB, sizeof untouched);
    const unsigned char* got = reinterpret_cast<const unsigned char*>(&info);
    const unsigned char* was = reinterpret_cast<const unsigned char*>(&untouched);
    auto named = [](size_t at) {
        auto in = [at](size_t offset, size_t size) { return at >= offset && at < offset + size; };
        return in(offsetof(PluginInfo, StructSize), sizeof info.StructSize) ||
               in(offsetof(PluginInfo, Flags), sizeof info.Flags) ||
               in(offsetof(PluginInfo, MenuStrings), sizeof info.MenuStrings) ||
               in(offsetof(PluginInfo, MenuStringsCount), sizeof info.MenuStringsCount);
    };
    for (size_t at = 0; at < sizeof info; ++at)
        if (!named(at)) {
            EXPECT_EQ(got[at], was[at]) << "byte " << at;
        }
}

TEST_F(Settings, SwitchingBetweenCommandLineAndEditorRestartsTheSearch) {
    // A restarted search takes the inserted name as its word, which only that name
    // matches; a continued one would step on to another match.
    tree.Add({"m1", "m2", "m3"});
    HeadlessHost host(HostRoot);
    host.commandLine = "copy m";
    host.Next();
    std::string first = host.commandLine;
    host.editorLine = first;
    host.editorCursor = static_cast<int32_t>(first.size());
    host.Next(FromEditor); // same line, cursor at its end, but invoked from elsewhere
    EXPECT_EQ(host.editorLine, first);
    EXPECT_EQ(host.beeps(), 0u);
    host.Next(FromEditor);
    EXPECT_EQ(host.beeps(), 1u);
    host.Next(); // back on the command line: restarts again
    EXPECT_EQ(host.commandLine, first);
    EXPECT_EQ(host.beeps(), 1u);
}

TEST_F(Settings, ACancelledMenuDoesNothingButNotesWhereItCameFrom) {
    tree.Add({"m1", "m2", "m3"});
    HeadlessHost host(HostRoot);
    host.commandLine = "copy m";
    host.Next();
    std::string first = host.commandLine;
    host.Pick(-1);
    host.Pick(3); // the separator
    EXPECT_EQ(host.commandLine, first);
    EXPECT_EQ(host.beeps(), 0u);
    host.Next(); // unchanged: the search goes on
    std::string second = host.commandLine;
    EXPECT_NE(second, first);
    host.Pick(-1, FromEditor);
    host.Next(); // the editor was noted, so the command line starts anew on 'second'
    EXPECT_EQ(host.commandLine, second);
    EXPECT_EQ(host.beeps(), 0u);
    EXPECT_EQ(host.CheckMarks(), (std::vector<int32_t>{0, 0, 1, 0}));
}

TEST_F(Settings, AToggleBetweenTwoNextCommandsContinuesTheSearch) {
    tree.Add({"m1", "m2"});
    HeadlessHost host(HostRoot);
    host.commandLine = "copy m";
    host.Next();
    std::string first = host.commandLine;
    host.Pick(ShortFileNamesItem);
    host.Next();
    EXPECT_NE(host.commandLine, first);
    EXPECT_EQ(host.beeps(), 0u);
}

// Items 0-3 carry no check mark whatever the options hold, and no item is preselected.
TEST_F(Settings, OnlyTheFourOptionsShowCheckMarks) {
    const DWORD on[] = {3, 5, 6, 9};
    const char* const names[] = {"ShortFileNames", "ShowHiddenShares", "CurrentDomainOnly",
                                 "SingleEntriesInMenu"};
    for (int i = 0; i < 4; ++i)
        Store(names[i], REG_DWORD, &on[i], 4);
    HeadlessHost host(HostRoot);
    host.Pick(-1);
    ASSERT_EQ(host.menus.size(), 1u);
    const std::vector<MenuItem>& items = host.menus[0].items;
    ASSERT_EQ(items.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(items[i].Checked, i < 4 ? 0 : static_cast<int32_t>(on[i - 4])) << i;
        EXPECT_EQ(items[i].Selected, 0) << i;
    }
    EXPECT_STREQ(items[3].Text, "");
}

// The host keeps nothing for the module between calls: it is handed no plug-in.
TEST_F(Settings, OpenPluginHandsBackNoHandleWhateverIsPicked) {
    tree.Add({"m1", "m2"});
    HeadlessHost host(HostRoot);
    const intptr_t none = -1;
    for (int32_t from : {FromCommandLine, FromEditor, 3}) {
        for (int32_t item : {-1, 0, 1, 2, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8}) {
            host.commandLine = "copy m";
            host.editorLine = "copy m";
            host.editorCursor = 6;
            EXPECT_EQ(host.Pick(item, from), none) << "item " << item << " from " << from;
            host.menuAnswers.clear(); // the list menu's turn, when item 2 opened it
        }
    }
}

// A host may leave out its menu or its messages: the module then shows no menu, or
// shows its menu with empty texts, and never calls the service that is missing.
TEST_F(Settings, AHostWithoutAMenuServiceGetsNoMenuAndNothingChanges) {
    tree.Add({"m1", "m2"});
    HostServices noMenu;
    noMenu.menu = false;
    HeadlessHost host(HostRoot, noMenu);
    host.commandLine = "copy m";
    for (int32_t item : {NextItem, ListItem, ShortFileNamesItem}) {
        EXPECT_EQ(host.Pick(item), -1) << item;
        EXPECT_EQ(host.commandLine, "copy m") << item;
    }
    EXPECT_EQ(host.beeps(), 0u);
    EXPECT_TRUE(host.panels.empty()); // the line was not even read
    host.Close();
    EXPECT_EQ(Stored("ShortFileNames"), 0);
}

TEST_F(Settings, AHostWithoutMessagesGetsEmptyTexts) {
    HostServices noMessages;
    noMessages.message = false;
    HeadlessHost host(HostRoot, noMessages);
    PluginInfo info = host.pluginInfo();
    ASSERT_EQ(info.MenuStringsCount, 1);
    ASSERT_NE(info.MenuStrings[0], nullptr);
    EXPECT_STREQ(info.MenuStrings[0], "");
    host.Pick(ShortFileNamesItem);
    ASSERT_EQ(host.menus.size(), 1u);
    EXPECT_EQ(host.menus[0].title, "");
    for (const MenuItem& item : host.menus[0].items)
        EXPECT_STREQ(item.Text, "");
    EXPECT_EQ(Stored("ShortFileNames"), 1); // the menu still works
}

} // namespace

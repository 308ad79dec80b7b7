// A host without a screen: it loads libzarelin.so through its entry points and serves
// the module a command line, an editor line, scripted menus and wildcard matching, so
// that tests drive the commands as a user would.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "zarelin/host_api.h"

namespace testhost {

constexpr int32_t FromCommandLine = 0;
constexpr int32_t FromEditor = OpenFromEditor;

// The module's own menu, by item.
enum Item {
    NextItem = 0,
    PreviousItem = 1,
    ListItem = 2,
    ShortFileNamesItem = 4,
    ShowHiddenSharesItem = 5,
    CurrentDomainOnlyItem = 6,
    SingleEntriesInMenuItem = 7
};

struct ShownMenu {
    std::string title;
    uint32_t flags;
    bool breakKeys;
    std::vector<MenuItem> items;
};

class HeadlessHost {
  public:
    // Loads the module and hands it the startup record; `registryRoot` is the host's
    // key below HKEY_CURRENT_USER.
    explicit HeadlessHost(const std::string& registryRoot = "Software\\ZarelinTestHost");
    ~HeadlessHost(); // ClosePlugin, then unloads the module

    HeadlessHost(const HeadlessHost&) = delete;
    HeadlessHost& operator=(const HeadlessHost&) = delete;

    // The host's command line and the prompt shown before it on the console.
    std::string commandLine;
    std::string prompt = "C:\\>";
    // The cursor's index in the command line; -1 puts it at the end, where the host
    // leaves it after the line is replaced.
    int32_t commandCursor = -1;
    // The editor's current line and the cursor's character index in it.
    std::string editorLine;
    int32_t editorCursor = 0;
    // When false, the editor answers the line request without a text.
    bool editorHasLine = true;

    // The texts of the module's messages 0..7, as the host supplies them.
    std::string messages[8] = {
        "Zarelin",          "Next completion",    "Previous completion", "List completions",
        "Short file names", "Show hidden shares", "Current domain only", "Single entries in menu"};

    // Answers for the next menus, in order; a menu with no answer left is cancelled.
    std::deque<int32_t> menuAnswers;
    // Every menu the module showed.
    std::vector<ShownMenu> menus;

    // Invokes the module (OpenPlugin) and picks `item` in its menu; further answers
    // (for the list menu) come from menuAnswers.
    void Pick(int32_t item, int32_t openFrom = FromCommandLine);
    void Next(int32_t openFrom = FromCommandLine) { Pick(NextItem, openFrom); }
    void Previous(int32_t openFrom = FromCommandLine) { Pick(PreviousItem, openFrom); }
    // The list command, choosing `choice` in the list menu (-1: cancel).
    void List(int32_t choice, int32_t openFrom = FromCommandLine);
    // Types text at the end of the command line, as a user would.
    void Type(const std::string& text) { commandLine += text; }

    // Tells the module the host is closing it (ClosePlugin); the module stays loaded.
    void Close() { closePlugin_(nullptr); }

    // The text the module gave GetPluginInfo, and the record's fields it set.
    PluginInfo pluginInfo();

    // Beeps heard since the host started.
    unsigned beeps() const;

    // Draws the prompt and command line on the console with the cursor at the end of
    // the line, as a host does after every change of the line.
    void DrawCommandLine();

  private:
    void* module_ = nullptr;
    SetStartupInfoFn setStartupInfo_ = nullptr;
    GetPluginInfoFn getPluginInfo_ = nullptr;
    OpenPluginFn openPlugin_ = nullptr;
    ClosePluginFn closePlugin_ = nullptr;
    std::string registryRoot_;
    std::string readLine_; // keeps the text handed to the editor's line request alive
    unsigned beepsAtStart_ = 0;

    friend struct Services;
};

// The host the services of the running module answer for.
HeadlessHost& CurrentHost();

} // namespace testhost

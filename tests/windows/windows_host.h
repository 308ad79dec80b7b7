// A Windows console host for tests: it loads zarelin.dll with LoadLibraryA, hands it a
// startup record with its own services (command line, editor line, scripted menus,
// wildcard match) and draws its command line into a console screen buffer of its own,
// which the module finds as the standard output, as it finds the real host's.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "zarelin/host_api.h"

namespace winhost {

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
    std::vector<MenuItem> items;
};

class WindowsHost {
  public:
    // Loads the module and hands it the startup record; `registryRoot` is the host's
    // key below HKEY_CURRENT_USER.
    explicit WindowsHost(const std::string& registryRoot);
    ~WindowsHost(); // ClosePlugin, then FreeLibrary

    WindowsHost(const WindowsHost&) = delete;
    WindowsHost& operator=(const WindowsHost&) = delete;

    // The host's command line, the prompt before it, and the cursor's index in the
    // line (-1: at its end, where the host leaves it after the line is replaced).
    std::string commandLine;
    std::string prompt = "C:\\>";
    int32_t commandCursor = -1;
    // Text on the console row below the command line, such as a row of key labels.
    std::string rowBelow;
    // The editor's current line and the cursor's character index in it.
    std::string editorLine;
    int32_t editorCursor = 0;

    std::string messages[8] = {
        "Zarelin",          "Next completion",    "Previous completion", "List completions",
        "Short file names", "Show hidden shares", "Current domain only", "Single entries in menu"};

    // Answers for the next menus, in order; a menu with no answer left is cancelled.
    std::deque<int32_t> menuAnswers;
    // Every menu the module showed.
    std::vector<ShownMenu> menus;

    // Invokes the module (OpenPlugin) and picks `item` in its menu.
    void Pick(int32_t item, int32_t openFrom = FromCommandLine);
    void Next(int32_t openFrom = FromCommandLine) { Pick(NextItem, openFrom); }
    void Previous(int32_t openFrom = FromCommandLine) { Pick(PreviousItem, openFrom); }
    // The list command, choosing `choice` in the list menu (-1: cancel).
    void List(int32_t choice, int32_t openFrom = FromCommandLine);
    // The texts of the last list menu.
    std::vector<std::string> ListTexts() const;
    // The check marks of items 4..7 of the module's menu, shown without picking.
    std::vector<int32_t> CheckMarks();

    // Tells the module the host is closing it (ClosePlugin); the module stays loaded.
    void Close();

    // True when the host has a console screen buffer to draw the command line into.
    bool hasConsole() const { return screen_ != INVALID_HANDLE_VALUE; }

  private:
    void DrawCommandLine();

    HMODULE module_ = nullptr;
    SetStartupInfoFn setStartupInfo_ = nullptr;
    OpenPluginFn openPlugin_ = nullptr;
    ClosePluginFn closePlugin_ = nullptr;
    std::string registryRoot_;
    std::string readLine_; // keeps the text handed to the editor's line request alive
    HANDLE screen_ = INVALID_HANDLE_VALUE;
    HANDLE savedOutput_ = nullptr;

    friend struct Services;
};

// The module's file, next to the test program (or $ZARELIN_MODULE).
std::string ModulePath();

} // namespace winhost

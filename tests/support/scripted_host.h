// What every test host shares, whatever loads the module: the command line and editor
// line it serves, the menus it answers from a script, its wildcard match, and the
// startup record's services over them. A host for one platform adds the loading and
// the console it draws its command line into.
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
    // The first four arguments: module number, position (X, Y) and height limit.
    int32_t moduleNumber;
    int32_t x;
    int32_t y;
    int32_t maxHeight;
    int32_t count;               // items handed to the host
    std::vector<MenuItem> items; // a copy of them, unless the host keeps none
};

// The services a host puts in its startup record; a host may lack any of these.
struct HostServices {
    bool menu = true;
    bool message = true;
    bool match = true;
};

class ScriptedHost {
  public:
    ScriptedHost(const ScriptedHost&) = delete;
    ScriptedHost& operator=(const ScriptedHost&) = delete;

    // The host's command line and the prompt shown before it on the console.
    std::string commandLine;
    std::string prompt = "C:\\>";
    // The cursor's index in the command line; -1 puts it at the end, where the host
    // leaves it after the line is replaced.
    int32_t commandCursor = -1;
    // Text on the console row below the command line, such as a row of key labels.
    std::string rowBelow;
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
    // False: the items of a menu are read, as a host reads them to draw the menu, but
    // not copied into `menus` (a benchmark's host, whose menus hold 100k items).
    bool keepMenuItems = true;
    size_t menuTextBytes = 0; // what the last menu's texts held, when not kept

    // The panel argument of every command-line request, in order.
    std::vector<void*> panels;
    // The line number of every editor line request, in order.
    std::vector<int32_t> editorLineRequests;
    // Every editor line replacement as handed over; Text is cleared, as the module's
    // buffer is only valid during the call.
    std::vector<EditorLineWriteRecord> editorLineWrites;
    // Every editor cursor move as handed over.
    std::vector<EditorPositionRecord> editorMoves;

    // Invokes the module (OpenPlugin) and picks `item` in its menu; further answers
    // (for the list menu) come from menuAnswers. Returns what OpenPlugin returned.
    intptr_t Pick(int32_t item, int32_t openFrom = FromCommandLine);
    void Next(int32_t openFrom = FromCommandLine) { Pick(NextItem, openFrom); }
    void Previous(int32_t openFrom = FromCommandLine) { Pick(PreviousItem, openFrom); }
    // The list command, choosing `choice` in the list menu (-1: cancel).
    void List(int32_t choice, int32_t openFrom = FromCommandLine);
    // The texts of the last menu shown.
    std::vector<std::string> MenuTexts() const;
    // The check marks of items 4..7 of the module's menu, shown without picking.
    std::vector<int32_t> CheckMarks();
    // Tells the module the host is closing it (ClosePlugin); the module stays loaded.
    void Close() { closePlugin_(nullptr); }

    // Draws the prompt and command line on the console, with the cursor where
    // commandCursor says, as a host does after every change of the line.
    virtual void DrawCommandLine() = 0;

  protected:
    ScriptedHost();
    virtual ~ScriptedHost();

    // Starts the loaded module: hands it a startup record with this host's services,
    // those that `services` leaves out null.
    void Start(SetStartupInfoFn setStartupInfo, OpenPluginFn openPlugin, ClosePluginFn closePlugin,
               const std::string& registryRoot, HostServices services = {});

    // The part of the command line a console row of `width` columns shows: its end,
    // or from the cursor when that stands further left. The last column stays free
    // for the cursor at the end of the line.
    std::string VisibleLine(size_t width, size_t* cursorColumn) const;

  private:
    OpenPluginFn openPlugin_ = nullptr;
    ClosePluginFn closePlugin_ = nullptr;
    std::string registryRoot_;
    HostServices services_;
    std::string readLine_; // keeps the text handed to the editor's line request alive

    friend struct Services;
};

// '*' and '?' without regard to letter case, as a host's own match does.
bool Wildcard(const char* pattern, const char* text);

} // namespace testhost

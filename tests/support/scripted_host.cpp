#include "scripted_host.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace testhost {

namespace {

ScriptedHost* current = nullptr;
std::thread::id hostThread;

// A host's services are the host's thread's alone: the module may call none of them
// from a worker. Every test with a scripted host checks it.
ScriptedHost& OnHostThread() {
    if (std::this_thread::get_id() != hostThread) {
        std::fprintf(stderr, "a host service was called off the host's thread\n");
        std::abort();
    }
    return *current;
}

} // namespace

bool Wildcard(const char* pattern, const char* text) {
    if (*pattern == 0) return *text == 0;
    if (*pattern == '*')
        return Wildcard(pattern + 1, text) || (*text && Wildcard(pattern, text + 1));
    if (*text == 0) return false;
    if (*pattern != '?' && std::toupper(static_cast<unsigned char>(*pattern)) !=
                               std::toupper(static_cast<unsigned char>(*text)))
        return false;
    return Wildcard(pattern + 1, text + 1);
}

// Declared with the header's service types, never cast into the startup record: on
// 32-bit Windows a service with another calling convention does not compile.
struct Services {
    static HostMenuService Menu;
    static HostMessageService Message;
    static HostControlService Control;
    static HostMatchService Match;
    static HostEditorService Editor;
};

int32_t Services::Menu(int32_t moduleNumber, int32_t x, int32_t y, int32_t maxHeight,
                       uint32_t flags, const char* title, const char*, const char*,
                       const int32_t* breakKeys, int32_t*, const MenuItem* items, int32_t count) {
    ScriptedHost& host = OnHostThread();
    ShownMenu shown = {};
    shown.title = title ? title : "";
    shown.flags = flags;
    shown.breakKeys = breakKeys != nullptr;
    shown.moduleNumber = moduleNumber;
    shown.x = x;
    shown.y = y;
    shown.maxHeight = maxHeight;
    shown.count = count;
    host.menus.push_back(shown);
    if (host.keepMenuItems) {
        host.menus.back().items.assign(items, items + count);
    } else {
        size_t textBytes = 0;
        for (int32_t i = 0; i < count; ++i)
            textBytes += strnlen(items[i].Text, sizeof items[i].Text);
        host.menuTextBytes = textBytes;
    }
    if (host.menuAnswers.empty()) return -1;
    int32_t answer = host.menuAnswers.front();
    host.menuAnswers.pop_front();
    return answer;
}

const char* Services::Message(int32_t, int32_t id) {
    ScriptedHost& host = OnHostThread();
    return id >= 0 && id < 8 ? host.messages[id].c_str() : "";
}

int32_t Services::Control(void* panel, int32_t command, void* param) {
    ScriptedHost& host = OnHostThread();
    host.panels.push_back(panel);
    char* buffer = static_cast<char*>(param);
    if (command == HostGetCommandLine) {
        std::strncpy(buffer, host.commandLine.c_str(), 1023);
        buffer[1023] = 0;
        return 1;
    }
    if (command == HostSetCommandLine) {
        host.commandLine = buffer;
        host.commandCursor = -1;
        host.DrawCommandLine(); // the cursor goes to the end of the new line
        return 1;
    }
    return 0;
}

int32_t Services::Match(const char* pattern, const char* name, int32_t) {
    OnHostThread();
    const char* last = name;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/') last = p + 1;
    return Wildcard(pattern, last);
}

int32_t Services::Editor(int32_t command, void* record) {
    ScriptedHost& host = OnHostThread();
    switch (command) {
    case EditorGetLine: {
        auto* line = static_cast<EditorLineRecord*>(record);
        host.editorLineRequests.push_back(line->LineNumber);
        host.readLine_ = host.editorLine;
        line->Text = host.editorHasLine ? host.readLine_.c_str() : nullptr;
        line->Length = static_cast<int32_t>(host.readLine_.size());
        return 1;
    }
    case EditorSetLine: {
        auto* line = static_cast<EditorLineWriteRecord*>(record);
        host.editorLine.assign(line->Text, static_cast<size_t>(line->Length));
        host.editorLineWrites.push_back(*line);
        host.editorLineWrites.back().Text = nullptr;
        return 1;
    }
    case EditorGetInfo:
        static_cast<EditorInfoRecord*>(record)->CursorPos = host.editorCursor;
        return 1;
    case EditorSetPosition:
        host.editorMoves.push_back(*static_cast<EditorPositionRecord*>(record));
        host.editorCursor = host.editorMoves.back().Position;
        return 1;
    }
    return 0;
}

ScriptedHost::ScriptedHost() {
    if (current) throw std::logic_error("one test host at a time");
    current = this;
    hostThread = std::this_thread::get_id();
}

ScriptedHost::~ScriptedHost() {
    current = nullptr;
}

void ScriptedHost::Start(SetStartupInfoFn setStartupInfo, OpenPluginFn openPlugin,
                         ClosePluginFn closePlugin, const std::string& registryRoot,
                         HostServices services) {
    openPlugin_ = openPlugin;
    closePlugin_ = closePlugin;
    registryRoot_ = registryRoot;
    services_ = services;
    StartupInfo info = {};
    info.StructSize = sizeof info;
    info.ModuleNumber = 7;
    info.RegistryRoot = registryRoot_.c_str();
    info.HostMenu = services.menu ? Services::Menu : nullptr;
    info.HostMessage = services.message ? Services::Message : nullptr;
    info.HostControl = Services::Control;
    info.HostMatch = services.match ? Services::Match : nullptr;
    info.HostEditor = Services::Editor;
    setStartupInfo(&info);
}

intptr_t ScriptedHost::Pick(int32_t item, int32_t openFrom) {
    if (openFrom != FromEditor) DrawCommandLine();
    // A host without a menu service has no menu to pick from.
    if (services_.menu) menuAnswers.push_front(item);
    return openPlugin_(openFrom, 0);
}

void ScriptedHost::List(int32_t choice, int32_t openFrom) {
    menuAnswers.push_back(choice);
    Pick(ListItem, openFrom);
}

std::vector<std::string> ScriptedHost::MenuTexts() const {
    std::vector<std::string> texts;
    if (!menus.empty())
        for (const MenuItem& item : menus.back().items)
            texts.push_back(item.Text);
    return texts;
}

std::vector<int32_t> ScriptedHost::CheckMarks() {
    menus.clear();
    Pick(-1);
    std::vector<int32_t> marks;
    for (int i = 4; i < 8; ++i)
        marks.push_back(menus.at(0).items.at(i).Checked);
    return marks;
}

std::string ScriptedHost::VisibleLine(size_t width, size_t* cursorColumn) const {
    size_t room = width - prompt.size() - 1;
    size_t cursor = commandCursor < 0 ? commandLine.size() : static_cast<size_t>(commandCursor);
    size_t first = commandLine.size() > room ? commandLine.size() - room : 0;
    if (cursor < first) first = cursor;
    *cursorColumn = prompt.size() + cursor - first;
    return prompt + commandLine.substr(first, room);
}

} // namespace testhost

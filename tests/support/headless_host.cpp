#include "headless_host.h"

#include <dlfcn.h>
#include <fnmatch.h>

#include <cstring>
#include <stdexcept>

#include "zp_console.h"

namespace testhost {

namespace {

HeadlessHost* current = nullptr;

const char* ModulePath() {
    const char* path = std::getenv("ZARELIN_MODULE");
    return path ? path : ZARELIN_MODULE_PATH;
}

template <typename Fn> Fn Symbol(void* module, const char* name) {
    void* address = dlsym(module, name);
    if (!address) throw std::runtime_error(std::string("module lacks ") + name);
    return reinterpret_cast<Fn>(address);
}

} // namespace

HeadlessHost& CurrentHost() {
    return *current;
}

struct Services {
    static int32_t ZARELIN_CALL Menu(int32_t, int32_t, int32_t, int32_t, uint32_t flags,
                                     const char* title, const char*, const char*,
                                     const int32_t* breakKeys, int32_t*, const MenuItem* items,
                                     int32_t count) {
        HeadlessHost& host = CurrentHost();
        host.menus.push_back({title ? title : "", flags, breakKeys != nullptr,
                              std::vector<MenuItem>(items, items + count)});
        if (host.menuAnswers.empty()) return -1;
        int32_t answer = host.menuAnswers.front();
        host.menuAnswers.pop_front();
        return answer;
    }

    static const char* ZARELIN_CALL Message(int32_t, int32_t id) {
        return id >= 0 && id < 8 ? CurrentHost().messages[id].c_str() : "";
    }

    static int32_t ZARELIN_CALL Control(void*, int32_t command, void* param) {
        HeadlessHost& host = CurrentHost();
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

    static int32_t ZARELIN_CALL Match(const char* pattern, const char* name, int32_t) {
        const char* last = name;
        for (const char* p = name; *p; ++p)
            if (*p == '\\' || *p == '/') last = p + 1;
        return fnmatch(pattern, last, FNM_CASEFOLD) == 0;
    }

    static int32_t ZARELIN_CALL Editor(int32_t command, void* record) {
        HeadlessHost& host = CurrentHost();
        switch (command) {
        case EditorGetLine: {
            auto* line = static_cast<EditorLineRecord*>(record);
            host.readLine_ = host.editorLine;
            line->Text = host.editorHasLine ? host.readLine_.c_str() : nullptr;
            line->Length = static_cast<int32_t>(host.readLine_.size());
            return 1;
        }
        case EditorSetLine: {
            auto* line = static_cast<EditorLineWriteRecord*>(record);
            host.editorLine.assign(line->Text, static_cast<size_t>(line->Length));
            return 1;
        }
        case EditorGetInfo:
            static_cast<EditorInfoRecord*>(record)->CursorPos = host.editorCursor;
            return 1;
        case EditorSetPosition:
            host.editorCursor = static_cast<EditorPositionRecord*>(record)->Position;
            return 1;
        }
        return 0;
    }
};

HeadlessHost::HeadlessHost(const std::string& registryRoot) : registryRoot_(registryRoot) {
    if (current) throw std::logic_error("one headless host at a time");
    module_ = dlopen(ModulePath(), RTLD_NOW | RTLD_LOCAL);
    if (!module_) throw std::runtime_error(dlerror());
    setStartupInfo_ = Symbol<SetStartupInfoFn>(module_, "SetStartupInfo");
    getPluginInfo_ = Symbol<GetPluginInfoFn>(module_, "GetPluginInfo");
    openPlugin_ = Symbol<OpenPluginFn>(module_, "OpenPlugin");
    closePlugin_ = Symbol<ClosePluginFn>(module_, "ClosePlugin");
    current = this;

    ZpConsoleResize(80, 25);
    beepsAtStart_ = ZpConsoleBellCount();
    DrawCommandLine();

    StartupInfo info = {};
    info.StructSize = sizeof info;
    info.ModuleNumber = 7;
    info.RegistryRoot = registryRoot_.c_str();
    info.HostMenu = Services::Menu;
    info.HostMessage = Services::Message;
    info.HostControl = Services::Control;
    info.HostMatch = Services::Match;
    info.HostEditor = Services::Editor;
    setStartupInfo_(&info);
}

HeadlessHost::~HeadlessHost() {
    closePlugin_(nullptr);
    dlclose(module_);
    current = nullptr;
}

void HeadlessHost::Pick(int32_t item, int32_t openFrom) {
    if (openFrom != FromEditor) DrawCommandLine();
    menuAnswers.push_front(item);
    openPlugin_(openFrom, 0);
}

void HeadlessHost::List(int32_t choice, int32_t openFrom) {
    menuAnswers.push_back(choice);
    Pick(ListItem, openFrom);
}

PluginInfo HeadlessHost::pluginInfo() {
    PluginInfo info;
    std::memset(&info, 0xAB, sizeof info);
    getPluginInfo_(&info);
    return info;
}

unsigned HeadlessHost::beeps() const {
    return ZpConsoleBellCount() - beepsAtStart_;
}

void HeadlessHost::DrawCommandLine() {
    // The last row but one holds the command line; the last one is left blank here. A
    // line too long for the row scrolls sideways: its end stays in view, with the cursor.
    const int row = 23;
    const size_t room = 80 - prompt.size() - 1;
    std::string visible =
        commandLine.size() > room ? commandLine.substr(commandLine.size() - room) : commandLine;
    std::string shown = prompt + visible;
    ZpConsoleClear();
    ZpConsoleWrite(0, row, shown.c_str(), static_cast<int>(shown.size()));
    int cursor = commandCursor < 0 ? static_cast<int>(shown.size())
                                   : static_cast<int>(prompt.size()) + commandCursor;
    ZpConsoleSetCursor(cursor, row);
}

} // namespace testhost

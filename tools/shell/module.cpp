#include "module.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "codepage.h"
#include "editor.h"
#include "menu.h"
#include "screen.h"
#include "shell.h"
#include "zarelin/host_api.h"
#include "zp_codepage.h"
#include "zp_console.h"

namespace shell {

namespace {

constexpr int MessageCount = 8;
constexpr int32_t ModuleNumber = 0;
const char RegistryRoot[] = "Software\\ZarelinShell";

SetStartupInfoEntry* setStartupInfo = nullptr;
GetPluginInfoEntry* getPluginInfo = nullptr;
OpenPluginEntry* openPlugin = nullptr;
ClosePluginEntry* closePlugin = nullptr;

std::string messages[MessageCount]; // OEM; the module keeps pointers into them
int pendingAnswer = -1;             // the module menu's answer chosen by a key, not yet asked for

// The services, declared with the header's own types: a mismatch does not compile.
HostMenuService HostMenu;
HostMessageService HostMessage;
HostControlService HostControl;
HostMatchService HostMatch;
HostEditorService HostEditor;

int32_t ZARELIN_CALL HostMenu(int32_t, int32_t, int32_t, int32_t, uint32_t flags, const char* title,
                              const char*, const char*, const int32_t*, int32_t* breakCode,
                              const MenuItem* items, int32_t count) {
    if (breakCode) *breakCode = -1; // no break key: Enter chose
    const int preChosen = pendingAnswer;
    pendingAnswer = -1;
    // Tab and its kin ask for a command of the module's own menu (flags 0); any other
    // menu, the list of names among them, is the user's to answer.
    if (flags == 0 && preChosen >= 0) return preChosen;
    if (!items || count <= 0) return -1;
    std::string shownTitle = title ? std::string(title, strnlen(title, 256)) : "";
    int chosen = ShowMenu(shownTitle, items, count, flags == 0);
    DrawScreen(); // uncover the line before the module reads the screen again
    return chosen;
}

const char* ZARELIN_CALL HostMessage(int32_t, int32_t id) {
    return id >= 0 && id < MessageCount ? messages[id].c_str() : "";
}

int32_t ZARELIN_CALL HostControl(void*, int32_t command, void* param) {
    char* buffer = static_cast<char*>(param);
    if (!buffer) return 0;
    if (command == HostGetCommandLine) {
        const std::string& text = Shell.line.text();
        const size_t length = std::min(text.size(), CommandLineCapacity);
        std::memcpy(buffer, text.data(), length);
        buffer[length] = 0;
        return 1;
    }
    if (command == HostSetCommandLine) {
        // The buffer is the module's 1024 bytes: never read past them.
        Shell.line.Set(std::string(buffer, strnlen(buffer, CommandLineCapacity + 1)));
        DrawScreen(); // so that the module's next read of the screen finds the new line
        return 1;
    }
    return 0;
}

int32_t ZARELIN_CALL HostMatch(const char* pattern, const char* name, int32_t) {
    return pattern && name && MatchLastComponent(pattern, name) ? 1 : 0;
}

int32_t ZARELIN_CALL HostEditor(int32_t command, void* record) {
    return Shell.editor && record ? Shell.editor->Service(command, record) : 0;
}

template <typename Fn>
bool Find(void* module, const char* name, Fn* fn, const std::string& path, std::string* error) {
    *fn = reinterpret_cast<Fn>(dlsym(module, name));
    if (*fn) return true;
    *error = path + " is not a Zarelin module: it lacks the entry point " + name;
    return false;
}

} // namespace

bool MatchLastComponent(const char* pattern, const char* name) {
    const char* text = name;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/') text = p + 1;
    // The file search's own letter case, beyond ASCII too: names are in the OEM page.
    const unsigned char* upper = ZpOemUpperTable();
    auto same = [upper](char a, char b) {
        return upper[static_cast<unsigned char>(a)] == upper[static_cast<unsigned char>(b)];
    };
    // Greedy '*' with one point to come back to: linear enough for names.
    const char *p = pattern, *n = text, *star = nullptr, *resume = nullptr;
    while (*n) {
        if (*p == '*') {
            star = p++;
            resume = n;
        } else if (*p && (*p == '?' || same(*p, *n))) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    return *p == '\0';
}

bool LoadModule(const std::string& path, std::string* error) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        *error = "cannot load the module " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    return Find(module, "SetStartupInfo", &setStartupInfo, path, error) &&
           Find(module, "GetPluginInfo", &getPluginInfo, path, error) &&
           Find(module, "OpenPlugin", &openPlugin, path, error) &&
           Find(module, "ClosePlugin", &closePlugin, path, error);
}

bool ParseMessages(const std::string& fileText, std::string out[8], std::string* error) {
    bool seen[MessageCount] = {};
    std::istringstream lines(fileText);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t equals = line.find('=');
        const std::string id = line.substr(0, equals);
        if (equals == std::string::npos || id.size() != 1 || id[0] < '0' ||
            id[0] >= '0' + MessageCount) {
            *error = "line " + std::to_string(number) + " is not of the form N=text (N 0-7)";
            return false;
        }
        const int n = id[0] - '0';
        if (seen[n]) {
            *error = "message " + id + " is given twice (line " + std::to_string(number) + ")";
            return false;
        }
        seen[n] = true;
        out[n] = Utf8ToOem(line.substr(equals + 1));
    }
    for (int n = 0; n < MessageCount; ++n) {
        if (!seen[n]) {
            *error = "message " + std::to_string(n) + " is missing";
            return false;
        }
    }
    return true;
}

bool LoadMessages(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read the language file " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    std::string why;
    if (!ParseMessages(text.str(), messages, &why)) {
        *error = "the language file " + path + " is unusable: " + why;
        return false;
    }
    return true;
}

void StartModule() {
    static StartupInfo info; // the module may keep pointers into it
    info = StartupInfo();
    info.StructSize = sizeof info;
    std::strncpy(info.ModuleName, "libzarelin.so", sizeof info.ModuleName - 1);
    info.ModuleNumber = ModuleNumber;
    info.RegistryRoot = RegistryRoot;
    info.HostMenu = HostMenu;
    info.HostMessage = HostMessage;
    info.HostControl = HostControl;
    info.HostMatch = HostMatch;
    info.HostEditor = HostEditor;
    setStartupInfo(&info);
    PluginInfo plugin = {};
    getPluginInfo(&plugin); // a host asks once, to list the module in its menus
}

void CallModule(int32_t openFrom, int preChosen) {
    const unsigned bells = ZpConsoleBellCount();
    DrawScreen(); // the module locates the cursor on the screen as the user sees it
    pendingAnswer = preChosen;
    openPlugin(openFrom, 0);
    pendingAnswer = -1;
    if (ZpConsoleBellCount() != bells) screen::Bell();
}

void CloseModule() {
    closePlugin(nullptr);
}

} // namespace shell

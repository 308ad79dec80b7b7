#include "windows_host.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace winhost {

namespace {

WindowsHost* current = nullptr;

// The command line sits on the last row but one of a 25-row screen, as in a console
// file manager; the row below it holds the key labels.
constexpr SHORT CommandRow = 23;

template <typename Fn> Fn Entry(HMODULE module, const char* name) {
    FARPROC address = GetProcAddress(module, name);
    if (!address) throw std::runtime_error(std::string("zarelin.dll lacks ") + name);
    using AnyFn = void (*)();
    return reinterpret_cast<Fn>(reinterpret_cast<AnyFn>(address));
}

// '*' and '?' without regard to letter case, as the host's own match.
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

void Write(HANDLE screen, const std::string& text, SHORT column, SHORT row) {
    DWORD written = 0;
    WriteConsoleOutputCharacterA(screen, text.data(), static_cast<DWORD>(text.size()),
                                 COORD{column, row}, &written);
}

} // namespace

std::string ModulePath() {
    if (const char* path = std::getenv("ZARELIN_MODULE")) return path;
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) throw std::runtime_error("own path unknown");
    std::string path(self, length);
    return path.substr(0, path.find_last_of("\\/") + 1) + "zarelin.dll";
}

struct Services {
    static int32_t ZARELIN_CALL Menu(int32_t, int32_t, int32_t, int32_t, uint32_t flags,
                                     const char* title, const char*, const char*, const int32_t*,
                                     int32_t*, const MenuItem* items, int32_t count) {
        WindowsHost& host = *current;
        host.menus.push_back(
            {title ? title : "", flags, std::vector<MenuItem>(items, items + count)});
        if (host.menuAnswers.empty()) return -1;
        int32_t answer = host.menuAnswers.front();
        host.menuAnswers.pop_front();
        return answer;
    }

    static const char* ZARELIN_CALL Message(int32_t, int32_t id) {
        return id >= 0 && id < 8 ? current->messages[id].c_str() : "";
    }

    static int32_t ZARELIN_CALL Control(void*, int32_t command, void* param) {
        WindowsHost& host = *current;
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
        return Wildcard(pattern, last);
    }

    static int32_t ZARELIN_CALL Editor(int32_t command, void* record) {
        WindowsHost& host = *current;
        switch (command) {
        case EditorGetLine: {
            auto* line = static_cast<EditorLineRecord*>(record);
            host.readLine_ = host.editorLine;
            line->Text = host.readLine_.c_str();
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

WindowsHost::WindowsHost(const std::string& registryRoot) : registryRoot_(registryRoot) {
    if (current) throw std::logic_error("one Windows host at a time");
    // A console file manager works in the console's code page: file names reach the
    // command line as the screen shows them.
    SetFileApisToOEM();

    std::string path = ModulePath();
    module_ = LoadLibraryA(path.c_str());
    if (!module_) throw std::runtime_error("cannot load " + path);
    try {
        setStartupInfo_ = Entry<SetStartupInfoFn>(module_, "SetStartupInfo");
        openPlugin_ = Entry<OpenPluginFn>(module_, "OpenPlugin");
        closePlugin_ = Entry<ClosePluginFn>(module_, "ClosePlugin");
        Entry<GetPluginInfoFn>(module_, "GetPluginInfo");
    } catch (...) {
        FreeLibrary(module_);
        throw;
    }

    // The host's own screen buffer, which the module reads back through the standard
    // output handle; it is never made active, so the terminal shows nothing of it.
    screen_ =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (screen_ != INVALID_HANDLE_VALUE) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(screen_, &info) || info.dwSize.Y <= CommandRow + 1) {
            CloseHandle(screen_);
            screen_ = INVALID_HANDLE_VALUE;
        } else {
            savedOutput_ = GetStdHandle(STD_OUTPUT_HANDLE);
            SetStdHandle(STD_OUTPUT_HANDLE, screen_);
        }
    }

    current = this;

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

WindowsHost::~WindowsHost() {
    closePlugin_(nullptr);
    FreeLibrary(module_);
    if (screen_ != INVALID_HANDLE_VALUE) {
        SetStdHandle(STD_OUTPUT_HANDLE, savedOutput_);
        CloseHandle(screen_);
    }
    current = nullptr;
}

void WindowsHost::Pick(int32_t item, int32_t openFrom) {
    if (openFrom != FromEditor) DrawCommandLine();
    menuAnswers.push_front(item);
    openPlugin_(openFrom, 0);
}

void WindowsHost::List(int32_t choice, int32_t openFrom) {
    menuAnswers.push_back(choice);
    Pick(ListItem, openFrom);
}

std::vector<std::string> WindowsHost::ListTexts() const {
    std::vector<std::string> texts;
    if (menus.empty() || menus.back().title != "Filenames") return texts;
    for (const MenuItem& item : menus.back().items)
        texts.push_back(item.Text);
    return texts;
}

std::vector<int32_t> WindowsHost::CheckMarks() {
    menus.clear();
    Pick(-1);
    std::vector<int32_t> marks;
    for (int i = 4; i < 8; ++i)
        marks.push_back(menus.at(0).items.at(i).Checked);
    return marks;
}

void WindowsHost::Close() {
    closePlugin_(nullptr);
}

void WindowsHost::DrawCommandLine() {
    if (screen_ == INVALID_HANDLE_VALUE) return;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen_, &info)) return;
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    DWORD written = 0;
    FillConsoleOutputCharacterA(screen_, ' ', cells, COORD{0, 0}, &written);

    // A line too long for the row scrolls sideways: its end stays in view unless the
    // cursor stands left of it. The last column stays free for the cursor at the end.
    size_t room = static_cast<size_t>(info.dwSize.X) - prompt.size() - 1;
    size_t cursor = commandCursor < 0 ? commandLine.size() : static_cast<size_t>(commandCursor);
    size_t first = commandLine.size() > room ? commandLine.size() - room : 0;
    if (cursor < first) first = cursor;
    std::string visible = commandLine.substr(first, room);
    Write(screen_, prompt + visible, 0, CommandRow);
    if (!rowBelow.empty()) Write(screen_, rowBelow, 0, CommandRow + 1);
    SetConsoleCursorPosition(screen_,
                             COORD{static_cast<SHORT>(prompt.size() + cursor - first), CommandRow});
}

} // namespace winhost

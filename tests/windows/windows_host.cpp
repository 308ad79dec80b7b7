#include "windows_host.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace winhost {

namespace {

// The command line sits on the last row but one of a 25-row screen, as in a console
// file manager; the row below it holds the key labels.
constexpr SHORT CommandRow = 23;

template <typename Fn> Fn Entry(HMODULE module, const char* name) {
    FARPROC address = GetProcAddress(module, name);
    if (!address) throw std::runtime_error(std::string("zarelin.dll lacks ") + name);
    using AnyFn = void (*)();
    return reinterpret_cast<Fn>(reinterpret_cast<AnyFn>(address));
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

WindowsHost::WindowsHost(const std::string& registryRoot, bool console) {
    // A console file manager works in the console's code page: file names reach the
    // command line as the screen shows them.
    SetFileApisToOEM();

    std::string path = ModulePath();
    module_ = LoadLibraryA(path.c_str());
    if (!module_) throw std::runtime_error("cannot load " + path);
    SetStartupInfoFn setStartupInfo;
    OpenPluginFn openPlugin;
    ClosePluginFn closePlugin;
    try {
        setStartupInfo = Entry<SetStartupInfoFn>(module_, "SetStartupInfo");
        openPlugin = Entry<OpenPluginFn>(module_, "OpenPlugin");
        closePlugin = Entry<ClosePluginFn>(module_, "ClosePlugin");
        Entry<GetPluginInfoFn>(module_, "GetPluginInfo");
    } catch (...) {
        FreeLibrary(module_);
        throw;
    }

    // The host's own screen buffer, which the module reads back through the standard
    // output handle; it is never made active, so the terminal shows nothing of it.
    if (console)
        screen_ = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            CONSOLE_TEXTMODE_BUFFER, nullptr);
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

    Start(setStartupInfo, openPlugin, closePlugin, registryRoot);
}

WindowsHost::~WindowsHost() {
    Close();
    FreeLibrary(module_);
    if (screen_ != INVALID_HANDLE_VALUE) {
        SetStdHandle(STD_OUTPUT_HANDLE, savedOutput_);
        CloseHandle(screen_);
    }
}

void WindowsHost::DrawCommandLine() {
    if (screen_ == INVALID_HANDLE_VALUE) return;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen_, &info)) return;
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    DWORD written = 0;
    FillConsoleOutputCharacterA(screen_, ' ', cells, COORD{0, 0}, &written);

    size_t cursor = 0;
    Write(screen_, VisibleLine(static_cast<size_t>(info.dwSize.X), &cursor), 0, CommandRow);
    if (!rowBelow.empty()) Write(screen_, rowBelow, 0, CommandRow + 1);
    SetConsoleCursorPosition(screen_, COORD{static_cast<SHORT>(cursor), CommandRow});
}

} // namespace winhost

#include "wine_network.h"

#include <cstdlib>
#include <stdexcept>

#include "temp_folder.h"

namespace winhost {

namespace {

const char OrderKey[] = "System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
const char ServiceKey[] = "System\\CurrentControlSet\\Services\\ZarelinProvider";
// The provider DLL and its copies, one for each provider a test registers.
const char* const ProviderFiles[] = {"zarelin_provider.dll", "zarelin_provider2.dll",
                                     "zarelin_provider3.dll"};

std::string ProgramPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) throw std::runtime_error("own path unknown");
    return std::string(path, length);
}

std::string ProgramFolder() {
    std::string path = ProgramPath();
    return path.substr(0, path.find_last_of("\\/") + 1);
}

void SetString(HKEY root, const std::string& key, const char* name, const std::string& value) {
    HKEY opened;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot write " + key);
    RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(opened);
}

bool GetString(HKEY root, const char* key, const char* name, std::string* value) {
    char text[1024];
    DWORD size = sizeof text - 1, type = 0;
    if (RegGetValueA(root, key, name, RRF_RT_REG_SZ, &type, text, &size) != ERROR_SUCCESS)
        return false;
    *value = text;
    return true;
}

// This program's own settings in the prefix, read by Wine when a process starts.
std::string AppDefaults() {
    return "Software\\Wine\\AppDefaults\\" + ProgramPath().substr(ProgramFolder().size());
}

// The doubles' folder: "partial" in that world, else "full".
std::string DoublesFolder() {
    return World() == "partial" ? "partial" : "full";
}

} // namespace

void UseDoubles() {
    static bool done = false;
    if (done) return;
    if (!SetDllDirectoryA((ProgramFolder() + "doubles\\" + DoublesFolder()).c_str()))
        throw std::runtime_error("cannot put the doubles on the search path");
    done = true;
}

namespace {

// Runs this program with `arguments` and waits for it; its exit status, or -1.
int RunProgram(const std::string& arguments) {
    std::string command = "\"" + ProgramPath() + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

// The prefix's folder of UNC links, as a Windows path; empty outside Wine.
std::string UncFolder() {
    using DosName = WCHAR*(CDECL*)(const char*);
    const char* prefix = std::getenv("WINEPREFIX");
    auto dosName = reinterpret_cast<DosName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (!prefix || !dosName) return {};
    WCHAR* wide = dosName((std::string(prefix) + "/dosdevices/unc").c_str());
    if (!wide) return {};
    char path[MAX_PATH];
    int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof path, nullptr, nullptr);
    HeapFree(GetProcessHeap(), 0, wide);
    return length > 0 ? std::string(path) : std::string();
}

} // namespace

bool UnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

bool DoublesOverridden() {
    std::string key = AppDefaults() + "\\DllOverrides", value;
    return GetString(HKEY_CURRENT_USER, key.c_str(), "netapi32", &value) && value == "native" &&
           GetString(HKEY_CURRENT_USER, key.c_str(), "svrapi", &value) && value == "native";
}

int RunAgainWithDoubles() {
    std::string key = AppDefaults() + "\\DllOverrides";
    SetString(HKEY_CURRENT_USER, key, "netapi32", "native");
    SetString(HKEY_CURRENT_USER, key, "svrapi", "native");
    // The arguments as this process got them, without its own name.
    std::string line = GetCommandLineA();
    size_t end = line[0] == '"' ? line.find('"', 1) + 1 : line.find(' ');
    return RunProgram(end == std::string::npos || end >= line.size() ? "" : line.substr(end + 1));
}

std::string World() {
    const char* world = std::getenv("ZARELIN_WORLD");
    return world ? world : "";
}

int RunWorld(const std::string& world, const std::string& filter) {
    // The other family is what Wine reports to a program set to that version.
    bool other = world == "other";
    if (other) SetString(HKEY_CURRENT_USER, AppDefaults(), "Version", "win98");
    SetEnvironmentVariableA("ZARELIN_WORLD", world.c_str());
    int status = RunProgram("--gtest_filter=" + filter);
    SetEnvironmentVariableA("ZARELIN_WORLD", nullptr);
    if (other) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, AppDefaults().c_str(), 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, "Version");
            RegCloseKey(key);
        }
    }
    return status;
}

WineNetwork::WineNetwork(const std::string& folder, const std::string& json,
                         const std::vector<std::string>& providers) {
    if (GetModuleHandleA("mpr.dll"))
        throw std::logic_error("mpr.dll is loaded: it would not read the providers again");
    if (providers.size() > sizeof ProviderFiles / sizeof *ProviderFiles)
        throw std::logic_error("more providers than provider DLLs");
    UseDoubles();

    std::string file = folder + "\\network.json";
    HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (out == INVALID_HANDLE_VALUE ||
        !WriteFile(out, json.data(), static_cast<DWORD>(json.size()), &written, nullptr))
        throw std::runtime_error("cannot write " + file);
    CloseHandle(out);
    SetEnvironmentVariableA("ZARELIN_NETWORK", file.c_str());

    hadOrder_ = GetString(HKEY_LOCAL_MACHINE, OrderKey, "ProviderOrder", &savedOrder_);
    std::string order;
    for (size_t i = 0; i < providers.size(); ++i) {
        std::string service = ServiceKey + std::to_string(i + 1);
        SetString(HKEY_LOCAL_MACHINE, service + "\\NetworkProvider", "ProviderPath",
                  ProgramFolder() + ProviderFiles[i]);
        SetString(HKEY_LOCAL_MACHINE, service + "\\NetworkProvider", "Name", providers[i]);
        order += (i ? "," : "") + service.substr(service.find_last_of('\\') + 1);
    }
    SetString(HKEY_LOCAL_MACHINE, OrderKey, "ProviderOrder", order);
}

WineNetwork::~WineNetwork() {
    for (const std::string& server : mapped_)
        RemoveTree(server);
    for (size_t i = 0; i < sizeof ProviderFiles / sizeof *ProviderFiles; ++i)
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (ServiceKey + std::to_string(i + 1)).c_str());
    HKEY order;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, OrderKey, 0, KEY_SET_VALUE, &order) == ERROR_SUCCESS) {
        if (hadOrder_)
            RegSetValueExA(order, "ProviderOrder", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(savedOrder_.c_str()),
                           static_cast<DWORD>(savedOrder_.size() + 1));
        else
            RegDeleteValueA(order, "ProviderOrder");
        RegCloseKey(order);
    }
    SetEnvironmentVariableA("ZARELIN_NETWORK", nullptr);
}

bool WineNetwork::MapShare(const std::string& server, const std::string& share,
                           const std::vector<std::string>& files) {
    std::string unc = UncFolder();
    if (unc.empty()) return false;
    CreateDirectoryA(unc.c_str(), nullptr);
    std::string serverFolder = unc + "\\" + server;
    CreateDirectoryA(serverFolder.c_str(), nullptr);
    mapped_.push_back(serverFolder);
    std::string shareFolder = serverFolder + "\\" + share;
    if (!CreateDirectoryA(shareFolder.c_str(), nullptr)) return false;
    AddFiles(shareFolder, files);
    return true;
}

DoubleStats NetapiStats() {
    using StatsFn = void(WINAPI*)(LONG*, LONG*);
    HMODULE netapi = GetModuleHandleA("NETAPI32.DLL");
    auto stats = netapi ? reinterpret_cast<StatsFn>(reinterpret_cast<void (*)()>(
                              GetProcAddress(netapi, "ZarelinDoubleStats")))
                        : nullptr;
    DoubleStats result;
    if (!stats) return result;
    LONG calls = 0, outstanding = 0;
    stats(&calls, &outstanding);
    result.calls = calls;
    result.outstanding = outstanding;
    return result;
}

} // namespace winhost

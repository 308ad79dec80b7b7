#include "temp_folder.h"

#include <windows.h>

#include <stdexcept>

namespace winhost {

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

namespace {

std::string CurrentDirectory() {
    char path[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof path, path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

} // namespace

TempFolder::TempFolder() {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) throw std::runtime_error("no temp folder");
    static unsigned serial = 0;
    for (;;) {
        root_ = std::string(temp, length) + "zarelin-" + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(++serial);
        if (CreateDirectoryA(root_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot make " + root_);
    }
    previousDirectory_ = CurrentDirectory();
    if (!SetCurrentDirectoryA(root_.c_str())) throw std::runtime_error("cannot enter " + root_);
}

TempFolder::~TempFolder() {
    SetCurrentDirectoryA(previousDirectory_.c_str());
    RemoveTree(root_);
}

void TempFolder::Add(const std::vector<std::string>& names) const {
    AddFiles(root_, names);
}

void AddFiles(const std::string& root, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        // Every folder on the way, then the file itself unless the name is a folder.
        for (size_t slash = name.find('\\'); slash != std::string::npos;
             slash = name.find('\\', slash + 1))
            CreateDirectoryA((root + "\\" + name.substr(0, slash)).c_str(), nullptr);
        if (name.back() == '\\') continue;
        std::string path = root + "\\" + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
        CloseHandle(file);
    }
}

std::string ShortPath(const std::string& path) {
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return length > 0 && length < sizeof shortPath ? std::string(shortPath, length) : std::string();
}

} // namespace winhost

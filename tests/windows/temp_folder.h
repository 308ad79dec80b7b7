// A folder made for one test under the Windows temp folder (inside the Wine prefix
// under Wine), removed with everything in it afterwards. While it lives, the process
// works inside it, so that words typed without a path complete against it.
#pragma once

#include <string>
#include <vector>

namespace winhost {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Creates files and folders (names ending in '\' are folders) below the root;
    // intermediate folders are made as needed.
    void Add(const std::vector<std::string>& names) const;
    // The full path, drive letter first, without a trailing backslash.
    const std::string& root() const { return root_; }

  private:
    std::string root_;
    std::string previousDirectory_;
};

// Creates `names` below `root` as TempFolder::Add does.
void AddFiles(const std::string& root, const std::vector<std::string>& names);

// Removes a folder with everything in it.
void RemoveTree(const std::string& folder);

// The 8.3 form of an existing path, as the file system reports it (empty on failure).
std::string ShortPath(const std::string& path);

} // namespace winhost

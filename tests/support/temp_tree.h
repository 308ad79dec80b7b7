// A directory tree made for one test under the system's temp folder, and removed with
// everything in it afterwards. While it lives, the process works inside it and keeps
// its settings store there.
#pragma once

#include <string>
#include <vector>

namespace testhost {

class TempTree {
  public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // Creates files and directories (names ending in '/' are directories) below the
    // tree's root; intermediate directories are made as needed.
    void Add(const std::vector<std::string>& names) const;
    const std::string& root() const { return root_; }
    // The settings store's folder ($XDG_CONFIG_HOME), outside the completed tree.
    const std::string& config() const { return config_; }

  private:
    std::string base_;
    std::string root_;
    std::string config_;
    std::string previousDirectory_;
};

} // namespace testhost

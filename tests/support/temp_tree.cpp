#include "temp_tree.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testhost {

TempTree::TempTree() {
    std::string pattern = (fs::temp_directory_path() / "zarelin-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    base_ = pattern;
    root_ = base_ + "/tree";
    config_ = base_ + "/config";
    fs::create_directories(root_);
    fs::create_directories(config_);
    previousDirectory_ = fs::current_path().string();
    fs::current_path(root_);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
}

TempTree::~TempTree() {
    std::error_code ignored;
    fs::current_path(previousDirectory_, ignored);
    fs::remove_all(base_, ignored);
}

void TempTree::Add(const std::vector<std::string>& names) const {
    for (const std::string& name : names) {
        fs::path path = fs::path(root_) / name;
        if (!name.empty() && name.back() == '/') {
            fs::create_directories(path);
        } else {
            fs::create_directories(path.parent_path());
            std::ofstream(path) << name << '\n';
        }
    }
}

} // namespace testhost

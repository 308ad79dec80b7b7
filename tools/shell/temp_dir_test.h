// A fixture for the shell's tests over real files: a fresh directory of their own,
// removed afterwards, and the console's code page loaded.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "codepage.h"

namespace shell {

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadCodePage();
        char dir[] = "/tmp/zarelin-shell-test-XXXXXX";
        ASSERT_TRUE(mkdtemp(dir));
        dir_ = dir;
        chmod(dir, 0755); // open to a test that drops its privileges
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0755);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
        return dir_ + "/" + name;
    }
    static std::string Read(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    }
    std::string dir_;
};

} // namespace shell

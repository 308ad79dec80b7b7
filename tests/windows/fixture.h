// What every Windows test starts from: a temp folder to work in, and a host key of its
// own in the real registry, empty at the start.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "temp_folder.h"
#include "windows_host.h"

namespace winhost {

class WindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        hostRoot = std::string("Software\\ZarelinWindowsTests\\") + test->test_suite_name() + "." +
                   test->name();
        RegDeleteTreeA(HKEY_CURRENT_USER, hostRoot.c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, hostRoot.c_str()); }

    TempFolder folder;
    std::string hostRoot; // the host's key below HKEY_CURRENT_USER
};

} // namespace winhost

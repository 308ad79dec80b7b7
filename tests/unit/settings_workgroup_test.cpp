// The workgroup the server list asks the network for, as read at start-up, over a
// registry that answers as Windows may: a failed query can leave bytes in the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/state.h"
#include "host/host.h"

using namespace zarelin;

namespace {

HKEY const WorkgroupHandle = reinterpret_cast<HKEY>(0x3C0B);

struct Answer {
    bool keyExists;
    std::string stored; // the value's bytes, terminator included when it has one
    LONG result;        // the query's answer when the value fits the buffer
};

Answer answer;
int closes = 0;

LONG WINAPI OpenKey(HKEY, const CHAR* subKey, DWORD, REGSAM, HKEY* result) {
    if (!answer.keyExists ||
        std::strcmp(subKey, "System\\CurrentControlSet\\Services\\VxD\\VNETSUP"))
        return ERROR_FILE_NOT_FOUND;
    *result = WorkgroupHandle;
    return ERROR_SUCCESS;
}

// Writes what fits whether or not the query succeeds.
LONG WINAPI Query(HKEY key, const CHAR* name, DWORD*, DWORD*, BYTE* data, DWORD* size) {
    if (key != WorkgroupHandle || std::strcmp(name, "Workgroup")) return ERROR_FILE_NOT_FOUND;
    std::memcpy(data, answer.stored.data(), std::min<size_t>(*size, answer.stored.size()));
    bool fits = answer.stored.size() <= *size;
    *size = static_cast<DWORD>(answer.stored.size());
    return fits ? answer.result : ERROR_MORE_DATA;
}

LONG WINAPI NoSettingsKey(HKEY, const CHAR*, DWORD, CHAR*, DWORD, REGSAM, SECURITY_ATTRIBUTES*,
                          HKEY*, DWORD*) {
    return ERROR_ACCESS_DENIED;
}

LONG WINAPI CloseKey(HKEY key) {
    if (key == WorkgroupHandle) ++closes;
    return ERROR_SUCCESS;
}

TEST(SettingsWorkgroup, TheServerListAsksForAWorkgroupOnlyWhenItsNameFitsWhole) {
    const std::string name39(39, 'W'), name40(40, 'W');
    struct Case {
        const char* what;
        Answer answer;
        std::string expected;
    } cases[] = {
        {"39 characters", {true, name39 + '\0', ERROR_SUCCESS}, name39},
        {"40 characters", {true, name40 + '\0', ERROR_SUCCESS}, ""},
        {"a failed query", {true, std::string("OFFICE") + '\0', ERROR_ACCESS_DENIED}, ""},
        {"no key", {false, std::string("OFFICE") + '\0', ERROR_SUCCESS}, ""},
        {"short", {true, std::string("OFFICE") + '\0', ERROR_SUCCESS}, "OFFICE"},
    };
    OsSwap<decltype(os.RegOpenKeyExA)> open(os.RegOpenKeyExA, OpenKey);
    OsSwap<decltype(os.RegQueryValueExA)> query(os.RegQueryValueExA, Query);
    OsSwap<decltype(os.RegCreateKeyExA)> create(os.RegCreateKeyExA, NoSettingsKey);
    OsSwap<decltype(os.RegCloseKey)> close(os.RegCloseKey, CloseKey);
    Host = StartupInfo{};
    for (const Case& c : cases) {
        answer = c.answer;
        closes = 0;
        // What an earlier start-up read stays nowhere in the buffer.
        std::memset(Workgroup, 'X', sizeof Workgroup);
        LoadSettings();
        ASSERT_NE(std::memchr(Workgroup, 0, sizeof Workgroup), nullptr) << c.what;
        EXPECT_EQ(std::string(Workgroup), c.expected) << c.what;
        EXPECT_EQ(closes, c.answer.keyExists ? 1 : 0) << c.what;
    }
}

// A value stored without its terminator that fills the buffer still leaves a name the
// server list can read to its end.
TEST(SettingsWorkgroup, AnUnterminatedNameThatFillsTheBufferStaysWithinIt) {
    OsSwap<decltype(os.RegOpenKeyExA)> open(os.RegOpenKeyExA, OpenKey);
    OsSwap<decltype(os.RegQueryValueExA)> query(os.RegQueryValueExA, Query);
    OsSwap<decltype(os.RegCreateKeyExA)> create(os.RegCreateKeyExA, NoSettingsKey);
    OsSwap<decltype(os.RegCloseKey)> close(os.RegCloseKey, CloseKey);
    Host = StartupInfo{};
    answer = {true, std::string(sizeof Workgroup, 'W'), ERROR_SUCCESS};
    LoadSettings();
    EXPECT_NE(std::memchr(Workgroup, 0, sizeof Workgroup), nullptr);
}

} // namespace

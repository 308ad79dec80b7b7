// Fault injection: a full command sequence, run once for every platform call and
// allocation it makes, with that one call failing (and once with it and every later
// call failing). After each run: no crash, no leak (LeakSanitizer), every line the
// host saw either the line before the command or one a fault-free run produces, and
// the module still completes afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "engine/state.h"
#include "sources/network.h"
#include "temp_tree.h"
#include "zarelin/host_api.h"
#include "zp_console.h"
#include "zp_network.h"

using namespace zarelin;

namespace {

// --- The fault schedule -----------------------------------------------------------

struct Schedule {
    long calls = 0;       // wrapped calls made in this run
    long failAt = -1;     // the call that fails; -1 none
    bool persist = false; // every call from failAt on fails too
    long failures = 0;    // calls failed in this run

    bool Fails() {
        ++calls;
        bool fail = failAt >= 0 && (calls == failAt || (persist && calls > failAt));
        failures += fail;
        return fail;
    }
};

Schedule schedule;

// One entry of a table of calls, failing on schedule with `failure` as its answer.
// A releasing call (close, free) still releases when it "fails", so that a leak is
// always the module's.
template <auto Member> struct Faulty;

template <typename Table, typename R, typename... A, R (WINAPI* Table::*Member)(A...)>
struct Faulty<Member> {
    static inline R(WINAPI* real)(A...) = nullptr;
    static inline R failure{};
    static inline bool releases = false;

    static R WINAPI Call(A... args) {
        if (!schedule.Fails()) return real(args...);
        if (releases) real(args...);
        return failure;
    }

    static void Install(Table& table, R fail, bool release = false) {
        real = table.*Member;
        failure = fail;
        releases = release;
        table.*Member = Call;
    }
};

void InstallPlatformFaults() {
    Faulty<&OsTable::LocalAlloc>::Install(os, nullptr);
    Faulty<&OsTable::LocalReAlloc>::Install(os, nullptr);
    Faulty<&OsTable::FindFirstFileA>::Install(os, INVALID_HANDLE_VALUE);
    Faulty<&OsTable::FindNextFileA>::Install(os, FALSE);
    Faulty<&OsTable::FindClose>::Install(os, FALSE, true);
    Faulty<&OsTable::GetStdHandle>::Install(os, INVALID_HANDLE_VALUE);
    Faulty<&OsTable::GetConsoleScreenBufferInfo>::Install(os, FALSE);
    Faulty<&OsTable::ReadConsoleOutputCharacterA>::Install(os, FALSE);
    Faulty<&OsTable::WNetOpenEnumA>::Install(os, ERROR_NO_NETWORK);
    Faulty<&OsTable::WNetEnumResourceA>::Install(os, ERROR_INVALID_HANDLE);
    Faulty<&OsTable::WNetCloseEnum>::Install(os, ERROR_INVALID_HANDLE, true);
    Faulty<&OsTable::CharToOemA>::Install(os, FALSE);
    Faulty<&OsTable::CharToOemW>::Install(os, FALSE);
    Faulty<&OsTable::MultiByteToWideChar>::Install(os, 0);
    Faulty<&OsTable::WideCharToMultiByte>::Install(os, 0);
    Faulty<&OsTable::RegCreateKeyExA>::Install(os, ERROR_ACCESS_DENIED);
    Faulty<&OsTable::RegOpenKeyExA>::Install(os, ERROR_ACCESS_DENIED);
    Faulty<&OsTable::RegQueryValueExA>::Install(os, ERROR_ACCESS_DENIED);
    Faulty<&OsTable::RegSetValueExA>::Install(os, ERROR_ACCESS_DENIED);
    Faulty<&OsTable::RegCloseKey>::Install(os, ERROR_INVALID_HANDLE, true);
    Faulty<&OsTable::GetVersionExA>::Install(os, FALSE);
    Faulty<&OsTable::LoadLibraryA>::Install(os, nullptr);
    Faulty<&OsTable::GetProcAddress>::Install(os, nullptr);
    Faulty<&OsTable::MessageBeep>::Install(os, FALSE);
    Faulty<&OsTable::CreateThread>::Install(os, nullptr);
    Faulty<&OsTable::GetModuleHandleExA>::Install(os, FALSE);
    Faulty<&OsTable::WaitForSingleObject>::Install(os, WAIT_FAILED);
    Faulty<&OsTable::CloseHandle>::Install(os, FALSE, true);
}

// The listing calls are looked up at start-up, so they are wrapped after it.
void InstallNetworkFaults() {
    if (Net.NetServerEnum) Faulty<&NetworkCalls::NetServerEnum>::Install(Net, ERROR_NO_NETWORK);
    if (Net.NetShareEnumNt)
        Faulty<&NetworkCalls::NetShareEnumNt>::Install(Net, ERROR_ACCESS_DENIED);
    if (Net.NetShareEnumOther)
        Faulty<&NetworkCalls::NetShareEnumOther>::Install(Net, ERROR_ACCESS_DENIED);
    if (Net.NetApiBufferFree)
        Faulty<&NetworkCalls::NetApiBufferFree>::Install(Net, ERROR_INVALID_PARAMETER, true);
}

// --- A host in the same process -------------------------------------------------

struct Host {
    std::string commandLine;
    std::string editorLine;
    std::string readLine;
    int32_t editorCursor = 0;
    std::deque<int32_t> answers;
    std::vector<std::string> seen; // every line handed back, in order

    void Draw() const {
        std::string row = "C:\\>" + commandLine;
        ZpConsoleClear();
        ZpConsoleWrite(0, 10, row.c_str(), static_cast<int>(row.size()));
        ZpConsoleSetCursor(static_cast<int>(row.size() < 200 ? row.size() : 199), 10);
    }
};

Host host;

int32_t ZARELIN_CALL Menu(int32_t, int32_t, int32_t, int32_t, uint32_t, const char*, const char*,
                          const char*, const int32_t*, int32_t*, const MenuItem*, int32_t count) {
    if (host.answers.empty()) return -1;
    int32_t answer = host.answers.front();
    host.answers.pop_front();
    return answer < count ? answer : -1;
}

const char* ZARELIN_CALL Message(int32_t, int32_t) {
    return "text";
}

int32_t ZARELIN_CALL Control(void*, int32_t command, void* param) {
    char* buffer = static_cast<char*>(param);
    if (command == HostGetCommandLine) {
        std::strncpy(buffer, host.commandLine.c_str(), 1023);
        buffer[1023] = 0;
    } else if (command == HostSetCommandLine) {
        host.commandLine = buffer;
        host.seen.push_back(host.commandLine);
        host.Draw();
    }
    return 1;
}

int32_t ZARELIN_CALL Editor(int32_t command, void* record) {
    if (command == EditorGetLine) {
        host.readLine = host.editorLine;
        static_cast<EditorLineRecord*>(record)->Text = host.readLine.c_str();
    } else if (command == EditorSetLine) {
        auto* line = static_cast<EditorLineWriteRecord*>(record);
        host.editorLine.assign(line->Text, static_cast<size_t>(line->Length));
        host.seen.push_back(host.editorLine);
    } else if (command == EditorGetInfo) {
        static_cast<EditorInfoRecord*>(record)->CursorPos = host.editorCursor;
    } else if (command == EditorSetPosition) {
        host.editorCursor = static_cast<EditorPositionRecord*>(record)->Position;
    }
    return 1;
}

// --- The command sequence -------------------------------------------------------

void Command(const std::string& line, std::vector<int32_t> answers, int32_t openFrom = 0) {
    if (openFrom == OpenFromEditor) {
        host.editorLine = line;
        host.editorCursor = static_cast<int32_t>(line.size());
    } else if (!line.empty()) {
        host.commandLine = line;
    }
    host.Draw();
    host.answers.assign(answers.begin(), answers.end());
    OpenPlugin(openFrom, 0);
}

void StartModule() {
    StartupInfo info = {};
    info.StructSize = sizeof info;
    info.RegistryRoot = "Software\\SweepHost";
    info.HostMenu = Menu;
    info.HostMessage = Message;
    info.HostControl = Control;
    info.HostEditor = Editor;
    SetStartupInfo(&info);
}

// Every command and option, every source, on the command line and in the editor.
void Sequence(bool nt) {
    StartModule();
    InstallNetworkFaults();

    Command("copy m", {0});    // next
    Command("", {0});          // next
    Command("", {1});          // previous
    Command("copy m", {2, 1}); // list, second item
    Command("dir pro", {0});   // next: a quoted directory
    Command("type sub\\", {0}, OpenFromEditor);
    Command("", {4}); // ShortFileNames on
    Command("copy m", {0});
    Command("dir \\\\", {0}); // the current domain or workgroup
    Command("", {0});
    Command("", {6}); // the whole network
    Command("dir \\\\a", {2, 0});
    Command("dir \\\\alpha\\", {0}); // shares one per call
    Command("", {0});
    Command("", {5}); // the whole share list
    Command("dir \\\\alpha\\d", {2, 1});
    Command(nt ? "type \\\\alpha\\data\\r" : "type \\\\alpha\\data\\", {0});
    ClosePlugin(nullptr);
}

const char* const NetworkJson = R"({
  "platform": "@FAMILY@", "workgroup": "HOME", "domain": "CORP",
  "providers": [ { "name": "Microsoft Windows Network",
      "domains": [ { "name": "CORP", "servers": ["ALPHA", "BETA"] },
                   { "name": "HOME", "servers": ["ALPHA", "GAMMA"] } ] } ],
  "servers": { "ALPHA": { "shares": [
      { "name": "data", "type": "disk", "path": "@DATA@" }, { "name": "docs", "type": "disk" },
      { "name": "C$", "type": "special" }, { "name": "IPC$", "type": "ipc" } ] } } })";

class FaultSweep : public ::testing::TestWithParam<bool> {
  protected:
    // A fresh directory tree, settings store and network for one run.
    void Prepare(testhost::TempTree& tree) {
        tree.Add({"m1", "m2", "m3", "Program Files/", "prog.exe", "sub/x1.txt", "sub/x2.txt",
                  "data/readme.txt", "data/report.txt"});
        std::string json = NetworkJson;
        json.replace(json.find("@FAMILY@"), 8, GetParam() ? "nt" : "other");
        json.replace(json.find("@DATA@"), 6, tree.root() + "/data");
        ASSERT_EQ(ZpNetworkLoadText(json.c_str()), 0) << ZpNetworkError();
        ZpConsoleResize(80, 25);
        host = Host{};
    }

    void TearDown() override {
        OsRestoreDefaults();
        ZpNetworkLoad(nullptr);
        ZpConsoleReset();
    }
};

// Every line the sequence can write when the platform gives it fewer candidates, or
// other ones first: each word replaced whole by a real name.
const std::set<std::string> WholeLines = {
    "copy m1",
    "copy m2",
    "copy m3",
    "dir prog.exe",
    "dir \"Program Files\\\"",
    "type sub\\x1.txt",
    "type sub\\x2.txt",
    "dir \\\\ALPHA\\",
    "dir \\\\BETA\\",
    "dir \\\\GAMMA\\",
    "dir \\\\ALPHA\\data\\",
    "dir \\\\ALPHA\\docs\\",
    "dir \\\\alpha\\data\\",
    "dir \\\\alpha\\docs\\",
    "type \\\\alpha\\data\\readme.txt",
    "type \\\\alpha\\data\\report.txt",
};

TEST_P(FaultSweep, EveryCallFailingInTurnLeavesLinesWholeAndTheModuleUsable) {
    // The fault-free run: how many calls the sequence makes, and that it reaches
    // every source.
    long total = 0;
    {
        testhost::TempTree tree;
        Prepare(tree);
        InstallPlatformFaults();
        schedule = Schedule{};
        Sequence(GetParam());
        total = schedule.calls;
        OsRestoreDefaults();
        std::set<std::string> written(host.seen.begin(), host.seen.end());
        for (const std::string& line : written)
            EXPECT_TRUE(WholeLines.count(line)) << line;
        EXPECT_GE(written.size(), 10u) << "files, servers, shares, files in a share";
    }
    ASSERT_GT(total, 50);

    long swept = 0;
    for (bool persist : {false, true}) {
        for (long k = 1; k <= total; ++k) {
            testhost::TempTree tree;
            Prepare(tree);
            InstallPlatformFaults();
            schedule = Schedule{};
            schedule.failAt = k;
            schedule.persist = persist;
            Sequence(GetParam());
            OsRestoreDefaults();
            swept += schedule.failures > 0;
            for (const std::string& line : host.seen)
                EXPECT_TRUE(WholeLines.count(line))
                    << "call " << k << (persist ? "+" : "") << " wrote '" << line << "'";

            // With the platform whole again the module completes as before.
            StartModule();
            Command("copy m", {0});
            EXPECT_TRUE(host.commandLine == "copy m1" || host.commandLine == "copy m2" ||
                        host.commandLine == "copy m3")
                << "after call " << k << ": '" << host.commandLine << "'";
            ClosePlugin(nullptr);
        }
    }
    RecordProperty("failure_points", static_cast<int>(swept));
    std::printf("%s family: %ld calls in the sequence, %ld runs with a fault\n",
                GetParam() ? "NT" : "other", total, swept);
}

INSTANTIATE_TEST_SUITE_P(Families, FaultSweep, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "NT" : "Other"; });

} // namespace

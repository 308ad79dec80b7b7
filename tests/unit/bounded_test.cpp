// Network calls with a bound: a file search in a share that answers late never holds a
// command past the bound, goes on in the next command of the same search, is adopted by
// a new search of the same word, and is let go cleanly by a search of another word.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "fake_host.h"
#include "sources/bounded.h"

using namespace zarelin;
using fakehost::fake;

namespace {

using Clock = std::chrono::steady_clock;

// A file search over a slow server: the fake's listing, each answer after `delayMs`,
// or a failure of `error` once the delay is over.
struct SlowServer {
    std::atomic<int> delayMs{0};
    std::atomic<DWORD> error{0};
    std::atomic<int> firstCalls{0};
    std::atomic<int> openSearches{0};
    std::atomic<bool> offHostThread{false}; // a search ran on a worker
    std::atomic<int> inFlight{0};           // fake calls under way
    std::atomic<bool> hurry{false};         // the test is over: answer now
    std::thread::id hostThread = std::this_thread::get_id();
    std::mutex listing; // the fake's listing is read by one worker at a time
};
SlowServer* server = nullptr;

// Only a share is slow.
void Wait(bool remote) {
    if (std::this_thread::get_id() != server->hostThread) server->offHostThread = true;
    Clock::time_point end =
        Clock::now() + std::chrono::milliseconds(remote ? server->delayMs.load() : 0);
    while (Clock::now() < end && !server->hurry)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Counts a fake call as under way for its whole length.
struct InFlight {
    InFlight() { ++server->inFlight; }
    ~InFlight() { --server->inFlight; }
};

HANDLE const SlowHandle = reinterpret_cast<HANDLE>(0x510);

HANDLE WINAPI SlowFirst(const CHAR* mask, WIN32_FIND_DATAA* data) {
    InFlight counted;
    bool remote = mask[0] == '\\';
    server->firstCalls += remote;
    Wait(remote);
    std::lock_guard<std::mutex> hold(server->listing);
    if (server->error || fake.listing.empty()) {
        SetLastError(server->error ? server->error.load() : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    fake.next = 1;
    std::memset(data, 0, sizeof *data);
    std::strcpy(data->cFileName, fake.listing[0].name.c_str());
    ++server->openSearches;
    return SlowHandle;
}

BOOL WINAPI SlowNext(HANDLE, WIN32_FIND_DATAA* data) {
    InFlight counted;
    Wait(true);
    std::lock_guard<std::mutex> hold(server->listing);
    if (fake.next >= fake.listing.size()) return FALSE;
    std::memset(data, 0, sizeof *data);
    std::strcpy(data->cFileName, fake.listing[fake.next++].name.c_str());
    return TRUE;
}

BOOL WINAPI SlowClose(HANDLE) {
    InFlight counted;
    --server->openSearches;
    return TRUE;
}

DWORD fakeTicks = 0;
DWORD WINAPI FakeTicks() {
    return fakeTicks;
}

class Bounded : public ::testing::Test {
  protected:
    void SetUp() override {
        server = &slow;
        os.FindFirstFileA = SlowFirst;
        os.FindNextFileA = SlowNext;
        os.FindClose = SlowClose;
        ForgetUnreachable();
    }
    void TearDown() override {
        State.ResetSearch();
        State.AbandonCalls();
        Settle(); // abandoned calls end on their own threads, which still use `slow`
        ForgetUnreachable();
        server = nullptr;
    }

    // Lets every call under way answer at once, and waits until the workers are done.
    void Settle() {
        slow.hurry = true;
        while (slow.inFlight)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // and have closed
    }

    // Runs next completion on `line` ("" keeps the line), and returns its seconds.
    double Next(const std::string& line = "") {
        if (!line.empty()) fake.commandLine = line;
        Clock::time_point start = Clock::now();
        State.CompleteNext();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    fakehost::FakeHostScope scope; // before the swaps above, which it puts back
    SlowServer slow;
};

constexpr double Bound = 2.2; // the bound and scheduling slack, in seconds

TEST_F(Bounded, ASlowListingGoesOnInTheNextCommandsEachWithinTheBound) {
    fake.listing = {{"report.txt", "", false}, {"readme.txt", "", false}};
    slow.delayMs = 4000; // twice the bound
    EXPECT_LT(Next("type \\\\srv\\data\\re"), Bound);
    EXPECT_EQ(fake.commandLine, "type \\\\srv\\data\\re"); // nothing yet: a beep
    EXPECT_EQ(fake.beeps, 1);
    EXPECT_LT(Next(), Bound);
    EXPECT_LT(Next(), Bound);
    EXPECT_EQ(fake.commandLine, "type \\\\srv\\data\\report.txt");
    EXPECT_EQ(slow.firstCalls, 1); // one search, waited for three times
    EXPECT_TRUE(slow.offHostThread);
}

TEST_F(Bounded, ANewSearchOfTheSameWordAdoptsTheCallAndAnotherWordAbandonsIt) {
    fake.listing = {{"report.txt", "", false}};
    slow.delayMs = 2200;
    fake.menuAnswer = 0;
    // The list command starts a new search each time: the second takes over the first.
    fake.commandLine = "type \\\\srv\\data\\re";
    State.CompleteFromList();
    EXPECT_EQ(fake.commandLine, "type \\\\srv\\data\\re");
    State.CompleteFromList();
    EXPECT_EQ(fake.commandLine, "type \\\\srv\\data\\report.txt");
    EXPECT_EQ(slow.firstCalls, 1);

    // A search of another word lets the pending one go: it ends on its own thread and
    // closes what it opened.
    EXPECT_LT(Next("type \\\\srv\\other\\x"), Bound);
    EXPECT_LT(Next("type \\\\srv\\data\\re"), Bound);
    EXPECT_EQ(slow.firstCalls, 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(Next(), Bound);
    EXPECT_EQ(fake.commandLine, "type \\\\srv\\data\\report.txt");
    State.ResetSearch();
    State.AbandonCalls();
    Settle();
    EXPECT_EQ(slow.openSearches, 0);
}

TEST_F(Bounded, AServerThatFailedLateIsSkippedForAMinute) {
    os.GetTickCount = FakeTicks;
    fake.listing = {{"report.txt", "", false}};
    struct Case {
        DWORD error;     // what the late search met
        bool remembered; // the next search of that server fails at once
    } cases[] = {{ERROR_BAD_NETPATH, true}, {ERROR_FILE_NOT_FOUND, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        ForgetUnreachable();
        slow.firstCalls = 0;
        slow.error = c.error;
        slow.delayMs = 2100;
        Next("type \\\\srv\\data\\re");                              // outlives the bound
        Next("type x");                                              // abandons it
        std::this_thread::sleep_for(std::chrono::milliseconds(400)); // it fails
        slow.error = 0;
        slow.delayMs = 0;
        Next("type \\\\SRV/data\\re");
        EXPECT_EQ(slow.firstCalls, c.remembered ? 1 : 2);
        Next("type \\\\other\\data\\re"); // another server is asked as ever
        EXPECT_EQ(slow.firstCalls, c.remembered ? 2 : 3);
        fakeTicks += UnreachableMemory; // a minute on, the server is asked again
        Next("type \\\\srv\\data\\re");
        EXPECT_EQ(fake.commandLine, "type \\\\srv\\data\\report.txt");
    }
}

TEST_F(Bounded, LocalSearchesRunOnTheHostsThread) {
    fake.listing = {{"report.txt", "", false}};
    Next("type re");
    EXPECT_EQ(fake.commandLine, "type report.txt");
    EXPECT_FALSE(slow.offHostThread);
    Next("type \\\\srv\\data\\re");
    EXPECT_TRUE(slow.offHostThread);
}

} // namespace

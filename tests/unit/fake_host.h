// An in-process host for the engine's unit tests: the command line, a scripted menu,
// and a file search that serves a fixed listing through the platform table, so that
// the platform's answers (8.3 names, failures) can be chosen.
#pragma once

#include <string>
#include <vector>

#include "engine/state.h"
#include "host/host.h"

namespace fakehost {

struct Entry {
    std::string name;
    std::string shortName;
    bool directory;
};

struct Fake {
    std::string commandLine;
    std::vector<Entry> listing;
    size_t next = 0;
    int failNextAfter = -1; // FindNextFileA fails after this many successes; -1 never
    int menuAnswer = -1;
    std::vector<std::string> menuTexts;
    int beeps = 0;
    int searchesOpen = 0;
};

extern Fake fake;

// Installs the fake host and file search; everything is put back on destruction.
class FakeHostScope {
  public:
    FakeHostScope();
    ~FakeHostScope();
    FakeHostScope(const FakeHostScope&) = delete;
    FakeHostScope& operator=(const FakeHostScope&) = delete;
};

} // namespace fakehost

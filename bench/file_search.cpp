// The file-name source against the raw directory scan it stands on.
//
// Directories of 10k, 100k and 1M entries are made once under the system's temp
// folder (kept for reruns). For each size: the first completion of a prefix that
// matches at once, a prefix that matches nothing (the whole directory is read), and
// gathering every match; each beside the floor, opendir/readdir with the same
// case-insensitive prefix test.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "support.h"

using zarelin::State;

namespace {

using bench::Directory;
using bench::StartWord;

// The floor: every entry whose name starts with `prefix`, letter case ignored.
template <typename Visit> void Scan(const std::string& dir, const char* prefix, Visit visit) {
    size_t length = std::strlen(prefix);
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d))
        if (strncasecmp(e->d_name, prefix, length) == 0 && !visit(e->d_name)) break;
    closedir(d);
}

void FirstMatch(benchmark::State& state) {
    std::string dir = Directory(state.range(0));
    State.Init();
    for (auto _ : state) {
        StartWord(dir, "FILE");
        benchmark::DoNotOptimize(State.FetchCandidate());
    }
    State.ResetSearch();
}

void FirstMatchFloor(benchmark::State& state) {
    std::string dir = Directory(state.range(0));
    for (auto _ : state) {
        const char* found = nullptr;
        Scan(dir, "FILE", [&](const char* name) { return found = name, false; });
        benchmark::DoNotOptimize(found);
    }
}

void NoMatch(benchmark::State& state) {
    std::string dir = Directory(state.range(0));
    State.Init();
    for (auto _ : state) {
        StartWord(dir, "zz");
        benchmark::DoNotOptimize(State.FetchCandidate());
    }
    State.ResetSearch();
}

void NoMatchFloor(benchmark::State& state) {
    std::string dir = Directory(state.range(0));
    for (auto _ : state) {
        int found = 0;
        Scan(dir, "zz", [&](const char*) { return ++found, true; });
        benchmark::DoNotOptimize(found);
    }
}

void GatherAll(benchmark::State& state) {
    std::string dir = Directory(state.range(0));
    State.Init();
    for (auto _ : state) {
        StartWord(dir, "file1");
        while (State.FetchCandidate()) {
        }
        benchmark::DoNotOptimize(State.CandidateCount);
    }
    state.counters["matches"] = State.CandidateCount;
    State.ResetSearch();
}

void GatherAllFloor(benchmark::State& state) {
    std::string dir = Directory(state.range(0));
    for (auto _ : state) {
        std::vector<std::string> names;
        Scan(dir, "file1", [&](const char* name) { return names.emplace_back(name), true; });
        benchmark::DoNotOptimize(names.data());
    }
}

#define SIZES ->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)

BENCHMARK(FirstMatch) SIZES;
BENCHMARK(FirstMatchFloor) SIZES;
BENCHMARK(NoMatch) SIZES;
BENCHMARK(NoMatchFloor) SIZES;
BENCHMARK(GatherAll) SIZES;
BENCHMARK(GatherAllFloor) SIZES;

} // namespace

BENCHMARK_MAIN();

// Memory of the list command against the number of matches: each measurement runs in a
// child process of its own, whose resident high-water mark (VmHWM) is reset just before
// the work and read right after it.
//
//   ListMemory         CompleteFromList: the candidate list plus the menu, 140 bytes an
//                      item, that lives while the menu shows
//   ListMemory_Gather  the gathering alone: the candidate list, 274 bytes a record plus
//                      the slack of its growth (up to a third of the array)
//   ListMemory_Floor   readdir into a vector of strings and std::sort, for comparison
//
// Counters: peak_MB is the child's whole high-water mark; added_per_match is what the
// work added to it, in bytes per match; list_per_match is the candidate array's
// allocated size per candidate, from its capacity.
#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "support.h"

using zarelin::State;

namespace {

const char* const Prefix = "file";

// A field of /proc/self/status in bytes (the file gives kB).
double StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0 && line[length] == ':')
            return std::stod(line.substr(length + 1)) * 1024;
    return 0;
}

struct Usage {
    double start;    // resident bytes when the work began
    double peak;     // high-water mark when it ended
    double capacity; // candidate records allocated, when the work keeps a list
};

// Runs `work` in a child process with the high-water mark reset first; false when the
// child could not report.
template <typename Work> bool MeasureInChild(Work work, Usage* usage) {
    int channel[2];
    if (pipe(channel) != 0) return false;
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        std::ofstream("/proc/self/clear_refs") << "5"; // resets VmHWM to VmRSS
        Usage measured{StatusBytes("VmRSS"), 0, 0};
        measured.capacity = work();
        measured.peak = StatusBytes("VmHWM");
        bool sent = write(channel[1], &measured, sizeof measured) == sizeof measured;
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    bool received = child > 0 && read(channel[0], usage, sizeof *usage) == sizeof *usage;
    close(channel[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

template <typename Work> void MemoryBenchmark(benchmark::State& state, Work work) {
    double n = static_cast<double>(state.range(0));
    bench::Directory(state.range(0)); // made in the parent, outside the measurement
    Usage usage{};
    for (auto _ : state)
        if (!MeasureInChild(work, &usage)) state.SkipWithError("the child did not report");
    state.counters["peak_MB"] = usage.peak / 1e6;
    state.counters["added_per_match"] = (usage.peak - usage.start) / n;
    if (usage.capacity > 0)
        state.counters["list_per_match"] = usage.capacity * sizeof(zarelin::Candidate) / n;
}

void ListMemory(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    MemoryBenchmark(state, [&] {
        bench::RealFilesHost host;
        host.SetMenuAnswer(0);
        host.SetLine(bench::WordLine(dir, Prefix));
        State.CompleteFromList();
        return static_cast<double>(State.CandidateCapacity);
    });
}

void ListMemory_Gather(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    MemoryBenchmark(state, [&] {
        bench::RealFilesHost host;
        bench::StartWord(dir, Prefix);
        while (State.FetchCandidate()) {
        }
        return static_cast<double>(State.CandidateCapacity);
    });
}

void ListMemory_Floor(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    MemoryBenchmark(state, [&] {
        std::vector<std::string> names = bench::SortedNames(dir, Prefix);
        benchmark::DoNotOptimize(names.data());
        return 0.0;
    });
}

#define SIZES                                                                                      \
    ->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(1)->UseRealTime()->Unit(        \
        benchmark::kMillisecond)

BENCHMARK(ListMemory) SIZES;
BENCHMARK(ListMemory_Gather) SIZES;
BENCHMARK(ListMemory_Floor) SIZES;

} // namespace

BENCHMARK_MAIN();

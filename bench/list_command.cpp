// The list command against the number of matches: gathering every match, sorting the
// candidate records and building the menu, through the in-process host with the real
// file search behind it. The menu answers with the first item, so the insertion runs too.
//
//   ListCommand          CompleteFromList on a directory whose every entry matches
//   ListCommand_Gather   the gathering alone: FetchCandidate until it reports no more
//   ListCommand_Floor    readdir + prefix test into a vector of strings, std::sort
//   ListCommand_Compgen  bash -c 'compgen -f -- <dir>/file', output to /dev/null: a
//                        process start, one readdir pass, no sort
//   BashStartup          bash -c true: the start-up part of the compgen figure
//
// and the sort of the candidate records alone, on the same names in directory order:
//
//   SortRecords          std::sort of the 274-byte records, as the list command does
//   SortIndexPermute     std::sort of a 32-bit index, then the records moved in place
//                        along the cycles of the permutation (one spare record)
//   SortIndexGather      std::sort of a 32-bit index, then the records copied into a
//                        second array (twice the memory for a moment)
//   SortKeyedIndex       std::sort of (first 8 folded bytes, index) pairs, the names
//                        compared only when those bytes tie, then moved in place
//   SortCandidates       the module's own sort of its candidate list, which the list
//                        command uses: a 16-byte index of the first 12 bytes' places in
//                        the order, names compared on ties, then the records moved once
//
// Times are wall-clock (the compgen figure is another process's); per_nlogn is the time
// divided by n log2 n, constant when a measurement grows as n log n.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "engine/text.h"
#include "support.h"

extern char** environ;

using zarelin::Candidate;
using zarelin::CompareNames;
using zarelin::State;

namespace {

const char* const Prefix = "file";

void Counters(benchmark::State& state) {
    int64_t n = state.range(0);
    state.counters["per_match"] = bench::PerUnit(static_cast<double>(n), state);
    state.counters["per_nlogn"] = bench::PerUnit(bench::NLog2N(n), state);
}

void ListCommand(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    bench::RealFilesHost host;
    host.SetMenuAnswer(0);
    std::string line = bench::WordLine(dir, Prefix);
    for (auto _ : state) {
        host.SetLine(line);
        State.CompleteFromList();
        benchmark::DoNotOptimize(State.CandidateCount);
    }
    if (State.CandidateCount != state.range(0)) state.SkipWithError("not every entry gathered");
    Counters(state);
}

void ListCommand_Gather(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    bench::RealFilesHost host;
    for (auto _ : state) {
        bench::StartWord(dir, Prefix);
        while (State.FetchCandidate()) {
        }
        benchmark::DoNotOptimize(State.CandidateCount);
    }
    Counters(state);
}

void ListCommand_Floor(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    for (auto _ : state) {
        std::vector<std::string> names = bench::SortedNames(dir, Prefix);
        benchmark::DoNotOptimize(names.data());
    }
    Counters(state);
}

// Runs `script` with bash -c, its output to /dev/null; false when it could not run.
bool RunBash(const std::string& script) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::string command = script;
    char bash[] = "bash";
    char dashC[] = "-c";
    char* argv[] = {bash, dashC, command.data(), nullptr};
    pid_t child;
    int failed = posix_spawnp(&child, "bash", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return failed == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

void ListCommand_Compgen(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    std::string script = "compgen -f -- '" + dir + "/" + Prefix + "'";
    for (auto _ : state)
        if (!RunBash(script)) state.SkipWithError("bash compgen failed");
    Counters(state);
}

void BashStartup(benchmark::State& state) {
    for (auto _ : state)
        if (!RunBash("true")) state.SkipWithError("bash failed");
}

// ---- Sorting the candidate records ---------------------------------------------------

bool NameLess(const Candidate& a, const Candidate& b) {
    return CompareNames(a.Name, b.Name) < 0;
}

// The names of the test directory in the order the directory lists them.
std::vector<Candidate> Unsorted(int64_t entries) {
    std::vector<Candidate> records;
    records.reserve(static_cast<size_t>(entries));
    bench::RawScan scan(bench::Directory(entries), Prefix);
    while (const char* name = scan.Next()) {
        Candidate c{};
        zarelin::CopyBounded(c.Name, sizeof c.Name, name);
        records.push_back(c);
    }
    return records;
}

std::vector<uint32_t> SortedIndex(const std::vector<Candidate>& records) {
    std::vector<uint32_t> order(records.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return NameLess(records[a], records[b]); });
    return order;
}

// Moves record order[i] to place i for every i, one cycle of the permutation at a time;
// a place already filled has order[j] == j.
void PermuteInPlace(std::vector<Candidate>& records, std::vector<uint32_t>& order) {
    for (uint32_t i = 0; i < order.size(); ++i) {
        if (order[i] == i) continue;
        Candidate spare = records[i];
        uint32_t j = i;
        for (;;) {
            uint32_t from = order[j];
            order[j] = j;
            if (from == i) {
                records[j] = spare;
                break;
            }
            records[j] = records[from];
            j = from;
        }
    }
}

// The first eight bytes of `name` folded as CompareNames folds them, as one number that
// orders as CompareNames does wherever the two names differ within those bytes.
uint64_t FoldedKey(const char* name) {
    uint64_t key = 0;
    bool ended = false;
    for (int i = 0; i < 8; ++i) {
        int folded = ended ? 0 : (static_cast<int>(static_cast<signed char>(name[i])) & ~0x20);
        ended = ended || name[i] == 0;
        key = key << 8 | static_cast<uint8_t>(folded + 128);
    }
    return key;
}

template <typename Sort> void SortBenchmark(benchmark::State& state, Sort sort) {
    const std::vector<Candidate> original = Unsorted(state.range(0));
    std::vector<Candidate> records;
    for (auto _ : state) {
        state.PauseTiming();
        records = original;
        state.ResumeTiming();
        sort(records);
        benchmark::DoNotOptimize(records.data());
    }
    if (!std::is_sorted(records.begin(), records.end(), NameLess))
        state.SkipWithError("not sorted");
    Counters(state);
}

void SortRecords(benchmark::State& state) {
    SortBenchmark(state, [](std::vector<Candidate>& records) {
        std::sort(records.begin(), records.end(), NameLess);
    });
}

void SortIndexPermute(benchmark::State& state) {
    SortBenchmark(state, [](std::vector<Candidate>& records) {
        std::vector<uint32_t> order = SortedIndex(records);
        PermuteInPlace(records, order);
    });
}

void SortIndexGather(benchmark::State& state) {
    SortBenchmark(state, [](std::vector<Candidate>& records) {
        std::vector<uint32_t> order = SortedIndex(records);
        std::vector<Candidate> sorted(records.size());
        for (size_t i = 0; i < order.size(); ++i)
            sorted[i] = records[order[i]];
        records.swap(sorted);
    });
}

void SortKeyedIndex(benchmark::State& state) {
    struct Keyed {
        uint64_t key;
        uint32_t index;
    };
    SortBenchmark(state, [](std::vector<Candidate>& records) {
        std::vector<Keyed> keyed(records.size());
        for (uint32_t i = 0; i < keyed.size(); ++i)
            keyed[i] = {FoldedKey(records[i].Name), i};
        std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
            if (a.key != b.key) return a.key < b.key;
            return NameLess(records[a.index], records[b.index]);
        });
        std::vector<uint32_t> order(keyed.size());
        for (size_t i = 0; i < keyed.size(); ++i)
            order[i] = keyed[i].index;
        PermuteInPlace(records, order);
    });
}

void SortCandidates(benchmark::State& state) {
    const std::vector<Candidate> original = Unsorted(state.range(0));
    const SIZE_T bytes = sizeof(Candidate) * original.size();
    State.Init();
    for (auto _ : state) {
        state.PauseTiming();
        State.ResetSearch();
        State.Candidates = static_cast<Candidate*>(zarelin::os.LocalAlloc(LMEM_FIXED, bytes));
        std::memcpy(State.Candidates, original.data(), bytes);
        State.CandidateCount = State.CandidateCapacity = static_cast<int32_t>(original.size());
        state.ResumeTiming();
        State.SortCandidates();
        benchmark::DoNotOptimize(State.Candidates);
    }
    if (!std::is_sorted(State.Candidates, State.Candidates + State.CandidateCount, NameLess))
        state.SkipWithError("not sorted");
    State.ResetSearch();
    Counters(state);
}

#define SIZES                                                                                      \
    ->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->UseRealTime()->Unit(benchmark::kMillisecond)

BENCHMARK(ListCommand) SIZES;
BENCHMARK(ListCommand_Gather) SIZES;
BENCHMARK(ListCommand_Floor) SIZES;
BENCHMARK(ListCommand_Compgen) SIZES;
BENCHMARK(BashStartup)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SortRecords) SIZES;
BENCHMARK(SortIndexPermute) SIZES;
BENCHMARK(SortIndexGather) SIZES;
BENCHMARK(SortKeyedIndex) SIZES;
BENCHMARK(SortCandidates) SIZES;

} // namespace

BENCHMARK_MAIN();

// Growing the candidate list against the number of candidates.
//
// AddCandidate grows the array by half its capacity, 10 records at least (10, 20, 30,
// 45, 67...). It used to grow by 10 records each time: with glibc's realloc a large
// block grows by remapping its pages, but with a reallocation that copies the block,
// as Windows' LocalReAlloc does when the block cannot grow where it lies, n candidates
// then copy about 274 * n^2 / 20 bytes, and the growth turns quadratic.
//
//   Grow                  n calls of the module's AddCandidate
//   GrowCopying           the same, each reallocation a new block, a copy and a free
//   GrowByTen             a copy of AddCandidate with the former rule, 10 records a time
//   GrowByTenCopying      that copy with the copying reallocation
//   Grow_Floor            the same names copied into records allocated once
//
// per_candidate is the time divided by n, constant when the growth is linear;
// copied_per_candidate is the bytes the copying reallocation moved, divided by n.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/text.h"
#include "support.h"

using zarelin::Candidate;
using zarelin::State;

namespace {

const std::vector<std::string>& Names(int64_t count) {
    static std::vector<std::string> names;
    for (int64_t i = static_cast<int64_t>(names.size()); i < count; ++i)
        names.push_back("file" + std::to_string(i) + ".txt");
    return names;
}

void Fill(Candidate& slot, const std::string& name) {
    zarelin::CopyBounded(slot.Name, sizeof slot.Name, name.c_str());
    slot.ShortName[0] = 0;
    slot.IsDirectory = 0;
}

// The module's AddCandidate with its former growth rule, through the same platform
// calls: 10 more records each time the array is full.
struct ByTenList {
    Candidate* Candidates = nullptr;
    int32_t CandidateCount = 0;
    int32_t CandidateCapacity = 0;

    ~ByTenList() { Clear(); }

    void Clear() {
        if (Candidates) zarelin::os.LocalFree(Candidates);
        Candidates = nullptr;
        CandidateCount = CandidateCapacity = 0;
    }

    int32_t AddCandidate(const std::string& name) {
        if (CandidateCount >= CandidateCapacity) {
            int32_t growth = zarelin::CandidateGrowth;
            SIZE_T bytes = sizeof(Candidate) * static_cast<SIZE_T>(CandidateCapacity + growth);
            void* grown = Candidates ? zarelin::os.LocalReAlloc(Candidates, bytes, LMEM_MOVEABLE)
                                     : zarelin::os.LocalAlloc(LMEM_FIXED, bytes);
            if (!grown) return 0;
            Candidates = static_cast<Candidate*>(grown);
            CandidateCapacity += growth;
        }
        Fill(Candidates[CandidateCount++], name);
        return 1;
    }
};

void Report(benchmark::State& state, double copied) {
    double n = static_cast<double>(state.range(0));
    state.counters["per_candidate"] = bench::PerUnit(n, state);
    if (copied > 0)
        state.counters["copied_per_candidate"] =
            copied / (n * static_cast<double>(state.iterations()));
}

template <typename Run> void Growth(benchmark::State& state, bool copying, Run run) {
    const std::vector<std::string>& names = Names(state.range(0));
    zarelin::OsSwap<decltype(zarelin::os.LocalReAlloc)> reallocation(
        zarelin::os.LocalReAlloc,
        copying ? bench::CopyingReAlloc : zarelin::OsDefaults.LocalReAlloc);
    bench::copiedBytes = 0;
    for (auto _ : state)
        run(names, state.range(0));
    Report(state, bench::copiedBytes);
}

void ModuleList(const std::vector<std::string>& names, int64_t count) {
    State.ResetSearch();
    for (int64_t i = 0; i < count; ++i)
        State.AddCandidate(names[i].c_str(), "", 0);
    benchmark::DoNotOptimize(State.Candidates);
}

void ByTen(const std::vector<std::string>& names, int64_t count) {
    ByTenList list;
    for (int64_t i = 0; i < count; ++i)
        list.AddCandidate(names[i]);
    benchmark::DoNotOptimize(list.Candidates);
}

void Grow(benchmark::State& state) {
    State.Init();
    Growth(state, false, ModuleList);
    State.ResetSearch();
}

void GrowCopying(benchmark::State& state) {
    State.Init();
    Growth(state, true, ModuleList);
    State.ResetSearch();
}

void GrowByTen(benchmark::State& state) {
    Growth(state, false, ByTen);
}

void GrowByTenCopying(benchmark::State& state) {
    Growth(state, true, ByTen);
}

void Grow_Floor(benchmark::State& state) {
    const std::vector<std::string>& names = Names(state.range(0));
    int64_t count = state.range(0);
    for (auto _ : state) {
        auto* records = static_cast<Candidate*>(
            zarelin::os.LocalAlloc(LMEM_FIXED, sizeof(Candidate) * static_cast<SIZE_T>(count)));
        for (int64_t i = 0; i < count; ++i)
            Fill(records[i], names[i]);
        benchmark::DoNotOptimize(records);
        zarelin::os.LocalFree(records);
    }
    Report(state, 0);
}

// Copying ten records at a time all the way to a million candidates moves some 13 TB
// (half an hour): that list stops at 100k, where the trend is plain.
#define SIZES ->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)
#define COPYING_SIZES                                                                              \
    ->Arg(1000)->Arg(3000)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond)

BENCHMARK(Grow) SIZES;
BENCHMARK(GrowCopying) SIZES;
BENCHMARK(GrowByTen) SIZES;
BENCHMARK(GrowByTenCopying) COPYING_SIZES;
BENCHMARK(Grow_Floor) SIZES;

} // namespace

BENCHMARK_MAIN();

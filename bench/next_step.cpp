// One step of next completion in the middle of a search, against directory size.
//
// Stepping reads the directory only up to the next match, so a step should cost the
// same in a directory of ten thousand entries as in one of a million. Each iteration
// takes a batch of steps from the middle of the search on (the first half already
// stepped through, the candidate list as long as it then is); the floor is the same
// number of readdir calls with the same case-blind prefix test.
//
//   NextFetch        the file-name source alone: FetchCandidate
//   NextFetchShallow FetchCandidate a thousand steps into the search, at every size
//   NextCommand      the whole command through the in-process host: CompleteNext
//   NextFetchCopying FetchCandidate while growing the list copies the whole array, as
//                    Windows' LocalReAlloc does when the block cannot grow in place
//   NextFetchNoGrowth FetchCandidate with room made in the list beforehand: the source's
//                    own cost, without the list's growth
//   NextFetch_Floor  readdir + prefix test, one match per step
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "support.h"

using zarelin::State;

namespace {

using bench::Batch;
using bench::FromDepth;
const char* const Prefix = "file"; // every entry of the test directories but .complete

// From the middle of the search to its end.
template <typename Open, typename Step>
void FromTheMiddle(benchmark::State& state, Open open, Step step) {
    FromDepth(state, state.range(0) / 2, state.range(0), open, step);
}

void NextFetch(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    bench::RealFilesHost host;
    FromTheMiddle(
        state, [&] { bench::StartWord(dir, Prefix); }, [] { return State.FetchCandidate(); });
    state.counters["candidates"] = State.CandidateCount;
}

// A thousand steps in, whatever the directory's size: the same candidate list each time.
void NextFetchShallow(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    bench::RealFilesHost host;
    FromDepth(
        state, Batch, Batch, [&] { bench::StartWord(dir, Prefix); },
        [] { return State.FetchCandidate(); });
}

void NextCommand(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    bench::RealFilesHost host;
    FromTheMiddle(
        state, [&] { host.SetLine(bench::WordLine(dir, Prefix)); },
        [] {
            State.CompleteNext();
            return State.CurrentIndex;
        });
    state.counters["beeps"] = fakehost::fake.beeps;
}

void NextFetchCopying(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    bench::RealFilesHost host;
    int64_t entries = state.range(0);
    int64_t position = entries;
    for (auto _ : state) {
        // The first half is stepped with the fast reallocation: copying all the way
        // there would take hours at a million entries.
        if (entries - position < Batch) {
            state.PauseTiming();
            bench::StartWord(dir, Prefix);
            for (position = 0; position < entries / 2; ++position)
                State.FetchCandidate();
            state.ResumeTiming();
        }
        zarelin::OsSwap<decltype(zarelin::os.LocalReAlloc)> copying(zarelin::os.LocalReAlloc,
                                                                    bench::CopyingReAlloc);
        for (int64_t i = 0; i < Batch; ++i)
            benchmark::DoNotOptimize(State.FetchCandidate());
        position += Batch;
    }
    state.counters["per_step"] = bench::PerUnit(Batch, state);
}

void NextFetchNoGrowth(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    bench::RealFilesHost host;
    int64_t entries = state.range(0);
    int64_t position = entries;
    for (auto _ : state) {
        state.PauseTiming();
        if (entries - position < Batch) {
            bench::StartWord(dir, Prefix);
            for (position = 0; position < entries / 2; ++position)
                State.FetchCandidate();
        }
        // Room for the whole batch, so that no step of it grows the list.
        int32_t room = State.CandidateCount + static_cast<int32_t>(Batch);
        if (State.CandidateCapacity < room) {
            State.Candidates = static_cast<zarelin::Candidate*>(
                zarelin::os.LocalReAlloc(State.Candidates, sizeof(zarelin::Candidate) * room, 0));
            State.CandidateCapacity = room;
        }
        state.ResumeTiming();
        for (int64_t i = 0; i < Batch; ++i)
            benchmark::DoNotOptimize(State.FetchCandidate());
        position += Batch;
    }
    state.counters["per_step"] = bench::PerUnit(Batch, state);
}

void NextFetch_Floor(benchmark::State& state) {
    std::string dir = bench::Directory(state.range(0));
    std::unique_ptr<bench::RawScan> scan;
    FromTheMiddle(
        state, [&] { scan = std::make_unique<bench::RawScan>(dir, Prefix); },
        [&] { return scan->Next(); });
}

#define SIZES ->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond)

BENCHMARK(NextFetch) SIZES;
BENCHMARK(NextFetchShallow) SIZES;
BENCHMARK(NextCommand) SIZES;
BENCHMARK(NextFetchCopying) SIZES;
BENCHMARK(NextFetchNoGrowth) SIZES;
BENCHMARK(NextFetch_Floor) SIZES;

} // namespace

BENCHMARK_MAIN();

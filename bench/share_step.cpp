// What the bound on network calls costs: a step of next completion in a share, whose
// listing runs on a worker and comes over in a ring, beside the same step in the same
// folder named by its local path, which runs on the host's thread as it always did.
// The share is the network file's model of a live server that answers at once: the
// worst case for the bound's share of a step (a real server's own latency only adds to
// both sides of the ratio).
//
//   ShareStep   FetchCandidate a thousand steps into a search of \\SRV\data\file*
//   LocalStep   the same, on <folder>/file*: the baseline
//   ShareCommand, LocalCommand  the same steps as whole commands: what a Tab costs
//   ShareFirst  a new search and its first match in the share: one worker per search
//   LocalFirst  the same, local
#include <benchmark/benchmark.h>

#include <string>

#include "support.h"
#include "zp_network.h"

using zarelin::State;

namespace {

constexpr int64_t Depth = 1000; // where in the search the timed steps start

std::string ShareLine(int64_t entries) {
    std::string json = R"({"platform": "nt", "servers": {"SRV": {"shares": [
        {"name": "data", "path": ")" +
                       bench::Directory(entries) + R"("}]}}})";
    if (ZpNetworkLoadText(json.c_str()) != 0) return "";
    return "copy \\\\SRV\\data\\file";
}

void Start(const std::string& line) {
    std::strcpy(State.Line, line.c_str());
    State.CursorPos = static_cast<int32_t>(line.size());
    State.StartSearch();
}

// Batches of steps from Depth on, the search started again with the clock stopped;
// `open` starts it, `step` takes a step.
template <typename Open, typename Step> void Steps(benchmark::State& state, Open open, Step step) {
    bench::RealFilesHost host;
    bench::FromDepth(state, Depth, bench::Batch, open, step);
    State.ResetSearch();
    State.AbandonCalls();
}

// FetchCandidate alone.
void Steps(benchmark::State& state, const std::string& line) {
    Steps(
        state, [&] { Start(line); }, [] { return State.FetchCandidate(); });
}

// The same steps as whole commands (next completion through the in-process host):
// what a Tab costs.
void Commands(benchmark::State& state, const std::string& line) {
    Steps(
        state, [&] { bench::RealFilesHost::SetLine(line); },
        [] {
            State.CompleteNext();
            return State.CurrentIndex;
        });
}

void First(benchmark::State& state, const std::string& line) {
    bench::RealFilesHost host;
    for (auto _ : state) {
        Start(line);
        benchmark::DoNotOptimize(State.FetchCandidate());
    }
    State.ResetSearch();
    State.AbandonCalls();
}

void ShareStep(benchmark::State& state) {
    Steps(state, ShareLine(state.range(0)));
}

void LocalStep(benchmark::State& state) {
    Steps(state, bench::WordLine(bench::Directory(state.range(0)), "file"));
}

void ShareCommand(benchmark::State& state) {
    Commands(state, ShareLine(state.range(0)));
}

void LocalCommand(benchmark::State& state) {
    Commands(state, bench::WordLine(bench::Directory(state.range(0)), "file"));
}

void ShareFirst(benchmark::State& state) {
    First(state, ShareLine(state.range(0)));
}

void LocalFirst(benchmark::State& state) {
    First(state, bench::WordLine(bench::Directory(state.range(0)), "file"));
}

#define SIZES ->Arg(10000)->Unit(benchmark::kMicrosecond)

BENCHMARK(ShareStep) SIZES;
BENCHMARK(LocalStep) SIZES;
BENCHMARK(ShareCommand) SIZES;
BENCHMARK(LocalCommand) SIZES;
BENCHMARK(ShareFirst) SIZES;
BENCHMARK(LocalFirst) SIZES;

} // namespace

BENCHMARK_MAIN();

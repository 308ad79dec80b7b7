// What the benchmarks share: the test directories, the raw directory scan that every
// file measurement stands beside, and an in-process host for whole commands.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <strings.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/state.h"
#include "fake_host.h"

namespace bench {

// A directory of `entries` empty files named file0.txt, file1.txt..., made once under
// the system's temp folder and kept for reruns: a million files take minutes to make.
inline std::string Directory(int64_t entries) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("zarelin-bench-" + std::to_string(entries));
    fs::path done = dir / ".complete";
    if (fs::exists(done)) return dir.string();
    fs::create_directories(dir);
    for (int64_t i = 0; i < entries; ++i) {
        std::string name = (dir / ("file" + std::to_string(i) + ".txt")).string();
        int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) close(fd);
    }
    int fd = open(done.c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd >= 0) close(fd);
    return dir.string();
}

// The module's view: a word completed on the line 'copy <dir>/<prefix>'.
inline std::string WordLine(const std::string& dir, const char* prefix) {
    return "copy " + dir + "/" + prefix;
}

inline void StartWord(const std::string& dir, const char* prefix) {
    std::string line = WordLine(dir, prefix);
    std::strcpy(zarelin::State.Line, line.c_str());
    zarelin::State.CursorPos = static_cast<int32_t>(line.size());
    zarelin::State.StartSearch();
}

// The floor under every file measurement: readdir with the same case-blind prefix test,
// one match per call, over a directory kept open.
class RawScan {
  public:
    RawScan(const std::string& dir, const char* prefix)
        : dir_(opendir(dir.c_str())), prefix_(prefix), length_(std::strlen(prefix)) {}
    ~RawScan() {
        if (dir_) closedir(dir_);
    }
    RawScan(const RawScan&) = delete;
    RawScan& operator=(const RawScan&) = delete;

    // The next matching name, or null at the end.
    const char* Next() {
        while (dirent* e = readdir(dir_))
            if (strncasecmp(e->d_name, prefix_, length_) == 0) return e->d_name;
        return nullptr;
    }

  private:
    DIR* dir_;
    const char* prefix_;
    size_t length_;
};

// The list command's floor: every matching name read and sorted without regard to case.
inline std::vector<std::string> SortedNames(const std::string& dir, const char* prefix) {
    std::vector<std::string> names;
    RawScan scan(dir, prefix);
    while (const char* name = scan.Next())
        names.emplace_back(name);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    return names;
}

// The fake host of the unit tests with the real file search behind it, and a menu that
// reads every item as a host must to draw it, without copying the texts away.
class RealFilesHost {
  public:
    RealFilesHost() {
        zarelin::os.FindFirstFileA = zarelin::OsDefaults.FindFirstFileA;
        zarelin::os.FindNextFileA = zarelin::OsDefaults.FindNextFileA;
        zarelin::os.FindClose = zarelin::OsDefaults.FindClose;
        zarelin::Host.HostMenu = Menu;
    }

    static void SetLine(const std::string& line) { fakehost::fake.commandLine = line; }
    static void SetMenuAnswer(int answer) { fakehost::fake.menuAnswer = answer; }
    static size_t MenuTextBytes() { return menuTextBytes; }

  private:
    static int32_t WINAPI Menu(int32_t, int32_t, int32_t, int32_t, uint32_t, const char*,
                               const char*, const char*, const int32_t*, int32_t*,
                               const MenuItem* items, int32_t count) {
        size_t bytes = 0;
        for (int32_t i = 0; i < count; ++i)
            bytes += std::strlen(items[i].Text);
        menuTextBytes = bytes;
        return fakehost::fake.menuAnswer;
    }

    static inline size_t menuTextBytes = 0;
    fakehost::FakeHostScope scope_; // constructed first: the entries above override it
};

// Windows' LocalReAlloc when the block cannot grow where it lies: a new block, a copy,
// and the old one freed. glibc moves a large block by remapping its pages instead, so
// this is the model for what a growth costs on the module's real platform.
inline double copiedBytes = 0; // by CopyingReAlloc, for the reports

inline HLOCAL WINAPI CopyingReAlloc(HLOCAL mem, SIZE_T bytes, UINT) {
    void* grown = std::malloc(bytes);
    if (!grown) return nullptr;
    size_t kept = std::min(malloc_usable_size(mem), static_cast<size_t>(bytes));
    std::memcpy(grown, mem, kept);
    copiedBytes += static_cast<double>(kept);
    std::free(mem);
    return grown;
}

// A counter of seconds per unit of `units` over all iterations, printed as a time.
inline benchmark::Counter PerUnit(double units, const benchmark::State& state) {
    return benchmark::Counter(units * static_cast<double>(state.iterations()),
                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

inline double NLog2N(int64_t n) {
    return static_cast<double>(n) * std::log2(static_cast<double>(n));
}

constexpr int64_t Batch = 1000; // steps timed per iteration

// Steps through a search from `depth` steps on, a batch per iteration, until `window`
// steps past it or the end of the directory; then starts again with the clock stopped.
template <typename Open, typename Step>
void FromDepth(benchmark::State& state, int64_t depth, int64_t window, Open open, Step step) {
    int64_t entries = state.range(0);
    int64_t end = std::min(entries, depth + window);
    int64_t position = end; // forces a start
    for (auto _ : state) {
        if (end - position < Batch) {
            state.PauseTiming();
            open();
            for (position = 0; position < depth; ++position)
                step();
            state.ResumeTiming();
        }
        for (int64_t i = 0; i < Batch; ++i)
            benchmark::DoNotOptimize(step());
        position += Batch;
    }
    state.counters["per_step"] = PerUnit(Batch, state);
}

} // namespace bench

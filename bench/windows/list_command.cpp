// The list command and a next step through the shipped module under Wine, against the
// Win32 file search it stands on: for each folder named on the command line (each full
// of file0.txt, file1.txt...), in the same run,
//
//   scan   FindFirstFileA/FindNextFileA over "<folder>\file*", counting the matches
//   list   the list command on 'copy <folder>\file' through the Windows test host:
//          every match gathered, sorted and put in a menu, which the host reads whole
//          and cancels
//   next   one step of next completion, from step 1000 on: the line read, one match
//          fetched and inserted, the line handed back
//
// The host has no console (under Wine each console call is a round trip to another
// process, 50 us to 1 ms on a busy machine), so the module takes the cursor to be at
// the end of the line.
//
// and prints them as a Markdown table of ratios: the list against the scan, and a step
// against the scan's cost per entry. Each time is the median of several runs.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "windows_host.h"

using winhost::WindowsHost;

namespace {

constexpr size_t MinRuns = 5, MaxRuns = 25;
constexpr int StepsBefore = 1000; // next steps taken before the timed ones
constexpr int StepsTimed = 1000;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Run> double Time(Run run) {
    double start = Now();
    run();
    return Now() - start;
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Matches of "<folder>\file*" through the file search alone.
long Scan(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\file*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    long matches = 1;
    while (FindNextFileA(search, &entry))
        ++matches;
    FindClose(search);
    return matches;
}

struct Figures {
    long matches;
    size_t runs;
    double scan, list, step; // seconds; step is one next step
};

bool Measure(const std::string& folder, Figures& out) {
    out.matches = Scan(folder);
    if (out.matches < StepsBefore + StepsTimed) {
        std::fprintf(stderr, "%s: %ld matches, %d needed\n", folder.c_str(), out.matches,
                     StepsBefore + StepsTimed);
        return false;
    }
    WindowsHost host("Software\\ZarelinWindowsBench", /*console=*/false);
    host.keepMenuItems = false;
    const std::string line = "copy " + folder + "\\file";
    // The scan and the list take turns, so that a change in the machine's load falls on
    // both; at least 5 runs each, more while they take less than 2 s in all.
    std::vector<double> scans, lists;
    for (double spent = 0; lists.size() < MinRuns || (spent < 2 && lists.size() < MaxRuns);) {
        scans.push_back(Time([&] { Scan(folder); }));
        lists.push_back(Time([&] {
            host.commandLine = line;
            host.menus.clear();
            host.List(-1);
        }));
        spent += scans.back() + lists.back();
    }
    out.runs = lists.size();
    out.scan = Median(scans);
    out.list = Median(lists);
    if (host.menus.size() != 2 || host.menus[1].count != out.matches) {
        std::fprintf(stderr, "%s: the list showed %d of %ld matches\n", folder.c_str(),
                     host.menus.size() == 2 ? host.menus[1].count : -1, out.matches);
        return false;
    }

    std::vector<double> steps;
    for (size_t r = 0; r < MinRuns; ++r) {
        host.commandLine = line;
        host.menus.clear();
        for (int i = 0; i < StepsBefore; ++i)
            host.Next();
        std::string before = host.commandLine;
        double start = Now();
        for (int i = 0; i < StepsTimed; ++i)
            host.Next();
        steps.push_back((Now() - start) / StepsTimed);
        if (host.commandLine == before || host.commandLine.compare(0, line.size(), line) != 0) {
            std::fprintf(stderr, "%s: next did not step on\n", folder.c_str());
            return false;
        }
    }
    out.step = Median(steps);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    std::vector<Figures> all;
    for (int i = 1; i < argc; ++i) {
        Figures f;
        if (!Measure(argv[i], f)) return 1;
        all.push_back(f);
    }
    const char* module = std::getenv("ZARELIN_MODULE");
    std::printf("%s, %d-bit; medians of %zu-%zu runs (next: %zu)\n\n",
                module ? module : "zarelin.dll", static_cast<int>(sizeof(void*) * 8), MinRuns,
                MaxRuns, MinRuns);
    std::printf("| matches | runs | scan | list | list / scan | that, against the first size "
                "| next step | step / scan's cost per entry |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const Figures& f : all) {
        double ratio = f.list / f.scan;
        double first = all[0].list / all[0].scan;
        std::printf("| %ld | %zu | %.1f ms | %.1f ms | %.2f | %.2f | %.1f us | %.1f |\n", f.matches,
                    f.runs, f.scan * 1e3, f.list * 1e3, ratio, ratio / first, f.step * 1e6,
                    f.step / (f.scan / static_cast<double>(f.matches)));
    }
    return 0;
}

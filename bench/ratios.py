#!/usr/bin/env python3
"""Prints a benchmark run as ratios against a baseline from the same run.

    bench/ratios.py RESULT.json BASELINE [FAMILY...] [--counter NAME]

RESULT.json is what a bench_* program writes with --benchmark_out=RESULT.json
(--benchmark_out_format=json). For every benchmark family (or only those named), one
row of a Markdown table: per argument, the family's time divided by BASELINE's time for
the same argument. With --counter, the counter's value is shown instead of a ratio.
The median of repetitions is used when the run has one, else the single result.
"""
import json
import sys


def results(path):
    with open(path) as f:
        run = json.load(f)
    times, counters = {}, {}
    for b in run["benchmarks"]:
        if b.get("error_occurred"):
            continue
        kind = b.get("aggregate_name", "")
        if kind not in ("", "median"):
            continue
        parts = b["run_name"].split("/")
        family = parts[0]
        arg = parts[1] if len(parts) > 1 and parts[1].isdigit() else "-"
        key = (family, arg)
        # A median beats a single repetition of the same benchmark.
        if key in times and kind != "median":
            continue
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
        times[key] = b["real_time"] * scale
        counters[key] = b
    return times, counters, run.get("context", {})


def main(argv):
    counter = None
    if "--counter" in argv:
        i = argv.index("--counter")
        counter = argv[i + 1]
        del argv[i : i + 2]
    if len(argv) < 3:
        sys.exit(__doc__)
    times, counters, context = results(argv[1])
    baseline = argv[2]
    wanted = argv[3:]
    families = [f for f in dict.fromkeys(k[0] for k in times) if not wanted or f in wanted]
    args = sorted({k[1] for k in times if k[0] in families}, key=lambda a: (a == "-", int(a) if a != "-" else 0))
    if not counter:  # no ratio without a baseline for that argument
        args = [a for a in args if (baseline, a) in times]
    load = context.get("load_avg", [])
    print(f"load average {', '.join(f'{x:.2f}' for x in load)}; "
          f"{'value of ' + counter if counter else 'time / ' + baseline}")
    print()
    print("| benchmark | " + " | ".join(args) + " |")
    print("|---|" + "---|" * len(args))
    for family in families:
        cells = []
        for arg in args:
            key = (family, arg)
            if key not in times:
                cells.append("")
            elif counter:
                value = counters[key].get(counter)
                cells.append("" if value is None else f"{value:.4g}")
            elif (baseline, arg) in times:
                cells.append(f"{times[key] / times[(baseline, arg)]:.2f}")
            else:
                cells.append("")
        print(f"| {family} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main(sys.argv)

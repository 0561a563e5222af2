#!/usr/bin/env python3
"""Prints the work-to-floor ratios of the default, the portable and the
browser's build, how the portable build's times compare with the default
build's and the browser's with the portable build's, from the JSON files of
interleaved benchmark runs (default-*.json, portable-*.json, browser-*.json).
Medians of the CPU time per iteration over all repetitions of all rounds; the
browser's build has no CPU clock (Google Benchmark reports its wall time as
CPU time), so it is held to the portable build's wall time as well, which a
busy machine stretches alike."""
import glob
import json
import os
import statistics
import sys

# (label, work, floor, target ratio to the floor)
WORK = [
    ("pass + refresh_grid / copy grid", "pass_and_refresh_grid", "copy_grid_once", 10),
    ("draw_parts / write bitmap", "draw_parts_full_grid", "write_bitmap_once", 4),
    ("worst stroke / clear grid", "worst_stroke", "clear_grid_once", 20),
]
BUILDS = ["default", "portable", "browser"]
# (build, the build it is held to, target ratio of their times, which time)
AGAINST = [
    ("portable", "default", 2, "cpu_time"),
    ("browser", "portable", 2, "cpu_time"),
    ("browser", "portable", 2, "real_time"),
]


def medians(folder, build, time="cpu_time"):
    times = {}
    for path in glob.glob(os.path.join(folder, build + "-*.json")):
        with open(path) as f:
            for run in json.load(f)["benchmarks"]:
                if run.get("run_type") == "iteration":
                    times.setdefault(run["run_name"], []).append(run[time])
    return {name: statistics.median(t) for name, t in times.items()}


def main(folder):
    found = {build: medians(folder, build) for build in BUILDS}
    print("\nWork-to-floor ratios (median CPU time per iteration, microseconds):")
    for label, work, floor, target in WORK:
        for build in BUILDS:
            m = found[build]
            if work in m and floor in m:
                print(f"  {build:8} {label:34} {m[work] / m[floor]:6.2f} x  (target {target:2} x;"
                      f" {m[work] / 1000:8.2f} / {m[floor] / 1000:6.2f})")
    for build, base, target, time in AGAINST:
        print(f"\n{build.capitalize()} build against the {base} build ({time}):")
        b_times, w_times = medians(folder, base, time), medians(folder, build, time)
        for label, work, _, _ in WORK:
            b, w = b_times.get(work), w_times.get(work)
            if b and w:
                print(f"  {work:34} {w / b:6.2f} x  (target {target} x;"
                      f" {w / 1000:8.2f} / {b / 1000:8.2f})")


if __name__ == "__main__":
    main(sys.argv[1])

#!/usr/bin/python3
"""Draws decode throughput against input size from benchmarks/run's results.

    benchmarks/plot.py [build/bench/results.json] [docs/decode-throughput.png]

Needs matplotlib (Debian: python3-matplotlib, hence the system python3).
"""

import json
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build/bench/results.json")
target = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "docs/decode-throughput.png")

with open(source) as f:
    results = json.load(f)


def series(name):
    points = sorted((int(size), rate) for size, rate in results[name].items())
    return [size for size, _ in points], [rate / 1e6 for _, rate in points]


def size_label(size):
    for unit, scale in (("GiB", 1 << 30), ("MiB", 1 << 20), ("KiB", 1 << 10)):
        if size >= scale:
            return "%d %s" % (size // scale, unit)
    return "%d B" % size


fig, ax = plt.subplots(figsize=(8, 4.5), dpi=100)
for name, label, style in (
    ("decode_bytes", "DecodeBytes, memory to memory", "o:"),
    ("decode_file", "DecodeFile, file to file (tmpfs)", "s-"),
    ("block_copy", "1 MiB block copy, page-aligned buffer (tmpfs)", "^--"),
):
    sizes, rates = series(name)
    ax.plot(sizes, rates, style, label=label)
# The goal's contenders, whole programs timed by their CPU use (best run).
goal = 512 * (1 << 20)
seconds = results["goal_seconds"]
ax.plot([goal], [goal / seconds["decode"] / 1e6], "D", color="black", label="jovloader, 512 MiB")
ax.plot([goal], [goal / seconds["dd"] / 1e6], "x", color="black", markersize=9,
        label="dd bs=1M + rm, 512 MiB")
ax.axhline(goal / seconds["tr"] / 1e6, color="grey", linewidth=0.8)
ax.annotate("tr, 512 MiB", (4096, goal / seconds["tr"] / 1e6), textcoords="offset points",
            xytext=(0, 4), fontsize=8, color="grey")
ax.set_xscale("log", base=2)
ax.set_yscale("log")
ticks = sorted({int(s) for n in ("decode_file", "decode_bytes") for s in results[n]})
ax.set_xticks(ticks)
ax.set_xticklabels([size_label(t) for t in ticks], rotation=30, fontsize=8)
ax.set_xlabel("input size")
ax.set_ylabel("MB/s (curves: median of %d runs)" % results["repetitions"])
ax.set_title("Decode throughput by input size\n%s" % results["machine"], fontsize=10)
ax.grid(True, which="both", linewidth=0.3)
ax.legend(fontsize=8)
fig.tight_layout()
fig.savefig(target)
print(target)

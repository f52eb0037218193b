#!/usr/bin/python3
"""Draws decode throughput against input size from benchmarks/run's results.

    benchmarks/plot.py [build/bench/results.json] [docs/decode-throughput.png]

Needs matplotlib (Debian: python3-matplotlib, hence the system python3).
"""

import json
import os
import statistics
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build/bench/results.json")
target = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "docs/decode-throughput.png")
with open(source) as f:
    results = json.load(f)


def size_label(size):
    unit, scale = next((u, s) for u, s in (("GiB", 1 << 30), ("MiB", 1 << 20), ("KiB", 1 << 10)) if size >= s)
    return "%d %s" % (size // scale, unit)


fig, ax = plt.subplots(figsize=(8, 4.5), dpi=100)
for name, label, style in (("BM_DecodeBytes", "DecodeBytes, memory to memory", "o:"),
                           ("BM_DecodeFile", "DecodeFile, file to file (tmpfs)", "s-"),
                           ("BM_BlockCopy", "1 MiB block copy, page-aligned buffer (tmpfs)", "^--")):
    points = sorted((int(size), rate / 1e6) for size, rate in results["curves"][name].items())
    ax.plot(*zip(*points), style, label=label)
# The decode goal's whole programs at 512 MiB, by their median CPU time.
size = 512 << 20
for key, style, label in (("program", "D", "jovloader"), ("idle_dd", "x", "sleep 2; dd bs=1M; rm"),
                          ("dd", "+", "dd bs=1M; rm, no idle before it")):
    ax.plot([size], [size / statistics.median(results["native"][key]) / 1e6], style, color="black",
            markersize=9, label=label + ", 512 MiB, CPU time")
ticks = sorted({int(s) for curve in results["curves"].values() for s in curve})
ax.set_xscale("log", base=2)
ax.set_yscale("log")
ax.set_xticks(ticks)
ax.set_xticklabels([size_label(t) for t in ticks], rotation=30, fontsize=8)
ax.set_xlabel("input size")
ax.set_ylabel("MB/s (median of %d rounds)" % results["rounds"])
ax.set_title("Decode throughput by input size\n%s" % results["machine"], fontsize=10)
ax.grid(True, which="both", linewidth=0.3)
ax.legend(fontsize=8)
fig.tight_layout()
fig.savefig(target)
print(target)

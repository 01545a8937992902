#!/usr/bin/env python3
"""Compares two callgrind profiles of one listing each, the library's and its
baseline's: instructions per item of both, and the functions whose exclusive
instructions differ most, which make up the library's own share.

Usage: profile.py N library.out baseline.out
"""
import collections
import re
import subprocess
import sys

n, library, baseline = int(sys.argv[1]), sys.argv[2], sys.argv[3]
LINE = re.compile(r"\s*([\d,]+)\s+(?:\([ \d.]+%\)\s+)?(.*)$")


def exclusive(path):
    """Total instructions and {function: exclusive instructions}."""
    text = subprocess.run(["callgrind_annotate", "--threshold=100", "--auto=no", path],
                          capture_output=True, text=True, check=True).stdout
    total, by_function = 0, collections.Counter()
    for line in text.splitlines():
        m = LINE.match(line)
        if not m:
            continue
        count, rest = int(m.group(1).replace(",", "")), m.group(2)
        if "PROGRAM TOTALS" in rest:
            total = count
        elif ":" in rest:
            name = rest.split(":", 1)[1]
            name = re.sub(r" \[[^\]]*\]$", "", name)  # the object file
            name = re.sub(r"\(.*$", "", name) if not name.startswith("(") else name
            by_function[name] += count
    return total, by_function


lib_total, lib = exclusive(library)
base_total, base = exclusive(baseline)
own = lib_total - base_total
print(f"instructions per item: library {lib_total / n:,.0f}, baseline {base_total / n:,.0f}, "
      f"own {own / n:,.0f} ({own / lib_total:.0%} of the library's)")
print("largest shares of the library's own instructions (library minus baseline, per item):")
diff = {f: lib[f] - base[f] for f in set(lib) | set(base)}
for name, count in sorted(diff.items(), key=lambda kv: -abs(kv[1]))[:12]:
    print(f"  {count / n:8,.0f}  {count / own:6.1%}  {name[:100]}")

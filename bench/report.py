#!/usr/bin/env python3
"""Turns the benchmark results into docs/PERFORMANCE.md and the data of its plot.

Input: a directory of Google Benchmark JSON files (one per program, run with
repetitions so that medians exist), optionally wine.txt from the Windows
benchmark, and machine.txt describing the machine. Listing benchmarks come in
pairs, BM_list_<area>/N and BM_list_<area>_baseline/N; toggles likewise as
BM_toggle_<area>/N.
"""
import json
import pathlib
import re
import sys

results, out_md, out_dat, notes = map(pathlib.Path, sys.argv[1:5])

NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load():
    runs = {}
    for path in sorted(results.glob("*.json")):
        data = json.loads(path.read_text())
        for b in data["benchmarks"]:
            if b.get("aggregate_name", "median") != "median":
                continue
            name = b.get("run_name", b["name"])
            b["ns"] = b["cpu_time"] * NS[b["time_unit"]]
            runs[name] = b
    return runs


def split(name):
    m = re.match(r"^(BM_\w+?)/(\d+)$", name)
    return (m.group(1), int(m.group(2))) if m else (name, None)


def fmt(x, digits=1):
    return f"{x:,.{digits}f}"


def pairs(runs, prefix):
    """{area: {n: (bench, baseline)}} for BM_<prefix>_<area>[/_baseline]."""
    found = {}
    for name, b in runs.items():
        base, n = split(name)
        if n is None or not base.startswith(prefix) or base.endswith("_baseline"):
            continue
        bl = runs.get(f"{base}_baseline/{n}")
        if bl is None:
            continue
        found.setdefault(base[len(prefix):], {})[n] = (b, bl)
    return found


def listing_table(lines, found, heading, kind):
    lines += [heading, "",
              "| benchmark | N | library ns/item | baseline ns/item | ratio | own cost ns/item |",
              "|---|---:|---:|---:|---:|---:|"]
    growth = []
    for area in sorted(found):
        by_n = found[area]
        for n in sorted(by_n):
            b, bl = by_n[n]
            items = b.get("items", n)  # the whole listing holds N items of each provider
            per, base = b["ns"] / items, bl["ns"] / items
            lines.append(f"| {area} | {items:,.0f} | {fmt(per)} | {fmt(base)} | {b['ns'] / bl['ns']:.2f} | "
                         f"{fmt(per - base)} |")
        if 1000 in by_n and 10000 in by_n:
            g = lambda which: (by_n[10000][which]["ns"] / by_n[10000][0].get("items", 10000)) / (
                by_n[1000][which]["ns"] / by_n[1000][0].get("items", 1000))
            growth.append((f"{kind} {area}", g(0), g(1)))
    lines.append("")
    return growth


def memory_table(lines, found):
    lines += ["## Memory of the listings", "",
              "| benchmark | N | JSON bytes/item | allocs/item | own allocs/item | peak heap / JSON | own peak / JSON "
              "| floor / JSON | peak / floor | text block / JSON |",
              "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for area in sorted(found):
        for n in sorted(found[area]):
            b, bl = found[area][n]
            json_bytes = b.get("json_bytes", 0)
            if "allocs_per_item" not in b or "allocs_per_item" not in bl or not json_bytes:
                continue
            items = b.get("items", n)
            own_peak = b["peak_bytes"] - bl["peak_bytes"]
            lines.append(f"| {area} | {items:,.0f} | {json_bytes / items:.0f} | {b['allocs_per_item']:.2f} | "
                         f"{b['allocs_per_item'] - bl['allocs_per_item']:.2f} | {b['peak_per_json']:.2f} | "
                         f"{own_peak / json_bytes:.2f} | {b['floor_bytes'] / json_bytes:.2f} | "
                         f"{b['peak_bytes'] / b['floor_bytes']:.2f} | {b['held_bytes'] / json_bytes:.2f} |")
    lines.append("")


def main():
    runs = load()
    machine = (results / "machine.txt").read_text().strip() if (results / "machine.txt").exists() else "unknown"
    lines = ["# Performance", "",
             "Figures written by `scripts/bench` (run it again to measure anew, a few minutes; "
             "`scripts/bench --smoke` only checks that every benchmark runs); do not edit by hand. "
             "Times are medians of the "
             "repetitions, CPU time per iteration, divided by the number of items (N; 3 N for the "
             "whole listing, which holds N run values, N shortcuts and N tasks).", "",
             "## Machine", "", machine, "",
             "## What is measured", "",
             "- *library*: the provider's listing (or toggle) through the library over the in-memory machine.",
             "- *baseline*: a loop in the same process that makes exactly the platform calls the provider "
             "makes for the same items, and nothing else.",
             "- *ratio*: library / baseline; *own cost*: library minus baseline, per item: hashing, "
             "formatting, the heap copies of converted texts and the JSON document (the conversions "
             "themselves are platform calls, made by the baseline too).",
             "- *allocs/item*: heap allocations of one listing divided by N (every malloc-family call of "
             "the process is counted, the in-memory machine's own included); *own allocs/item*: the same "
             "minus the baseline's, so the library's alone.",
             "- *peak heap / JSON*: the highest live heap during one listing, above what was live before "
             "it, divided by the length of the returned text; *own peak*: the same after taking off the "
             "baseline's peak (the in-memory machine's search snapshots and handles).",
             "- *floor*: the least any listing built on the document the library is designed around can "
             "peak at, read back from the text: 24 bytes for the root, for each object and for each key "
             "and each member value, a copy of every string value with its terminator, and the text "
             "itself, all alive at once while the text is written. *peak / floor* is how far above "
             "that the listing goes, the in-memory machine's own blocks included (the document's pools "
             "keep some room spare, and the writer's buffer is larger than the text).",
             "- *text block / JSON*: the heap block the returned text is held in, over its length: what a "
             "host keeps for as long as it holds the listing.",
             ""]
    found = pairs(runs, "BM_list_")
    growth = listing_table(lines, found, "## Listings", "listing")
    toggles = pairs(runs, "BM_toggle_")
    growth_t = listing_table(lines, toggles, "## Toggles (the match is the last item; one iteration switches it off and on again, divided by N)", "toggle") if toggles else []
    memory_table(lines, found)

    lines += ["## Linear growth", "", "Time per item at N = 10 000 over time per item at N = 1 000 (goal: at most 1.20).", "",
              "| benchmark | library | baseline |", "|---|---:|---:|"]
    for area, g, gb in growth + growth_t:
        lines.append(f"| {area} | {g:.2f} | {gb:.2f} |")
    w1, w2 = runs.get("BM_writer/1000"), runs.get("BM_writer/10000")
    if w1 and w2:
        lines.append(f"| writer alone | {(w2['ns'] / 10000) / (w1['ns'] / 1000):.2f} | |")
    lines.append("")

    frame = [(n, b) for n, b in runs.items() if split(n)[1] is None or n.startswith("BM_writer")]
    lines += ["## Building blocks", "",
              "The writer appends N run-key-shaped entries to a document and writes it (no platform work).", "",
              "| benchmark | ns per call | ns per item | allocs/item | peak heap / JSON | floor / JSON |",
              "|---|---:|---:|---:|---:|---:|"]
    for name, b in sorted(frame, key=lambda nb: (split(nb[0])[0], split(nb[0])[1] or 0)):
        if name.startswith(("BM_list_", "BM_toggle_")):
            continue
        n = split(name)[1]
        per = fmt(b["ns"] / n) if n else ""
        extra = (f"{b['allocs_per_item']:.3f} | {b['peak_per_json']:.2f} | {b['floor_bytes'] / b['json_bytes']:.2f}"
                 if b.get("json_bytes") else " |  | ")
        lines.append(f"| {name} | {fmt(b['ns'])} | {per} | {extra} |")
    lines.append("")

    wine = results / "wine.txt"
    if wine.exists():
        lines += ["## Under Wine", "", wine.read_text().strip(), ""]
    else:
        lines += ["## Under Wine", "", "Not run: the Windows benchmark did not build or Wine is missing.", ""]

    lines += ["![time per item against N](performance.png)", ""]
    if notes.exists():
        lines += [notes.read_text().strip(), ""]
    out_md.write_text("\n".join(lines))

    out_dat.with_suffix(".titles").write_text(" ".join(sorted(found)) + "\n")
    with out_dat.open("w") as f:
        for area in sorted(found):
            for n in sorted(found[area]):
                b, bl = found[area][n]
                items = b.get("items", n)
                f.write(f"{items:.0f} {b['ns'] / items:.3f} {bl['ns'] / items:.3f}\n")
            f.write("\n\n")


main()

// Shared pieces of the benchmark programs: the sizes run, and the heap and
// per-item figures every listing benchmark reports.
#pragma once

#include <benchmark/benchmark.h>

#include <cstring>

#include "alloc_count.h"
#include "platform/mem/mem_machine.h"

// An empty machine that keeps no call log: a long run must neither grow
// the log nor pay for it.
inline void fresh_machine() {
    mem_reset();
    mem_record_calls(false);
}

// Listing sizes (the smoke run of scripts/bench keeps only the smallest).
inline void listing_sizes(benchmark::internal::Benchmark *b) {
    for (long n : {10L, 100L, 1000L, 10000L}) b->Arg(n);
}

// Runs `body` once outside the timing loop and reports, per item, the
// allocations it made; and the peak of live heap bytes against the size of
// the text it returned (peak_per_json is the memory goal's ratio).
template <class F>
void report_heap(benchmark::State &state, long items, F body) {
    alloc_mark_peak();
    alloc_snapshot before = alloc_now();
    char *text = body();
    alloc_snapshot after = alloc_now();
    size_t json = text ? strlen(text) : 0;
    size_t peak = after.peak_bytes - before.live_bytes;
    free(text);
    double n = items > 0 ? (double)items : 1.0;
    state.counters["items"] = (double)items;
    state.counters["allocs_per_item"] = (double)(after.allocations - before.allocations) / n;
    state.counters["peak_bytes"] = (double)peak;
    state.counters["json_bytes"] = (double)json;
    state.counters["peak_per_json"] = json ? (double)peak / (double)json : 0.0;
}

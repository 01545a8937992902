// Shared pieces of the benchmark programs: the sizes run, and the heap and
// per-item figures every listing benchmark reports.
#pragma once

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <yyjson.h>

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

// The least heap a listing built as the library builds it can peak at: its
// document alive beside the written text. The document holds a value for
// the root, for each object and for each key and member value (24 bytes
// each), and a copy of every string value with its terminator; the text
// is its length plus one. Read back from the text, so any listing has one.
inline size_t document_floor_bytes(const char *text) {
    size_t len = strlen(text);
    yyjson_doc *doc = yyjson_read(text, len, 0);
    size_t values = 1, copies = 0, i, n;
    yyjson_val *obj, *key, *val;
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, obj) {
        values++;
        yyjson_obj_iter it = yyjson_obj_iter_with(obj);
        while ((key = yyjson_obj_iter_next(&it))) {
            val = yyjson_obj_iter_get_val(key);
            values += 2;
            if (yyjson_is_str(val)) copies += yyjson_get_len(val) + 1;
        }
    }
    yyjson_doc_free(doc);
    return sizeof(yyjson_mut_doc) + values * sizeof(yyjson_mut_val) + copies + len + 1;
}

// Runs `body` once: a function of its own, so that a profiler can collect
// exactly this run (scripts/profile).
template <class F>
__attribute__((noinline)) char *measured_run(F body) {
    return body();
}

// Runs `body` once outside the timing loop and reports, per item, the
// allocations it made; the peak of live heap bytes against the size of the
// text it returned (peak_per_json is the memory goal's ratio) and against
// the document's floor; and the block the returned text is held in.
template <class F>
void report_heap(benchmark::State &state, long items, F body) {
    alloc_mark_peak();
    alloc_snapshot before = alloc_now();
    char *text = measured_run(body);
    alloc_snapshot after = alloc_now();
    size_t json = text ? strlen(text) : 0;
    size_t peak = after.peak_bytes - before.live_bytes;
    size_t held = text ? malloc_usable_size(text) : 0;
    size_t floor = text ? document_floor_bytes(text) : 0;
    free(text);
    double n = items > 0 ? (double)items : 1.0;
    state.counters["items"] = (double)items;
    state.counters["allocs_per_item"] = (double)(after.allocations - before.allocations) / n;
    state.counters["peak_bytes"] = (double)peak;
    state.counters["json_bytes"] = (double)json;
    state.counters["floor_bytes"] = (double)floor;
    state.counters["held_bytes"] = (double)held;
    state.counters["peak_per_json"] = json ? (double)peak / (double)json : 0.0;
}

#include <string>
#include <vector>

// The platform calls `work` makes on a machine prepared by `setup`, in order.
template <class S, class W>
std::vector<std::string> platform_calls_of(S setup, W work) {
    mem_reset();
    setup();
    work();
    std::vector<std::string> calls = mem_call_log();
    fresh_machine();
    return calls;
}

// A baseline is only a baseline if it makes the library's calls: compares
// the two call sequences and fails the benchmark at the first difference.
template <class S, class L, class B>
bool baseline_matches(benchmark::State &state, S setup, L library, B baseline) {
    std::vector<std::string> a = platform_calls_of(setup, library), b = platform_calls_of(setup, baseline);
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) i++;
    if (i == a.size() && i == b.size()) return true;
    std::string msg = "baseline differs from the library at platform call " + std::to_string(i) + ": library " +
                      (i < a.size() ? a[i] : "<end>") + ", baseline " + (i < b.size() ? b[i] : "<end>");
    state.SkipWithError(msg.c_str());
    return false;
}

// The scheduled-task provider over the in-memory Task Scheduler: listing N
// root-folder tasks with a logon trigger and one exec action, and switching
// the last of them off and on, each beside a baseline that makes the same
// COM, Task Scheduler and conversion calls.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "interface/entry_id.h"
#include "interface/listing.h"
#include "platform/com_policy.h"
#include "platform/mem/mem_tasks.h"
#include "platform/platform_com.h"
#include "platform/platform_convert.h"
#include "platform/platform_tasks.h"
#include "providers/item_details.h"
#include "providers/providers.h"
#include "support/bare_calls.h"
#include "support/bench_support.h"

namespace {

void bare_list_tasks() {
    bare_list_task_folder();
    bare_com_leave();
}

char *list_tasks() {
    listing list;
    listing_begin(&list);
    list.details = details_cache_new();  // as collect_entries makes it
    list_task_entries(&list);
    com_leave();  // as the listing does after its last provider
    details_cache_free(list.details);
    char *text = listing_finish(&list);
    return text;
}

void BM_list_task(benchmark::State &state) {
    long n = state.range(0);
    auto setup = [n] { fill_tasks(n); };
    if (!baseline_matches(state, setup, [] { free(list_tasks()); }, bare_list_tasks)) return;
    fresh_machine();
    fill_tasks(n);
    for (auto _ : state) free(list_tasks());
    report_heap(state, n, list_tasks);
}

void BM_list_task_baseline(benchmark::State &state) {
    long n = state.range(0);
    fresh_machine();
    fill_tasks(n);
    for (auto _ : state) bare_list_tasks();
    report_heap(state, n, [] {
        bare_list_tasks();
        return (char *)nullptr;
    });
}
BENCHMARK(BM_list_task)->Apply(listing_sizes);
BENCHMARK(BM_list_task_baseline)->Apply(listing_sizes);

// ---- toggle: the last task off, then on again ----

uint64_t last_task_key(long n) {
    std::string path = "\\Updater" + std::to_string(100000 + n - 1).substr(1);
    return path_hash(path.c_str());
}

void toggle_last(long n) {
    uint64_t key = last_task_key(n);
    if (!set_task_entry_enabled(key, 0) || !set_task_entry_enabled(key, 1)) abort();
}

void bare_switch_last(plat_variant_bool to) {
    bare_walk_root([to](plat_task task, int32_t i, int32_t count) {
        plat_bstr text = nullptr;
        plat_task_get_path(task, &text);
        bare_text(text);
        if (i != count) return;
        plat_variant_bool flag = 0;
        plat_task_get_enabled(task, &flag);
        plat_task_put_enabled(task, to);
    });
    bare_com_leave();
}

void bare_toggle_last() {
    bare_switch_last(PLAT_VARIANT_FALSE);
    bare_switch_last(PLAT_VARIANT_TRUE);
}

void BM_toggle_task(benchmark::State &state) {
    long n = state.range(0);
    auto setup = [n] { fill_tasks(n); };
    if (!baseline_matches(state, setup, [n] { toggle_last(n); }, bare_toggle_last)) return;
    fresh_machine();
    fill_tasks(n);
    for (auto _ : state) toggle_last(n);
    state.counters["items"] = (double)n;
}

void BM_toggle_task_baseline(benchmark::State &state) {
    long n = state.range(0);
    fresh_machine();
    fill_tasks(n);
    for (auto _ : state) bare_toggle_last();
    state.counters["items"] = (double)n;
}
BENCHMARK(BM_toggle_task)->Apply(listing_sizes);
BENCHMARK(BM_toggle_task_baseline)->Apply(listing_sizes);

}  // namespace

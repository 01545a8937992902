// The whole listing through the export: a machine holding N run values, N
// shortcuts and N tasks listed by quorvel_list, beside the three providers'
// bare calls one after the other and COM left once at the end.
#include <cstdlib>

#include "quorvel.h"
#include "support/bare_calls.h"
#include "support/bench_support.h"

namespace {

void fill_all(long n) {
    fill_run_key(n);
    fill_startup_folder(n);
    fill_tasks(n);
}

void bare_list_all() {
    bare_details_begin();
    bare_run_key_items();
    bare_policy_items();
    bare_startup_items();
    bare_task_items();
    bare_package_items();
    bare_com_leave();
}

void BM_list_all(benchmark::State &state) {
    long n = state.range(0);
    auto setup = [n] { fill_all(n); };
    if (!baseline_matches(state, setup, [] { quorvel_free_string(quorvel_list()); }, bare_list_all)) return;
    fresh_machine();
    fill_all(n);
    for (auto _ : state) quorvel_free_string(quorvel_list());
    report_heap(state, 3 * n, quorvel_list);
}

void BM_list_all_baseline(benchmark::State &state) {
    long n = state.range(0);
    fresh_machine();
    fill_all(n);
    for (auto _ : state) bare_list_all();
    report_heap(state, 3 * n, [] {
        bare_list_all();
        return (char *)nullptr;
    });
}
BENCHMARK(BM_list_all)->Apply(listing_sizes);
BENCHMARK(BM_list_all_baseline)->Apply(listing_sizes);

}  // namespace

// The run-key provider over the in-memory registry: listing N values of the
// current user's Run key, and switching the last of them off and on again,
// each beside a baseline that makes the same registry and code-page calls.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interface/entry_id.h"
#include "interface/listing.h"
#include "platform/mem/mem_registry.h"
#include "platform/platform_convert.h"
#include "platform/platform_registry.h"
#include "providers/item_details.h"
#include "providers/providers.h"
#include "providers/run_keys.h"
#include "support/bare_calls.h"
#include "support/bench_support.h"

namespace {

const char *const run_subkey = bench_run_subkey;
const char approved_subkey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

// ---- listing ----

char *list_run_keys() {
    listing list;
    listing_begin(&list);
    list.details = details_cache_new();  // as collect_entries makes it
    list_run_entries(&list);
    details_cache_free(list.details);
    char *text = listing_finish(&list);
    return text;
}

void BM_list_runkey(benchmark::State &state) {
    long n = state.range(0);
    auto setup = [n] { fill_run_key(n); };
    if (!baseline_matches(state, setup, [] { free(list_run_keys()); }, bare_list_run_keys)) return;
    fresh_machine();
    fill_run_key(n);
    for (auto _ : state) free(list_run_keys());
    report_heap(state, n, list_run_keys);
}

void BM_list_runkey_baseline(benchmark::State &state) {
    long n = state.range(0);
    fresh_machine();
    fill_run_key(n);
    for (auto _ : state) bare_list_run_keys();
    report_heap(state, n, [] {
        bare_list_run_keys();
        return (char *)nullptr;
    });
}

void run_sizes(benchmark::internal::Benchmark *b) {
    listing_sizes(b);
    b->Arg(100000);  // one key holding 100 000 values
}
BENCHMARK(BM_list_runkey)->Apply(run_sizes);
BENCHMARK(BM_list_runkey_baseline)->Apply(run_sizes);

// ---- toggle: switch the last value off, then on again ----

uint64_t hash_of(const char *name) { return run_entry_hash(1, run_subkey, name); }

void toggle_last(long n) {
    char name[32], off[48];
    value_name(name, sizeof name, n - 1);
    snprintf(off, sizeof off, "%sdisabled", name);
    if (!set_run_entry_enabled(hash_of(name), 0) || !set_run_entry_enabled(hash_of(off), 1)) abort();
}

#define NATIVE_VIEW PLAT_KEY_WOW64_64KEY
#define WRITE_ACCESS (PLAT_KEY_READ | PLAT_KEY_SET_VALUE | NATIVE_VIEW)

void bare_wide_name(const char *name, char16_t *out) {
    for (size_t i = 0;; i++)
        if (!(out[i] = (unsigned char)name[i])) break;
}

// Finds the value by enumerating names up to the last one, each hashed
// by its 8-bit form (found, and converted back).
void bare_find(long n) {
    plat_hkey key = nullptr;
    plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, run_subkey, 0, PLAT_KEY_READ | NATIVE_VIEW, &key);
    static char16_t name[RUN_NAME_UNITS];
    for (uint32_t index = 0; index < (uint32_t)n; index++) {
        uint32_t name_len = RUN_NAME_UNITS;
        plat_reg_enum_value_w(key, index, name, &name_len, nullptr, nullptr, nullptr);
        char ansi[64];
        char16_t back[64];
        int used = 0;
        int bytes = plat_utf16_to_ansi(name, -1, nullptr, 0, &used);
        plat_utf16_to_ansi(name, -1, ansi, bytes, &used);
        int units = plat_ansi_to_utf16(ansi, -1, nullptr, 0);
        plat_ansi_to_utf16(ansi, -1, back, units);
    }
    plat_reg_close_key(key);
}

// The copy under the new name and the delete of the old one.
void bare_rename(const char16_t *from, const char16_t *to) {
    plat_hkey key = nullptr;
    plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, run_subkey, 0, WRITE_ACCESS, &key);
    uint32_t type = 0, size = 0;
    plat_reg_query_value_ex_w(key, from, &type, nullptr, &size);
    plat_reg_query_value_ex_w(key, to, nullptr, nullptr, nullptr);
    static uint8_t data[1024];
    plat_reg_query_value_ex_w(key, from, &type, data, &size);
    plat_reg_set_value_ex_w(key, to, type, data, size);
    plat_reg_delete_value_w(key, from);
    plat_reg_query_value_ex_w(key, to, nullptr, nullptr, nullptr);  // still there, not taken for a twin
    plat_reg_close_key(key);
}

void bare_switch(long n, const char *from8, const char *to8, bool off) {
    char16_t from[64], to[64];
    bare_wide_name(from8, from);
    bare_wide_name(to8, to);
    bare_find(n);
    plat_hkey key = nullptr;
    plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, run_subkey, 0, WRITE_ACCESS, &key);
    plat_reg_query_value_ex_w(key, to, nullptr, nullptr, nullptr);
    bare_rename(from, to);
    plat_hkey approved = nullptr;
    if (off) {
        // The record that keeps the renamed value from starting.
        plat_reg_create_key_ex_a(PLAT_HKEY_CURRENT_USER, approved_subkey, WRITE_ACCESS, &approved);
        uint8_t record[12] = {3};
        uint64_t now = plat_get_system_time_as_file_time();
        memcpy(record + 4, &now, 8);
        plat_reg_set_value_ex_w(approved, to, PLAT_REG_BINARY, record, sizeof record);
    } else {
        plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, approved_subkey, 0, WRITE_ACCESS, &approved);
        uint32_t type = 0, size = 0;
        plat_reg_query_value_ex_w(approved, to, &type, nullptr, &size);
        plat_reg_delete_value_w(approved, from);
    }
    plat_reg_close_key(approved);
    plat_reg_close_key(key);
}

void bare_toggle_last(long n) {
    char name[32], off[48];
    value_name(name, sizeof name, n - 1);
    snprintf(off, sizeof off, "%sdisabled", name);
    bare_switch(n, name, off, true);
    bare_switch(n, off, name, false);
}

void BM_toggle_runkey(benchmark::State &state) {
    long n = state.range(0);
    auto setup = [n] { fill_run_key(n); };
    if (!baseline_matches(state, setup, [n] { toggle_last(n); }, [n] { bare_toggle_last(n); })) return;
    fresh_machine();
    fill_run_key(n);
    for (auto _ : state) toggle_last(n);
    state.counters["items"] = (double)n;
}

void BM_toggle_runkey_baseline(benchmark::State &state) {
    long n = state.range(0);
    fresh_machine();
    fill_run_key(n);
    for (auto _ : state) bare_toggle_last(n);
    state.counters["items"] = (double)n;
}
BENCHMARK(BM_toggle_runkey)->Apply(listing_sizes);
BENCHMARK(BM_toggle_runkey_baseline)->Apply(listing_sizes);

}  // namespace

// The scheduled-task provider over the in-memory Task Scheduler: listing N
// root-folder tasks with a logon trigger and one exec action, and switching
// the last of them off and on, each beside a baseline that makes the same
// COM, Task Scheduler and conversion calls.
#include <yyjson.h>

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
#include "providers/providers.h"
#include "support/bench_support.h"

namespace {

std::u16string wide_ascii(const std::string &s) { return std::u16string(s.begin(), s.end()); }

void fill_tasks(long n) {
    for (long i = 0; i < n; i++) {
        mem_task_spec spec;
        std::string name = "Updater" + std::to_string(100000 + i).substr(1);
        spec.name = wide_ascii(name);
        spec.triggers = {PLAT_TASK_TRIGGER_LOGON};
        spec.actions = {{PLAT_TASK_ACTION_EXEC, wide_ascii("C:\\Program Files\\Vendor\\" + name + "\\update.exe"),
                         u"/silent /check"}};
        mem_task_add(spec);
    }
}

char *list_tasks() {
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    listing list = {doc, yyjson_mut_arr(doc)};
    yyjson_mut_doc_set_root(doc, list.root);
    list_task_entries(&list);
    com_leave();  // as the listing does after its last provider
    char *text = yyjson_mut_write(doc, YYJSON_WRITE_NOFLAG, nullptr);
    yyjson_mut_doc_free(doc);
    return text;
}

// ---- the bare calls ----

// A BSTR read as the provider reads it: converted, then freed.
void bare_text(plat_bstr text) {
    static char utf8[8192];
    if (!text) return;
    int bytes = plat_utf16_to_utf8(text, -1, nullptr, 0);
    plat_utf16_to_utf8(text, -1, utf8, bytes);
    plat_sys_free_string(text);
}

bool com_entered = false;

plat_task_service bare_connect() {
    if (!com_entered) com_entered = plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED) == PLAT_S_OK;
    plat_task_service service = nullptr;
    plat_co_create_task_service(PLAT_CLSCTX_ALL, &service);
    plat_variant none[4];
    for (plat_variant &v : none) plat_variant_init(&v);
    plat_task_service_connect(service, &none[0], &none[1], &none[2], &none[3]);
    return service;
}

plat_task bare_fetch(plat_task_collection tasks, int32_t index) {
    plat_variant at;
    plat_variant_init(&at);
    at.vt = PLAT_VT_I4;
    at.int_value = index;
    plat_task task = nullptr;
    plat_task_collection_get_item(tasks, &at, &task);
    return task;
}

// One listed task: name, path, flag, its one logon trigger, then its one exec action.
void bare_list_task(plat_task task) {
    plat_bstr text = nullptr;
    plat_task_get_name(task, &text);
    bare_text(text);
    text = nullptr;
    plat_task_get_path(task, &text);
    bare_text(text);
    plat_variant_bool flag = 0;
    plat_task_get_enabled(task, &flag);

    plat_task_definition definition = nullptr;
    plat_task_get_definition(task, &definition);
    plat_trigger_collection triggers = nullptr;
    plat_task_definition_get_triggers(definition, &triggers);
    int32_t count = 0, type = 0;
    plat_trigger_collection_get_count(triggers, &count);
    plat_trigger trigger = nullptr;
    plat_trigger_collection_get_item(triggers, 1, &trigger);
    plat_trigger_get_type(trigger, &type);
    plat_trigger_release(trigger);
    plat_trigger_collection_release(triggers);
    plat_task_definition_release(definition);

    plat_task_get_definition(task, &definition);
    plat_action_collection actions = nullptr;
    plat_task_definition_get_actions(definition, &actions);
    plat_action_collection_get_count(actions, &count);
    plat_action action = nullptr;
    plat_action_collection_get_item(actions, 1, &action);
    plat_action_get_type(action, &type);
    plat_exec_action exec = nullptr;
    plat_action_query_exec(action, &exec);
    text = nullptr;
    plat_exec_action_get_path(exec, &text);
    bare_text(text);
    text = nullptr;
    plat_exec_action_get_arguments(exec, &text);
    bare_text(text);
    plat_exec_action_release(exec);
    plat_action_release(action);
    plat_action_collection_release(actions);
    plat_task_definition_release(definition);
}

// The walk shared by the bare listing and the bare toggle.
template <class F>
void bare_walk_root(F each_task) {
    plat_task_service service = bare_connect();
    plat_task_folder folder = nullptr;
    plat_task_service_get_folder(service, nullptr, &folder);
    plat_task_collection tasks = nullptr;
    plat_task_folder_get_tasks(folder, 0, &tasks);
    int32_t count = 0;
    plat_task_collection_get_count(tasks, &count);
    for (int32_t i = 1; i <= count; i++) {
        plat_task task = bare_fetch(tasks, i);
        each_task(task, i, count);
        plat_task_release(task);
    }
    plat_task_collection_release(tasks);
    plat_task_folder_release(folder);
    plat_task_service_release(service);
    if (com_entered) plat_co_uninitialize();
    com_entered = false;
}

void bare_list_tasks() {
    bare_walk_root([](plat_task task, int32_t, int32_t) { bare_list_task(task); });
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

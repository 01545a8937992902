// The baselines' platform calls: for each provider, a loop that makes
// exactly the platform calls its listing makes for the same items, into
// fixed buffers, and nothing else; and the machines they run on. COM is
// entered at the first use and left by bare_com_leave, as the listing
// enters it in a provider and leaves it once at its end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform_tasks.h"

extern const char bench_run_subkey[];   // the current user's Run key
extern const char bench_user_folder[];  // the user's Startup folder

void bare_com_enter();
void bare_com_leave();
// The converter's two calls (size, then text) into a buffer reused by the next call.
const char *bare_utf8(const char16_t *text);
const char16_t *bare_wide(const char *text);

// Each bare_list_* is a listing of its own, which asks for the folders that
// item details need once; bare_*_items lists within the current listing,
// after bare_details_begin started it.
void bare_details_begin();

// Run keys: N string values "Tool00000".. in the current user's Run key,
// each starting a program with a version resource (as the other kinds do).
void value_name(char *out, size_t size, long i);
void fill_run_key(long n);
void bare_list_run_keys();
void bare_run_key_items();
// Policy Run values: the benchmark machines hold none, so both keys are
// only looked for.
void bare_policy_items();
// Packaged apps: the benchmark machines register none, so the packages'
// key is only looked for.
void bare_package_items();

// Startup folders: N shortcuts "App00000.lnk".. in the user's folder.
// A search lists "." and ".." first; the walk passes over directories.
extern char bare_folders[2][2048];
void fill_startup_folder(long n);
void bare_find_folders();
void bare_list_startup_folders();
void bare_startup_items();

// Scheduled tasks: N root tasks "Updater00000".. with a logon trigger and an exec action.
void fill_tasks(long n);
void bare_text(plat_bstr text);
plat_task_service bare_connect();
plat_task bare_fetch(plat_task_collection tasks, int32_t index);
void bare_list_task_folder();
void bare_task_items();

// The walk shared by the bare listing and the bare toggle: the root's
// tasks, hidden ones included, then its (no) subfolders.
template <class F>
void bare_walk_root(F each_task) {
    plat_task_service service = bare_connect();
    plat_task_folder folder = nullptr;
    plat_task_service_get_folder(service, nullptr, &folder);
    plat_task_collection tasks = nullptr;
    plat_task_folder_get_tasks(folder, PLAT_TASK_ENUM_HIDDEN, &tasks);
    int32_t count = 0;
    plat_task_collection_get_count(tasks, &count);
    for (int32_t i = 1; i <= count; i++) {
        plat_task task = bare_fetch(tasks, i);
        each_task(task, i, count);
        plat_task_release(task);
    }
    plat_task_collection_release(tasks);
    plat_folder_collection folders = nullptr;
    plat_task_folder_get_folders(folder, 0, &folders);
    plat_folder_collection_get_count(folders, &count);
    plat_folder_collection_release(folders);
    plat_task_folder_release(folder);
    plat_task_service_release(service);
}


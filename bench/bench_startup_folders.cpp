// The startup-folder provider over the in-memory file tree and Shell Link:
// listing N shortcuts of the current user's Startup folder, beside a
// baseline that makes the same shell, search, conversion and COM calls.

#include <cstdio>
#include <cstdlib>

#include "interface/entry_id.h"
#include "interface/listing.h"
#include "platform/com_policy.h"
#include "platform/mem/mem_files.h"
#include "platform/platform_com.h"
#include "platform/platform_convert.h"
#include "platform/platform_files.h"
#include "platform/platform_shell_link.h"
#include "platform/text.h"
#include "providers/item_details.h"
#include "providers/providers.h"
#include "platform/platform_registry.h"
#include "support/bare_calls.h"
#include "support/bench_support.h"

namespace {

const char *const user_folder = bench_user_folder;

void bare_list_startup() {
    bare_list_startup_folders();
    bare_com_leave();
}

char *list_startup() {
    listing list;
    listing_begin(&list);
    list.details = details_cache_new();  // as collect_entries makes it
    list_startup_entries(&list);
    com_leave();  // as the listing does after its last provider
    details_cache_free(list.details);
    char *text = listing_finish(&list);
    return text;
}

void BM_list_startup(benchmark::State &state) {
    long n = state.range(0);
    auto setup = [n] { fill_startup_folder(n); };
    if (!baseline_matches(state, setup, [] { free(list_startup()); }, bare_list_startup)) return;
    fresh_machine();
    fill_startup_folder(n);
    for (auto _ : state) free(list_startup());
    report_heap(state, n, list_startup);
}

void BM_list_startup_baseline(benchmark::State &state) {
    long n = state.range(0);
    fresh_machine();
    fill_startup_folder(n);
    for (auto _ : state) bare_list_startup();
    report_heap(state, n, [] {
        bare_list_startup();
        return (char *)nullptr;
    });
}
BENCHMARK(BM_list_startup)->Apply(listing_sizes);
BENCHMARK(BM_list_startup_baseline)->Apply(listing_sizes);

// ---- toggle: the last shortcut off (into "disabled"), then on again ----

uint64_t shortcut_key(long i, bool disabled) {
    char path[512];
    snprintf(path, sizeof path, "%s\\%sApp%05ld.lnk", user_folder, disabled ? "disabled\\" : "", i);
    return path_hash(path);
}

void toggle_last(long n) {
    if (!set_startup_entry_enabled(shortcut_key(n - 1, false), 0) ||
        !set_startup_entry_enabled(shortcut_key(n - 1, true), 1))
        abort();
}

// The search for the entry: the user's folder is walked until `n` files
// of the main pass (and, for a disabled entry, the one in "disabled") have
// been converted, directories passed over; the walk stops at the match.
void bare_find_entry(long n, bool disabled) {
    bare_find_folders();
    static char16_t folder[2048];
    const char16_t *w = bare_wide(bare_folders[0]);
    size_t i = 0;
    for (; w[i]; i++) folder[i] = w[i];
    folder[i] = 0;
    char16_t pattern[2048], full[2048];
    plat_find_data data = {};
    format_wide(pattern, u"%s\\*", folder);
    plat_find search = plat_find_first_file(pattern, &data);
    long seen = 0;
    do {
        if (data.attributes & PLAT_FILE_ATTRIBUTE_DIRECTORY) continue;  // ".", "..", "disabled"
        format_wide(full, u"%s\\%s", folder, data.file_name);
        bare_utf8(full);
        if (!disabled && ++seen == n) break;
    } while (plat_find_next_file(search, &data));
    plat_find_close(search);
    if (!disabled) return;
    format_wide(pattern, u"%s\\disabled", folder);
    plat_get_file_attributes(pattern);  // no link
    format_wide(pattern, u"%s\\disabled\\*", folder);
    search = plat_find_first_file(pattern, &data);
    while (data.attributes & PLAT_FILE_ATTRIBUTE_DIRECTORY) plat_find_next_file(search, &data);
    format_wide(full, u"%s\\disabled\\%s", folder, data.file_name);
    bare_utf8(full);
    plat_find_close(search);
}

void bare_exists(const char *path) { plat_get_file_attributes(bare_wide(path)); }

void copy_wide(const char16_t *w, char16_t *out) {
    size_t i = 0;
    for (; w[i]; i++) out[i] = w[i];
    out[i] = 0;
}

// Both paths converted, then (switching on) the record's name, then the move.
void bare_move(const char *from, const char *to, const char *record_name = nullptr) {
    static char16_t wide_from[2048], wide_to[2048];
    copy_wide(bare_wide(from), wide_from);
    copy_wide(bare_wide(to), wide_to);
    if (record_name) bare_wide(record_name);
    plat_move_file(wide_from, wide_to);
}

const uint32_t share_no_delete = PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE;
const uint32_t no_follow = PLAT_FILE_FLAG_OPEN_REPARSE_POINT | PLAT_FILE_FLAG_BACKUP_SEMANTICS;

// A folder held for the switch: opened, then its path's attributes read
// (an absent one: the open's error read instead).
plat_file bare_hold(const char *path) {
    static char16_t wide[2048];
    copy_wide(bare_wide(path), wide);
    plat_file file = plat_create_file(wide, PLAT_FILE_LIST_DIRECTORY, share_no_delete, PLAT_OPEN_EXISTING, no_follow);
    if (!file) {
        plat_get_last_error();
        return nullptr;
    }
    plat_get_file_attributes(wide);
    return file;
}

void bare_toggle_last(long n) {
    char dir[2048], main_path[2048], off_path[2048];
    bare_find_entry(n, false);
    bare_find_folders();
    format_narrow(dir, sizeof dir, "%s\\disabled", bare_folders[0]);
    format_narrow(main_path, sizeof main_path, "%s\\App%05ld.lnk", bare_folders[0], n - 1);
    format_narrow(off_path, sizeof off_path, "%s\\App%05ld.lnk", dir, n - 1);
    plat_file folder = bare_hold(bare_folders[0]);
    bare_hold(dir);  // not there yet
    bare_exists(main_path);
    // make_directories: every parent, then the directory itself.
    static char16_t wide_dir[2048];
    const char16_t *w = bare_wide(dir);
    size_t len = 0;
    for (; w[len]; len++) wide_dir[len] = w[len];
    wide_dir[len] = 0;
    for (size_t i = 1; i < len; i++) {
        if (wide_dir[i] != u'\\') continue;
        wide_dir[i] = 0;
        plat_create_directory(wide_dir);
        wide_dir[i] = u'\\';
    }
    if (!plat_create_directory(wide_dir)) plat_get_last_error();
    plat_file disabled = bare_hold(dir);
    bare_exists(off_path);
    bare_move(main_path, off_path);
    plat_close_handle(disabled);
    plat_close_handle(folder);

    bare_find_entry(n, true);
    bare_find_folders();
    folder = bare_hold(bare_folders[0]);
    disabled = bare_hold(dir);
    bare_exists(off_path);
    bare_exists(main_path);
    // The off record of the name that switching on removes (there is none).
    char name[32];
    format_narrow(name, sizeof name, "App%05ld.lnk", n - 1);
    bare_move(off_path, main_path, name);
    plat_hkey records = nullptr;
    plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder", 0,
                           PLAT_KEY_READ | PLAT_KEY_SET_VALUE | PLAT_KEY_WOW64_64KEY, &records);
    plat_close_handle(disabled);
    // The emptied subfolder goes through a handle of its own, once a search
    // has found only "." and "..".
    static char16_t wide[2048], pattern[2048];
    copy_wide(bare_wide(dir), wide);
    format_wide(pattern, u"%s\\*", wide);
    plat_find_data data = {};
    plat_find search = plat_find_first_file(pattern, &data);
    while (plat_find_next_file(search, &data)) {
    }
    plat_find_close(search);
    plat_file gone = plat_create_file(wide, PLAT_DELETE, share_no_delete, PLAT_OPEN_EXISTING, no_follow);
    plat_get_file_attributes(wide);
    plat_file_disposition_info remove = {1};
    plat_set_file_information_by_handle(gone, PLAT_FILE_DISPOSITION_INFO, &remove, sizeof remove);
    plat_close_handle(gone);
    plat_close_handle(folder);
}

void BM_toggle_startup(benchmark::State &state) {
    long n = state.range(0);
    auto setup = [n] { fill_startup_folder(n); };
    if (!baseline_matches(state, setup, [n] { toggle_last(n); }, [n] { bare_toggle_last(n); })) return;
    fresh_machine();
    fill_startup_folder(n);
    for (auto _ : state) toggle_last(n);
    state.counters["items"] = (double)n;
}

void BM_toggle_startup_baseline(benchmark::State &state) {
    long n = state.range(0);
    fresh_machine();
    fill_startup_folder(n);
    for (auto _ : state) bare_toggle_last(n);
    state.counters["items"] = (double)n;
}
BENCHMARK(BM_toggle_startup)->Apply(listing_sizes);
BENCHMARK(BM_toggle_startup_baseline)->Apply(listing_sizes);

}  // namespace

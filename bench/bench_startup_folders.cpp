// The startup-folder provider over the in-memory file tree and Shell Link:
// listing N shortcuts of the current user's Startup folder, beside a
// baseline that makes the same shell, search, conversion and COM calls.
#include <yyjson.h>

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
#include "providers/providers.h"
#include "support/bench_support.h"

namespace {

const char user_folder[] = "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";

void fill_startup_folder(long n) {
    for (long i = 0; i < n; i++) {
        char path[512], target[256], arguments[64];
        snprintf(path, sizeof path, "%s\\App%05ld.lnk", user_folder, i);
        snprintf(target, sizeof target, "C:\\Program Files\\Vendor\\App%05ld\\app.exe", i);
        snprintf(arguments, sizeof arguments, "--minimized --id %ld", i);
        mem_files_add_shortcut(path, target, arguments);
    }
}

char *list_startup() {
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    listing list = {doc, yyjson_mut_arr(doc)};
    yyjson_mut_doc_set_root(doc, list.root);
    list_startup_entries(&list);
    com_leave();  // as the listing does after its last provider
    char *text = yyjson_mut_write(doc, YYJSON_WRITE_NOFLAG, nullptr);
    yyjson_mut_doc_free(doc);
    return text;
}

// ---- the bare calls, into fixed buffers ----

char16_t wide_buffer[4096];
char utf8_buffer[8192];

const char *bare_utf8(const char16_t *text) {
    int bytes = plat_utf16_to_utf8(text, -1, nullptr, 0);
    plat_utf16_to_utf8(text, -1, utf8_buffer, bytes);
    return utf8_buffer;
}

const char16_t *bare_wide(const char *text) {
    int units = plat_utf8_to_utf16(text, -1, nullptr, 0);
    plat_utf8_to_utf16(text, -1, wide_buffer, units);
    return wide_buffer;
}

bool com_entered = false;

void bare_read_shortcut(const char *path) {
    if (!com_entered) com_entered = plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED) == PLAT_S_OK;
    const char16_t *wide = bare_wide(path);
    plat_shell_link link = nullptr;
    plat_create_shell_link(&link);
    plat_persist_file file = nullptr;
    plat_shell_link_query_persist_file(link, &file);
    plat_persist_file_load(file, wide, PLAT_STGM_READ);
    plat_persist_file_release(file);
    static char16_t target[2048], arguments[1024];
    plat_shell_link_get_path(link, target, 2048, PLAT_SLGP_DEFAULT);
    plat_shell_link_get_arguments(link, arguments, 1024);
    bare_utf8(target);
    bare_utf8(arguments);
    plat_shell_link_release(link);
}

void bare_pass(const char16_t *folder, bool disabled) {
    char16_t pattern[2048];
    format_wide(pattern, disabled ? u"%s\\disabled\\*.lnk" : u"%s\\*.lnk", folder);
    plat_find_data data = {};
    plat_find search = plat_find_first_file(pattern, &data);
    if (!search) return;
    do {
        char16_t full[2048];
        format_wide(full, disabled ? u"%s\\disabled\\%s" : u"%s\\%s", folder, data.file_name);
        bare_read_shortcut(bare_utf8(full));
    } while (plat_find_next_file(search, &data));
    plat_find_close(search);
}

char folders[2][2048];

// Both folder lookups, as every listing and toggle makes them.
void bare_find_folders() {
    char16_t profile[PLAT_MAX_PATH] = {};
    plat_sh_get_folder_path(PLAT_CSIDL_PROFILE, 0, profile);
    snprintf(folders[0], sizeof folders[0], "%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
             bare_utf8(profile));
    char16_t *common = nullptr;
    plat_sh_get_known_folder_path(PLAT_FOLDERID_COMMON_STARTUP, 0, &common);
    snprintf(folders[1], sizeof folders[1], "%s", bare_utf8(common));
    plat_co_task_mem_free(common);
}

void bare_list_startup() {
    bare_find_folders();
    for (const char *folder : folders) {
        static char16_t wide[2048];
        const char16_t *w = bare_wide(folder);
        size_t i = 0;
        for (; w[i]; i++) wide[i] = w[i];
        wide[i] = 0;
        bare_pass(wide, false);
        bare_pass(wide, true);
    }
    if (com_entered) plat_co_uninitialize();
    com_entered = false;
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

// The search for the entry: the user's folder is walked until `matches`
// shortcuts of the main pass (and, for a disabled entry, the one in
// "disabled") have been converted; the walk stops at the match.
void bare_find_entry(long n, bool disabled) {
    bare_find_folders();
    static char16_t folder[2048];
    const char16_t *w = bare_wide(folders[0]);
    size_t i = 0;
    for (; w[i]; i++) folder[i] = w[i];
    folder[i] = 0;
    char16_t pattern[2048], full[2048];
    plat_find_data data = {};
    format_wide(pattern, u"%s\\*.lnk", folder);
    plat_find search = plat_find_first_file(pattern, &data);
    long seen = 1;
    for (;;) {
        format_wide(full, u"%s\\%s", folder, data.file_name);
        bare_utf8(full);
        if (!disabled && seen == n) break;
        if (!plat_find_next_file(search, &data)) break;
        seen++;
    }
    plat_find_close(search);
    if (!disabled) return;
    format_wide(pattern, u"%s\\disabled\\*.lnk", folder);
    search = plat_find_first_file(pattern, &data);
    format_wide(full, u"%s\\disabled\\%s", folder, data.file_name);
    bare_utf8(full);
    plat_find_close(search);
}

void bare_exists(const char *path) { plat_get_file_attributes(bare_wide(path)); }

void bare_move(const char *from, const char *to) {
    static char16_t wide_from[2048];
    const char16_t *w = bare_wide(from);
    size_t i = 0;
    for (; w[i]; i++) wide_from[i] = w[i];
    wide_from[i] = 0;
    plat_move_file(wide_from, bare_wide(to));
}

void bare_toggle_last(long n) {
    char dir[2048], main_path[2048], off_path[2048];
    bare_find_entry(n, false);
    bare_find_folders();
    snprintf(dir, sizeof dir, "%s\\disabled", folders[0]);
    snprintf(main_path, sizeof main_path, "%s\\App%05ld.lnk", folders[0], n - 1);
    snprintf(off_path, sizeof off_path, "%s\\App%05ld.lnk", dir, n - 1);
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
    bare_exists(off_path);
    bare_move(main_path, off_path);

    bare_find_entry(n, true);
    bare_find_folders();
    bare_exists(off_path);
    bare_exists(main_path);
    bare_move(off_path, main_path);
    plat_remove_directory(bare_wide(dir));
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

// The bare platform calls of each provider's listing, and the machines they
// run on: the baselines of the benchmarks (see bare_calls.h).
#include "bare_calls.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/mem/mem_details.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_registry.h"
#include "platform/mem/mem_tasks.h"
#include "platform/platform_com.h"
#include "platform/platform_convert.h"
#include "platform/platform_details.h"
#include "platform/platform_files.h"
#include "platform/platform_registry.h"
#include "platform/platform_shell_link.h"
#include "platform/text.h"
#include "providers/run_keys.h"

const char bench_run_subkey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char bench_user_folder[] = "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";

// ---- shared ----

static bool com_entered = false;

void bare_com_enter() {
    if (!com_entered) com_entered = plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED) == PLAT_S_OK;
}

void bare_com_leave() {
    if (com_entered) plat_co_uninitialize();
    com_entered = false;
}

static char16_t wide_buffer[4096];
static char utf8_buffer[8192];

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

// ---- item details ----

static bool details_asked = false;

void bare_details_begin() { details_asked = false; }

// The folders and the process's state, asked once per listing.
static void bare_details_context() {
    if (details_asked) return;
    details_asked = true;
    static char16_t folder[260];
    plat_get_system_directory(folder, 260);
    plat_get_windows_directory(folder, 260);
    plat_get_environment_variable(u"PATH", folder, 260);
    int wow64 = 0;
    plat_is_wow64_process(&wow64);
}

static void bare_expand(const char16_t *text) {
    static char16_t expanded[1040];
    plat_expand_environment_strings(text, expanded, 1040);
}

// One version text: found in the first translation's table, then converted.
static void bare_version_text(const void *block, const char16_t *query) {
    const void *text = nullptr;
    uint32_t len = 0;
    plat_ver_query_value(block, query, &text, &len);
    static char16_t copy[1024];
    memcpy(copy, text, len * sizeof(char16_t));
    bare_utf8(copy);
}

// An image the listing has not read yet: its path as UTF-8, whether it is
// a file, its version block and the two texts.
static void bare_image(const char16_t *image) {
    bare_utf8(image);
    plat_get_file_attributes(image);
    static uint8_t block[4096];
    uint32_t size = plat_get_file_version_info_size(image);
    plat_get_file_version_info(image, size, block);
    const void *translation = nullptr;
    uint32_t len = 0;
    plat_ver_query_value(block, u"\\VarFileInfo\\Translation", &translation, &len);
    bare_version_text(block, u"\\StringFileInfo\\040904B0\\CompanyName");
    bare_version_text(block, u"\\StringFileInfo\\040904B0\\FileDescription");
}

// The details of a program given apart from its arguments (a shortcut's,
// a task's): both expanded, then the image read.
static void bare_program_details(const char16_t *program, const char16_t *arguments) {
    bare_details_context();
    bare_expand(program);
    bare_expand(arguments);
    bare_image(program);
}

// Every benchmark item's program exists and has a version resource.
static void add_image(const char *path, const char *description) {
    mem_files_add_file(path);
    mem_details_set_version(path, {0x04b00409},
                            {{"040904B0", "CompanyName", "Vendor"}, {"040904B0", "FileDescription", description}});
}

// ---- run keys ----

void value_name(char *out, size_t size, long i) { snprintf(out, size, "Tool%05ld", i); }

void fill_run_key(long n) {
    for (long i = 0; i < n; i++) {
        char name[32], command[128];
        value_name(name, sizeof name, i);
        snprintf(command, sizeof command, "C:\\Program Files\\Vendor\\%s\\%s.exe --tray --quiet", name, name);
        mem_reg_put_string(PLAT_HKEY_CURRENT_USER, bench_run_subkey, name, command);
        *strstr(command, " --tray") = 0;
        add_image(command, name);
    }
}

// What the listing asks of the platform to name one value: its 8-bit form
// and the way back (the identifier keeps the ANSI spelling it can), then
// the name and the data as UTF-8.
static void bare_name_value(const char16_t *name, const char16_t *data) {
    static char ansi[2 * RUN_NAME_UNITS];
    static char16_t back[RUN_NAME_UNITS];
    int used = 0;
    int bytes = plat_utf16_to_ansi(name, -1, nullptr, 0, &used);
    plat_utf16_to_ansi(name, -1, ansi, bytes, &used);
    int units = plat_ansi_to_utf16(ansi, -1, nullptr, 0);
    plat_ansi_to_utf16(ansi, -1, back, units);
    benchmark::DoNotOptimize(bare_utf8(name));
    benchmark::DoNotOptimize(bare_utf8(data));
}

// A benchmark command, "C:\\Program Files\\…\\ToolN.exe --tray --quiet":
// expanded, then split where CreateProcess finds a file (the text before
// the first space is tried as written and with ".exe"), then the image.
static void bare_command_details(const char16_t *command) {
    bare_details_context();
    bare_expand(command);
    static char16_t program[1040];
    size_t space = 0;
    while (command[space] != u' ') space++;
    memcpy(program, command, space * sizeof(char16_t));
    program[space] = 0;
    plat_get_file_attributes(program);
    memcpy(program + space, u".exe", 5 * sizeof(char16_t));
    plat_get_file_attributes(program);
    size_t end = space + 1;
    while (command[end] != u' ') end++;
    memcpy(program, command, end * sizeof(char16_t));
    program[end] = 0;
    plat_get_file_attributes(program);
    bare_image(program);
}

static void bare_list_location(const run_location &row) {
    if (row.view == PLAT_KEY_WOW64_32KEY) plat_get_native_processor_architecture();
    plat_hkey key = nullptr, records = nullptr;
    if (plat_reg_open_key_ex_a(row.root, row.path, 0, PLAT_KEY_READ | row.view, &key) != PLAT_ERROR_SUCCESS) return;
    if (row.approved)
        plat_reg_open_key_ex_a(row.root, row.approved, 0, PLAT_KEY_READ | PLAT_KEY_WOW64_64KEY, &records);
    static char16_t name[RUN_NAME_UNITS];
    alignas(char16_t) static uint8_t data[RUN_DATA_CAP + 2];
    for (uint32_t index = 0;; index++) {
        uint32_t name_len = RUN_NAME_UNITS, type = 0, size = RUN_DATA_CAP;
        if (plat_reg_enum_value_w(key, index, name, &name_len, &type, data, &size) != PLAT_ERROR_SUCCESS) break;
        if (type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ) continue;
        data[size & ~1u] = data[(size & ~1u) + 1] = 0;
        bare_name_value(name, (const char16_t *)data);
        uint32_t record_type = 0, record_size = 0;
        if (records) plat_reg_query_value_ex_w(records, name, &record_type, nullptr, &record_size);
        bare_command_details((const char16_t *)data);
    }
    if (records) plat_reg_close_key(records);
    plat_reg_close_key(key);
}

void bare_run_key_items() {
    for (const run_location &row : run_locations) bare_list_location(row);
}

void bare_policy_items() {
    for (plat_hkey root : {PLAT_HKEY_CURRENT_USER, PLAT_HKEY_LOCAL_MACHINE}) {
        plat_hkey key = nullptr;
        if (plat_reg_open_key_ex_a(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", 0,
                                   PLAT_KEY_READ | PLAT_KEY_WOW64_64KEY, &key) == PLAT_ERROR_SUCCESS)
            abort();  // the benchmark machines hold none
    }
}

void bare_package_items() {
    plat_hkey key = nullptr;
    if (plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER,
                               "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                               "AppModel\\Repository\\Packages",
                               0, PLAT_KEY_READ, &key) == PLAT_ERROR_SUCCESS)
        abort();  // the benchmark machines hold none
}

void bare_list_run_keys() {
    bare_details_begin();
    bare_run_key_items();
}

void fill_startup_folder(long n) {
    for (long i = 0; i < n; i++) {
        char path[512], target[256], arguments[64];
        snprintf(path, sizeof path, "%s\\App%05ld.lnk", bench_user_folder, i);
        snprintf(target, sizeof target, "C:\\Program Files\\Vendor\\App%05ld\\app.exe", i);
        snprintf(arguments, sizeof arguments, "--minimized --id %ld", i);
        mem_files_add_shortcut(path, target, arguments);
        add_image(target, "App");
    }
}

// ---- startup folders ----

static void bare_read_shortcut(const char *path) {
    bare_com_enter();
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
    bare_program_details(target, arguments);
}

// The folder's StartupApproved records, opened at its first shortcut.
static void bare_open_records(int folder, bool *opened) {
    if (*opened) return;
    *opened = true;
    plat_hkey records = nullptr;
    plat_reg_open_key_ex_a(folder ? PLAT_HKEY_LOCAL_MACHINE : PLAT_HKEY_CURRENT_USER,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder", 0,
                           PLAT_KEY_READ | PLAT_KEY_WOW64_64KEY, &records);
    if (records) abort();  // the benchmark machines hold no records
}

static void bare_pass(int index, const char16_t *folder, bool disabled, bool *opened) {
    char16_t pattern[2048];
    if (disabled) {  // read only when it is no link
        format_wide(pattern, u"%s\\disabled", folder);
        plat_get_file_attributes(pattern);
    }
    format_wide(pattern, disabled ? u"%s\\disabled\\*" : u"%s\\*", folder);
    plat_find_data data = {};
    plat_find search = plat_find_first_file(pattern, &data);
    if (!search) return;
    do {
        if (data.attributes & PLAT_FILE_ATTRIBUTE_DIRECTORY) continue;
        char16_t full[2048];
        format_wide(full, disabled ? u"%s\\disabled\\%s" : u"%s\\%s", folder, data.file_name);
        const char *path = bare_utf8(full);
        if (!disabled) bare_open_records(index, opened);
        bare_read_shortcut(path);
    } while (plat_find_next_file(search, &data));
    plat_find_close(search);
}

char bare_folders[2][2048];

// Both folder lookups, as every listing and toggle makes them.
void bare_find_folders() {
    char16_t profile[PLAT_MAX_PATH] = {};
    plat_sh_get_folder_path(PLAT_CSIDL_PROFILE, 0, profile);
    format_narrow(bare_folders[0], sizeof bare_folders[0],
                  "%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", bare_utf8(profile));
    char16_t *common = nullptr;
    plat_sh_get_known_folder_path(PLAT_FOLDERID_COMMON_STARTUP, 0, &common);
    format_narrow(bare_folders[1], sizeof bare_folders[1], "%s", bare_utf8(common));
    plat_co_task_mem_free(common);
}

void bare_list_startup_folders() {
    bare_details_begin();
    bare_startup_items();
}

void bare_startup_items() {
    bare_find_folders();
    for (int f = 0; f < 2; f++) {
        static char16_t wide[2048];
        const char16_t *w = bare_wide(bare_folders[f]);
        size_t i = 0;
        for (; w[i]; i++) wide[i] = w[i];
        wide[i] = 0;
        bool opened = false;
        bare_pass(f, wide, false, &opened);
        bare_pass(f, wide, true, &opened);
    }
}

std::u16string wide_ascii(const std::string &s) { return std::u16string(s.begin(), s.end()); }

void fill_tasks(long n) {
    for (long i = 0; i < n; i++) {
        mem_task_def def;
        std::string name = "Updater" + std::to_string(100000 + i).substr(1);
        def.name = wide_ascii(name);
        def.triggers = {PLAT_TASK_TRIGGER_LOGON};
        std::string program = "C:\\Program Files\\Vendor\\" + name + "\\update.exe";
        def.actions = {{PLAT_TASK_ACTION_EXEC, wide_ascii(program), u"/silent /check"}};
        mem_task_add(def);
        add_image(program.c_str(), "Updater");
    }
}

// ---- scheduled tasks ----

// A BSTR read as the provider reads it: converted, then freed.
void bare_text(plat_bstr text) {
    static char utf8[8192];
    if (!text) return;
    int bytes = plat_utf16_to_utf8(text, -1, nullptr, 0);
    plat_utf16_to_utf8(text, -1, utf8, bytes);
    plat_sys_free_string(text);
}

plat_task_service bare_connect() {
    bare_com_enter();
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

// A BSTR read as bare_text reads it, kept as UTF-16 too.
static void bare_copy_text(plat_bstr text, char16_t *copy) {
    size_t i = 0;
    for (; text[i]; i++) copy[i] = text[i];
    copy[i] = 0;
    bare_text(text);
}

// One listed task: name, path, flag, then through its one definition its
// one logon trigger and its one exec action.
static void bare_list_task(plat_task task) {
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

    plat_action_collection actions = nullptr;
    plat_task_definition_get_actions(definition, &actions);
    plat_action_collection_get_count(actions, &count);
    plat_action action = nullptr;
    plat_action_collection_get_item(actions, 1, &action);
    plat_action_get_type(action, &type);
    plat_exec_action exec = nullptr;
    plat_action_query_exec(action, &exec);
    static char16_t program[2048], arguments[2048];
    text = nullptr;
    plat_exec_action_get_path(exec, &text);
    bare_copy_text(text, program);
    text = nullptr;
    plat_exec_action_get_arguments(exec, &text);
    bare_copy_text(text, arguments);
    plat_exec_action_release(exec);
    plat_action_release(action);
    plat_action_collection_release(actions);
    plat_task_definition_release(definition);
    // The program and arguments, kept as UTF-8, back to UTF-16 for their
    // details (the benchmark's texts are ASCII: copied here without a call).
    static char utf8[2048];
    for (const char16_t *text : {program, arguments}) {
        size_t i = 0;
        for (; text[i]; i++) utf8[i] = (char)text[i];
        utf8[i] = 0;
        bare_wide(utf8);
    }
    bare_program_details(program, arguments);
}

void bare_task_items() {
    bare_walk_root([](plat_task task, int32_t, int32_t) { bare_list_task(task); });
}

void bare_list_task_folder() {
    bare_details_begin();
    bare_task_items();
}


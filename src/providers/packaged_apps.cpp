// Packaged apps' startup tasks: listed from the packages' manifests,
// switched through the State value Windows keeps per task (2 on, 1 off as
// the user's choice; 3 and 4 are the administrator's and are never
// written; 0 is off). Without a State the manifest's Enabled decides. A
// task is known by its family name and task id, hashed without regard to
// ASCII case, so it keeps its identifier across updates and switches.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../platform/entry_writer.h"
#include "../platform/last_error.h"
#include "../platform/platform_packages.h"
#include "../platform/platform_registry.h"
#include "../platform/text.h"
#include "../platform/text_hash.h"
#include "item_details.h"
#include "package_walk.h"
#include "providers.h"

namespace {

const char state_key[] = PACKAGE_APPMODEL_KEY "\\SystemAppData\\%s\\%s";
const char resource_prefix[] = "ms-resource:";
const uint32_t indirect_units = 1024;

enum { state_off = 0, state_user_off = 1, state_on = 2, state_policy_off = 3, state_policy_on = 4 };

struct text_holder {
    char *p = nullptr;
    ~text_holder() { free(p); }
};

uint64_t task_key(const package_ref *package, const manifest_task *task) {
    char text[8 + 2 * PACKAGE_NAME_SIZE];
    format_narrow(text, sizeof text, "package|%s|%s", package->family_name, task->task_id);
    return path_hash(text);
}

void state_path(char *path, size_t size, const package_ref *package, const manifest_task *task) {
    format_narrow(path, size, state_key, package->family_name, task->task_id);
}

// The task's State: SUCCESS with *state 0-4; FILE_NOT_FOUND when there is
// none to go by (no key, no value, or a value that is no state); else the
// failure's code.
plat_error read_state(const package_ref *package, const manifest_task *task, uint32_t *state) {
    char path[sizeof state_key + 2 * PACKAGE_NAME_SIZE];
    state_path(path, sizeof path, package, task);
    plat_hkey key = nullptr;
    plat_error e = plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, path, 0, PLAT_KEY_QUERY_VALUE, &key);
    if (e != PLAT_ERROR_SUCCESS) return e;
    uint32_t type = 0, size = sizeof *state;
    uint8_t data[4] = {};
    e = plat_reg_query_value_ex_w(key, u"State", &type, data, &size);
    plat_reg_close_key(key);
    if (e == PLAT_ERROR_MORE_DATA) return PLAT_ERROR_FILE_NOT_FOUND;
    if (e != PLAT_ERROR_SUCCESS) return e;
    *state = (uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 | (uint32_t)data[3] << 24;
    if (type != PLAT_REG_DWORD || size != 4 || *state > state_policy_on) return PLAT_ERROR_FILE_NOT_FOUND;
    return PLAT_ERROR_SUCCESS;
}

bool is_on(plat_error read, uint32_t state, const manifest_task *task) {
    if (read != PLAT_ERROR_SUCCESS) return task->enabled;
    return state == state_on || state == state_policy_on;
}

// A manifest text as shown: an "ms-resource:" reference resolved in the
// package's resources; any other text as it is. *unresolved tells a
// reference that the lookup could not resolve (to nothing, or failing)
// from memory running out, which leaves null too.
char *shown_text(const package_ref *package, const char *text, bool *unresolved) {
    *unresolved = false;
    if (strncmp(text, resource_prefix, sizeof resource_prefix - 1) != 0) return dup_string(text);
    char16_t *reference = nullptr, *full = nullptr;
    char16_t *source = (char16_t *)malloc(WIDE_PATH_UNITS * sizeof(char16_t));
    char16_t *out = (char16_t *)malloc(indirect_units * sizeof(char16_t));
    char *shown = nullptr;
    if (source && out && utf8_to_utf16(text, &reference) > 0 && utf8_to_utf16(package->full_name, &full) > 0) {
        if (format_wide(source, u"@{%s?%s}", full, reference) < 0 ||
            PLAT_FAILED(plat_sh_load_indirect_string(source, out, indirect_units))) {
            *unresolved = true;
        } else {
            out[indirect_units - 1] = u'\0';
            *unresolved = !out[0];
            if (out[0]) shown = utf16_to_utf8(out);
        }
    }
    free(reference);
    free(full);
    free(source);
    free(out);
    return shown;
}

// The text shown, or "" when a reference does not resolve.
char *shown_or_empty(const package_ref *package, const char *text) {
    bool unresolved = false;
    char *shown = shown_text(package, text, &unresolved);
    return unresolved ? dup_string("") : shown;
}

// The task's display name, else its id (null when memory ran out).
char *task_name(const package_ref *package, const manifest_task *task) {
    bool unresolved = !*task->display_name;
    char *name = unresolved ? nullptr : shown_text(package, task->display_name, &unresolved);
    return unresolved ? dup_string(task->task_id) : name;
}

// The program's full path in the package's folder; null when it would not fit.
char16_t *program_path(const package_ref *package, const manifest_task *task) {
    char16_t *relative = nullptr;
    if (utf8_to_utf16(task->executable, &relative) <= 0) return nullptr;
    for (char16_t *p = relative; *p; p++)
        if (*p == u'/') *p = u'\\';
    char16_t *path = (char16_t *)malloc(WIDE_PATH_UNITS * sizeof(char16_t));
    if (path && format_wide(path, u"%s\\%s", package->folder, relative) < 0) {
        free(path);
        path = nullptr;
    }
    free(relative);
    return path;
}

void list_task(void *context, const package_ref *package, const manifest_properties *properties,
               const manifest_task *task) {
    listing *list = (listing *)context;
    char16_t *program = program_path(package, task);
    if (!program) return;
    uint32_t state = 0;
    plat_error read = read_state(package, task, &state);
    bool enabled = is_on(read, state, task);
    char id[ENTRY_ID_SIZE];
    format_narrow(id, sizeof id, "package:%016llx", (unsigned long long)task_key(package, task));
    text_holder name, command, publisher, description;
    name.p = task_name(package, task);
    command.p = utf16_to_utf8(program);
    publisher.p = shown_or_empty(package, properties->publisher);
    description.p = shown_or_empty(package, properties->display_name);
    item_details details;
    describe_program(list->details, program, u"", &details);
    free(program);
    startup_entry entry = {id, "package", name.p, command.p, enabled, package->family_name, "user",
                           details.image, details.image_exists, publisher.p, description.p};
    append_entry(list, &entry);
}

// Writes the wanted State unless the task already is so; the
// administrator's states are refused.
int switch_task(const package_ref *package, const manifest_task *task, int enabled) {
    uint32_t state = 0;
    plat_error read = read_state(package, task, &state);
    if (read != PLAT_ERROR_SUCCESS && read != PLAT_ERROR_FILE_NOT_FOUND) {
        set_last_error("package: read State failed (0x%x)", (unsigned)read);
        return 0;
    }
    if (read == PLAT_ERROR_SUCCESS && (state == state_policy_off || state == state_policy_on)) {
        text_holder name;
        name.p = task_name(package, task);
        set_last_error("package: '%s' is set by policy and cannot be switched", name.p ? name.p : task->task_id);
        return 0;
    }
    if (is_on(read, state, task) == (enabled != 0)) return 1;
    char path[sizeof state_key + 2 * PACKAGE_NAME_SIZE];
    state_path(path, sizeof path, package, task);
    plat_hkey key = nullptr;
    plat_error e = plat_reg_create_key_ex_a(PLAT_HKEY_CURRENT_USER, path, PLAT_KEY_SET_VALUE, &key);
    if (e == PLAT_ERROR_SUCCESS) {
        uint32_t value = enabled ? state_on : state_user_off;
        uint8_t data[4] = {(uint8_t)value, 0, 0, 0};
        e = plat_reg_set_value_ex_w(key, u"State", PLAT_REG_DWORD, data, sizeof data);
        plat_reg_close_key(key);
        if (e == PLAT_ERROR_SUCCESS) return 1;
    }
    if (e == PLAT_ERROR_ACCESS_DENIED)
        set_last_error("package: writing State access denied");
    else
        set_last_error("package: writing State failed (0x%x)", (unsigned)e);
    return 0;
}

struct package_switch {
    uint64_t key;
    int enabled;
    bool matched;
    int result;
};

void switch_visited_task(void *context, const package_ref *package, const manifest_properties *,
                         const manifest_task *task) {
    package_switch *toggle = (package_switch *)context;
    if (toggle->matched || task_key(package, task) != toggle->key) return;
    toggle->matched = true;
    toggle->result = switch_task(package, task, toggle->enabled);
}

}  // namespace

void list_package_entries(listing *list) { walk_package_tasks(list_task, list); }

int set_package_entry_enabled(uint64_t key, int enabled) {
    package_switch toggle = {key, enabled, false, 0};
    unsigned e = walk_package_tasks(switch_visited_task, &toggle);
    if (toggle.matched) return toggle.result;
    if (e != PLAT_ERROR_SUCCESS && e != PLAT_ERROR_FILE_NOT_FOUND)
        set_last_error("package: open the packages' key failed (0x%x)", e);
    else
        set_last_error("package: entry no longer exists");
    return 0;
}

// The run-key provider: string values of the Run and RunOnce keys of both
// hives. A value is switched off by renaming it with the suffix "disabled"
// and recording it as off in StartupApproved, and on again by the reverse.
//
// Names and data come from the 8-bit registry calls in the ANSI code page;
// the listing shows them as UTF-8, while identifiers hash the 8-bit name
// exactly as enumerated, so that the toggle finds the value again.
#include "run_keys.h"

#include <cstdlib>

#include "../platform/text_hash.h"
#include "../platform/last_error.h"
#include "../platform/entry_writer.h"
#include "../platform/text.h"
#include "providers.h"

#define RUN_SUBKEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUNONCE_SUBKEY "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define RUN_WRITE_ACCESS (PLAT_KEY_READ | PLAT_KEY_SET_VALUE)
#define RUN_SUFFIX "disabled"
#define RUN_SUFFIX_LEN 8

const run_location run_locations[RUN_LOCATION_COUNT] = {
    {PLAT_HKEY_CURRENT_USER, 1, RUN_SUBKEY, "runkey"},
    {PLAT_HKEY_LOCAL_MACHINE, 0, RUN_SUBKEY, "runkey"},
    {PLAT_HKEY_CURRENT_USER, 1, RUNONCE_SUBKEY, "runonce"},
    {PLAT_HKEY_LOCAL_MACHINE, 0, RUNONCE_SUBKEY, "runonce"},
};

uint64_t run_entry_hash(int per_user, const char *subkey, const char *name) {
    char text[RUN_KEY_TEXT_CAP];
    format_narrow(text, sizeof text, "runkey|d%d|%s|%s", per_user, subkey, name);
    return fnv1a64(text);
}

static size_t text_length(const char *s) {
    size_t n = 0;
    while (s[n]) n++;
    return n;
}

static bool has_off_suffix(const char *name) {
    size_t n = text_length(name);
    return n > RUN_SUFFIX_LEN && iequals(name + n - RUN_SUFFIX_LEN, RUN_SUFFIX);
}

// ---- listing ----

static void append_run_entry(listing *list, const run_location *row, run_value *v) {
    char id[ENTRY_ID_SIZE];
    format_narrow(id, sizeof id, "%s:%016llx", row->source,
                  (unsigned long long)run_entry_hash(row->per_user, row->subkey, v->name));
    const char *data = run_value_text(v);
    run_utf8 name, command;
    ansi_to_utf8(v->name, &name);
    ansi_to_utf8(data, &command);
    startup_entry entry = {id, row->source, name.text, command.text, !has_off_suffix(v->name)};
    append_entry(list, &entry);
}

static void list_location(listing *list, const run_location *row) {
    plat_hkey key = nullptr;
    if (plat_reg_open_key_ex_a(row->root, row->subkey, 0, PLAT_KEY_READ, &key) != PLAT_ERROR_SUCCESS) return;
    run_value v;
    for (uint32_t index = 0;; index++) {
        run_step step = read_run_value(key, index, true, &v);
        if (step == RUN_END) break;
        if (step == RUN_SKIP || (v.type != PLAT_REG_SZ && v.type != PLAT_REG_EXPAND_SZ)) continue;
        append_run_entry(list, row, &v);
    }
    plat_reg_close_key(key);
}

void list_run_entries(listing *list) {
    for (const run_location &row : run_locations) list_location(list, &row);
}

// ---- toggle ----

// Looks for the first value of the row whose identifier hash is `hash`.
static bool find_in_location(const run_location *row, uint64_t hash, char *name) {
    plat_hkey key = nullptr;
    if (plat_reg_open_key_ex_a(row->root, row->subkey, 0, PLAT_KEY_READ, &key) != PLAT_ERROR_SUCCESS) return false;
    run_value v;
    bool found = false;
    for (uint32_t index = 0; !found; index++) {
        run_step step = read_run_value(key, index, false, &v);
        if (step == RUN_END) break;
        found = step == RUN_GOT && run_entry_hash(row->per_user, row->subkey, v.name) == hash;
    }
    plat_reg_close_key(key);
    if (found) format_narrow(name, RUN_NAME_CAP, "%s", v.name);
    return found;
}

static bool value_exists(plat_hkey key, const char *name) {
    return plat_reg_query_value_ex_a(key, name, nullptr, nullptr, nullptr) == PLAT_ERROR_SUCCESS;
}

// After a rename that must also change the StartupApproved record: a record
// that cannot be changed fails the switch, and the rename is undone.
static int finish_switch(const run_location *row, const char *name, const char *target, int enabled) {
    plat_error e = enabled ? approve_clear(row->root, name, target) : approve_write_disabled(row->root, target);
    if (e == PLAT_ERROR_SUCCESS) return 1;
    int undone = rename_run_value(row->root, row->subkey, target, name);
    set_last_error("runkey: cannot %s the StartupApproved record of '%s' (0x%x)%s", enabled ? "clear" : "write",
                   enabled ? name : target, e, undone ? "" : "; undoing the rename failed");
    return 0;
}

// A name that already has the wanted state still needs a record that
// agrees. On: an off record must go (the default value switched off is
// named "disabled", which counts as on, and the system's own switch marks
// values off without renaming). Off: the name alone does not stop the
// value starting, so a record must mark it off.
static int match_record(const run_location *row, const char *name, int enabled) {
    plat_error e = enabled ? approve_clear(row->root, nullptr, name) : approve_ensure_disabled(row->root, name);
    if (e == PLAT_ERROR_SUCCESS) return 1;
    set_last_error("runkey: cannot %s the StartupApproved record of '%s' (0x%x)", enabled ? "clear" : "write", name,
                   e);
    return 0;
}

static int switch_on(const run_location *row, plat_hkey key, const char *name) {
    char target[RUN_TARGET_CAP];
    if (has_off_suffix(name))
        format_narrow(target, sizeof target, "%.*s", (int)(text_length(name) - RUN_SUFFIX_LEN), name);
    else
        format_narrow(target, sizeof target, "%s", name);
    if (iequals(target, name)) return match_record(row, name, 1);
    if (value_exists(key, target)) {
        set_last_error("runkey: cannot enable — '%s' already exists", target);
        return 0;
    }
    if (!rename_run_value(row->root, row->subkey, name, target)) return 0;
    return finish_switch(row, name, target, 1);
}

static int switch_off(const run_location *row, plat_hkey key, const char *name) {
    if (has_off_suffix(name)) return match_record(row, name, 0);
    char target[RUN_TARGET_CAP];
    format_narrow(target, sizeof target, "%s" RUN_SUFFIX, name);
    // Reporting success here would show the item as off while it still starts.
    if (value_exists(key, target)) {
        set_last_error("runkey: cannot disable — '%s' already exists", target);
        return 0;
    }
    if (!rename_run_value(row->root, row->subkey, name, target)) return 0;
    return finish_switch(row, name, target, 0);
}

static int switch_value(const run_location *row, const char *name, int enabled) {
    plat_hkey key = nullptr;
    plat_error e = plat_reg_open_key_ex_a(row->root, row->subkey, 0, RUN_WRITE_ACCESS, &key);
    if (e == PLAT_ERROR_ACCESS_DENIED) {
        set_last_error("runkey: %s access denied (needs admin for HKLM)", row->per_user ? "HKCU" : "HKLM");
        return 0;
    }
    if (e != PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: open %s failed (0x%x)", row->subkey, e);
        return 0;
    }
    int done = enabled ? switch_on(row, key, name) : switch_off(row, key, name);
    plat_reg_close_key(key);
    return done;
}

int set_run_entry_enabled(uint64_t hash, int enabled) {
    char name[RUN_NAME_CAP];
    for (const run_location &row : run_locations) {
        if (iequals(row.source, "runkey") && find_in_location(&row, hash, name))
            return switch_value(&row, name, enabled);
    }
    set_last_error("runkey: entry no longer exists");
    return 0;
}

// The run-key provider: string values of the Run and RunOnce keys of both
// hives, the machine's in both registry views. A value is off when its name
// ends in "disabled" or its StartupApproved record says so. It is switched
// off by renaming it with that suffix and recording it as off, and on again
// by the reverse, removing any off record of the resulting name.
//
// Names and data are read with the wide calls, so the listing shows them
// exactly. A name that the ANSI code page holds exactly keeps the
// identifier of its 8-bit form, which is what earlier versions hashed.
#include "run_keys.h"

#include <cstdlib>

#include "../platform/entry_writer.h"
#include "../platform/last_error.h"
#include "../platform/platform_convert.h"
#include "../platform/text.h"
#include "../platform/text_hash.h"
#include "item_details.h"
#include "providers.h"
#include "startup_approved.h"

#define RUN_SUBKEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUNONCE_SUBKEY "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define RUN32_SUBKEY "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUNONCE32_SUBKEY "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define RUN_WRITE_ACCESS (PLAT_KEY_READ | PLAT_KEY_SET_VALUE)
#define RUN_SUFFIX u"disabled"
#define RUN_SUFFIX_LEN 8
#define NATIVE PLAT_KEY_WOW64_64KEY
#define WOW32 PLAT_KEY_WOW64_32KEY
#define HKCU PLAT_HKEY_CURRENT_USER
#define HKLM PLAT_HKEY_LOCAL_MACHINE

const run_location run_locations[RUN_LOCATION_COUNT] = {
    {HKCU, 1, RUN_SUBKEY, RUN_SUBKEY, NATIVE, "runkey", APPROVED_RUN},
    {HKLM, 0, RUN_SUBKEY, RUN_SUBKEY, NATIVE, "runkey", APPROVED_RUN},
    {HKLM, 0, RUN32_SUBKEY, RUN_SUBKEY, WOW32, "runkey", APPROVED_RUN32},
    {HKCU, 1, RUNONCE_SUBKEY, RUNONCE_SUBKEY, NATIVE, "runonce", nullptr},
    {HKLM, 0, RUNONCE_SUBKEY, RUNONCE_SUBKEY, NATIVE, "runonce", nullptr},
    {HKLM, 0, RUNONCE32_SUBKEY, RUNONCE_SUBKEY, WOW32, "runonce", nullptr},
};

int run_location_present(const run_location *row) {
    if (row->view != WOW32) return 1;
    uint16_t arch = plat_get_native_processor_architecture();
    return arch != PLAT_PROCESSOR_ARCHITECTURE_INTEL && arch != PLAT_PROCESSOR_ARCHITECTURE_ARM;
}

// ---- identifiers ----

// The hash of "<kind>|d<per_user>|<subkey>|<name>", the name hashed in place.
static uint64_t key_text_hash(const char *kind, int per_user, const char *subkey, const char *name) {
    char head[RUN_KEY_TEXT_CAP];
    format_narrow(head, sizeof head, "%s|d%d|%s|", kind, per_user, subkey);
    return fnv1a64_more(fnv1a64(head), name);
}

uint64_t run_entry_hash(int per_user, const char *subkey, const char *name) {
    return key_text_hash("runkey", per_user, subkey, name);
}

uint64_t run_entry_hash_wide(int per_user, const char *subkey, const char *utf8_name) {
    return key_text_hash("runkey-w", per_user, subkey, utf8_name);
}

// Units that the round-trip check holds without the heap.
#define RUN_BACK_FIXED 780

// Whether `ansi` (the name's 8-bit form) converts back to the same units.
static int same_back(const char *ansi, const char16_t *name, size_t units) {
    int back = plat_ansi_to_utf16(ansi, -1, nullptr, 0);
    if (back <= 0) return -1;
    if ((size_t)back != units) return 0;
    char16_t fixed[RUN_BACK_FIXED];
    char16_t *wide = units <= RUN_BACK_FIXED ? fixed : (char16_t *)malloc(units * sizeof(char16_t));
    if (!wide) return -1;
    int same = plat_ansi_to_utf16(ansi, -1, wide, back) == back ? 1 : -1;
    for (size_t i = 0; same == 1 && i < units; i++) same = wide[i] == name[i];
    if (wide != fixed) free(wide);
    return same;
}

// The name's 8-bit form in *out when the ANSI code page holds it exactly
// (no default character, no best fit, the same units back): 1. 0 when it
// does not; -1 when a conversion failed.
static int exact_ansi(const char16_t *name, run_text *out) {
    int used = 0;
    int bytes = plat_utf16_to_ansi(name, -1, nullptr, 0, &used);
    if (bytes <= 0) return -1;
    if (used) return 0;
    char *dst = out->fixed;
    if (bytes > RUN_TEXT_FIXED) dst = out->heap = (char *)malloc((size_t)bytes);
    if (!dst || plat_utf16_to_ansi(name, -1, dst, bytes, &used) <= 0) return -1;
    if (used) return 0;
    out->text = dst;
    int same = same_back(dst, name, wide_length(name) + 1);
    if (same != 1) out->text = nullptr;
    return same;
}

bool run_value_hash(const run_location *row, const char16_t *name, uint64_t *hash) {
    run_text form;
    int exact = exact_ansi(name, &form);
    if (exact == 1) {
        *hash = run_entry_hash(row->per_user, row->subkey, form.text);
        return true;
    }
    if (exact < 0 || !wide_to_utf8(name, &form)) return false;
    *hash = run_entry_hash_wide(row->per_user, row->subkey, form.text);
    return true;
}

static bool has_off_suffix(const char16_t *name, size_t n) {
    if (n <= RUN_SUFFIX_LEN) return false;
    const char16_t *tail = name + n - RUN_SUFFIX_LEN;
    for (int i = 0; i < RUN_SUFFIX_LEN; i++) {
        char16_t c = tail[i] >= u'A' && tail[i] <= u'Z' ? (char16_t)(tail[i] + 0x20) : tail[i];
        if (c != RUN_SUFFIX[i]) return false;
    }
    return true;
}

// ---- listing ----

static void append_run_entry(listing *list, const run_location *row, run_value *v, plat_hkey records) {
    uint64_t hash = 0;
    if (!run_value_hash(row, v->name, &hash)) return;  // an identifier that no toggle could find
    char id[ENTRY_ID_SIZE];
    format_narrow(id, sizeof id, "%s:%016llx", row->source, (unsigned long long)hash);
    run_text name, command;
    wide_to_utf8(v->name, &name);
    const char16_t *data = run_value_text(v);
    wide_to_utf8(data, &command);
    bool off = has_off_suffix(v->name, wide_length(v->name)) || approve_marks_off(records, v->name);
    char location[RUN_KEY_TEXT_CAP];
    format_narrow(location, sizeof location, "%s\\%s", row->per_user ? "HKCU" : "HKLM", row->subkey);
    item_details details;
    describe_command(list->details, data, &details);
    const char *scope = row->per_user ? "user" : "machine";
    startup_entry entry = {id, row->source, name.text, command.text, !off, location, scope,
                           details.image, details.image_exists, details.publisher, details.description};
    append_entry(list, &entry);
}

static void list_location(listing *list, const run_location *row) {
    if (!run_location_present(row)) return;
    plat_hkey key = nullptr;
    if (plat_reg_open_key_ex_a(row->root, row->path, 0, PLAT_KEY_READ | row->view, &key) != PLAT_ERROR_SUCCESS)
        return;
    plat_hkey records = row->approved ? approve_open(row->root, row->approved) : nullptr;
    run_value v;
    for (uint32_t index = 0;; index++) {
        run_step step = read_run_value(key, index, true, &v);
        if (step == RUN_END) break;
        if (step == RUN_SKIP || (v.type != PLAT_REG_SZ && v.type != PLAT_REG_EXPAND_SZ)) continue;
        append_run_entry(list, row, &v, records);
    }
    if (records) plat_reg_close_key(records);
    plat_reg_close_key(key);
}

void list_run_entries(listing *list) {
    for (const run_location &row : run_locations) list_location(list, &row);
}

// ---- toggle ----

// Looks for the first value of the row whose identifier hash is `hash`:
// 1 with a heap copy of its name in *name, 0 when there is none, -1 when
// memory ran out.
static int find_in_location(const run_location *row, uint64_t hash, char16_t **name) {
    plat_hkey key = nullptr;
    if (plat_reg_open_key_ex_a(row->root, row->path, 0, PLAT_KEY_READ | row->view, &key) != PLAT_ERROR_SUCCESS)
        return 0;
    run_value v;
    int found = run_value_open(&v) ? 0 : -1;
    for (uint32_t index = 0; found == 0; index++) {
        run_step step = read_run_value(key, index, false, &v);
        if (step == RUN_END) break;
        uint64_t h = 0;
        if (step != RUN_GOT) continue;
        if (!run_value_hash(row, v.name, &h))
            found = -1;
        else if (h == hash)
            found = 1;
    }
    plat_reg_close_key(key);
    if (found == 1 && !(*name = wide_join(v.name, wide_length(v.name), nullptr))) found = -1;
    return found;
}

static int record_failed(const char *what, const char16_t *name, plat_error e, const char *more) {
    run_text name8;
    set_last_error("runkey: cannot %s the StartupApproved record of '%s' (0x%x)%s", what,
                   run_message_name(name, &name8), e, more);
    return 0;
}

// After a rename that must also change the StartupApproved record: a record
// that cannot be changed fails the switch, and the rename is undone.
static int finish_switch(const run_location *row, const char16_t *name, const char16_t *target, int enabled) {
    plat_error e = enabled ? approve_clear(row->root, row->approved, name, target)
                           : approve_write_disabled(row->root, row->approved, target);
    if (e == PLAT_ERROR_SUCCESS) return 1;
    int undone = rename_run_value(row, target, name);
    return record_failed(enabled ? "clear" : "write", enabled ? name : target, e,
                         undone ? "" : "; undoing the rename failed");
}

// The name already has the wanted state, but its record must agree. On: an
// off record must go (the default value switched off is named "disabled",
// which counts as on, and the system's own switch marks values off without
// renaming). Off: the name alone does not stop the value starting, so a
// record must mark it off. An identical twin under the other name is an
// interrupted switch's copy and goes first; with it gone, or never there,
// switching on also removes its record.
static int keep_name(const run_location *row, plat_hkey key, const char16_t *name, const char16_t *twin,
                     int enabled) {
    run_twin t = compare_twin(key, name, twin);
    if (t == RUN_TWIN_ERROR || (t == RUN_TWIN_SAME && !remove_twin(key, twin, name))) return 0;
    const char16_t *old = enabled && t != RUN_TWIN_OTHER ? twin : nullptr;
    plat_error e = enabled ? approve_clear(row->root, row->approved, old, name)
                           : approve_ensure_disabled(row->root, row->approved, name);
    if (e == PLAT_ERROR_SUCCESS) return 1;
    return record_failed(enabled ? "clear" : "write", name, e, "");
}

// The name must become `target`. A target that holds the same type and
// bytes is the copy of a switch cut short: only the source goes. Any other
// value under that name is another program, and the switch is refused.
static int take_name(const run_location *row, plat_hkey key, const char16_t *name, const char16_t *target,
                     int enabled) {
    run_twin t = compare_twin(key, name, target);
    if (t == RUN_TWIN_ERROR) return 0;
    if (t == RUN_TWIN_OTHER) {
        run_text target8;
        set_last_error("runkey: cannot %s \xe2\x80\x94 '%s' already exists", enabled ? "enable" : "disable",
                       run_message_name(target, &target8));
        return 0;
    }
    int moved = t == RUN_TWIN_SAME ? remove_twin(key, name, target) : rename_run_value(row, name, target);
    return moved && finish_switch(row, name, target, enabled);
}

static int switch_to(const run_location *row, plat_hkey key, const char16_t *name, int enabled) {
    size_t n = wide_length(name);
    bool off = has_off_suffix(name, n);
    // The value's name in the other state: with the suffix cut, or added.
    char16_t *other = off ? wide_join(name, n - RUN_SUFFIX_LEN, nullptr) : wide_join(name, n, RUN_SUFFIX);
    if (!other) {
        set_last_error("OOM");
        return 0;
    }
    int done = off == !enabled ? keep_name(row, key, name, other, enabled) : take_name(row, key, name, other, enabled);
    free(other);
    return done;
}

static int switch_value(const run_location *row, const char16_t *name, int enabled) {
    plat_hkey key = nullptr;
    plat_error e = plat_reg_open_key_ex_a(row->root, row->path, 0, RUN_WRITE_ACCESS | row->view, &key);
    if (e == PLAT_ERROR_ACCESS_DENIED) {
        set_last_error("runkey: %s access denied (needs admin for HKLM)", row->per_user ? "HKCU" : "HKLM");
        return 0;
    }
    if (e != PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: open %s failed (0x%x)", row->subkey, e);
        return 0;
    }
    int done = switch_to(row, key, name, enabled);
    plat_reg_close_key(key);
    return done;
}

int set_run_entry_enabled(uint64_t hash, int enabled) {
    for (const run_location &row : run_locations) {
        if (!iequals(row.source, "runkey") || !run_location_present(&row)) continue;
        char16_t *name = nullptr;
        int found = find_in_location(&row, hash, &name);
        if (found < 0) {
            set_last_error("OOM");
            return 0;
        }
        if (found == 0) continue;
        int done = switch_value(&row, name, enabled);
        free(name);
        return done;
    }
    set_last_error("runkey: entry no longer exists");
    return 0;
}

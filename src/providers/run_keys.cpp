// The run-key provider's table, identifiers and listing: string values of
// the Run and RunOnce keys of both hives, the machine's in both registry
// views. A value is off when its name ends in "disabled" or its
// StartupApproved record says so (run_switch.cpp switches it).
//
// Names and data are read with the wide calls, so the listing shows them
// exactly. A name that the ANSI code page holds exactly keeps the
// identifier of its 8-bit form, which is what earlier versions hashed.
#include "run_keys.h"

#include <cstdlib>

#include "../platform/entry_writer.h"
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

plat_error open_run_key(const run_location *row, uint32_t access, plat_hkey *key) {
    return plat_reg_open_key_ex_a(row->root, row->path, 0, access | row->view, key);
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

// How a name stands in the ANSI code page.
enum ansi_form {
    ANSI_EXACT,      // it holds the name exactly: its 8-bit form is the identifier's
    ANSI_INEXACT,    // a default character, a best fit, or other units back
    ANSI_FAILED,     // a conversion failed, or memory ran out
};

// Whether `ansi` (the name's 8-bit form) converts back to the same units.
static ansi_form same_back(const char *ansi, const char16_t *name, size_t units) {
    int back = plat_ansi_to_utf16(ansi, -1, nullptr, 0);
    if (back <= 0) return ANSI_FAILED;
    if ((size_t)back != units) return ANSI_INEXACT;
    char16_t fixed[RUN_BACK_FIXED];
    char16_t *wide = units <= RUN_BACK_FIXED ? fixed : (char16_t *)malloc(units * sizeof(char16_t));
    if (!wide) return ANSI_FAILED;
    ansi_form form = plat_ansi_to_utf16(ansi, -1, wide, back) == back ? ANSI_EXACT : ANSI_FAILED;
    for (size_t i = 0; form == ANSI_EXACT && i < units; i++)
        if (wide[i] != name[i]) form = ANSI_INEXACT;
    if (wide != fixed) free(wide);
    return form;
}

// The name's 8-bit form, in *out when the ANSI code page holds it exactly
// (no default character, no best fit, the same units back).
static ansi_form exact_ansi(const char16_t *name, run_text *out) {
    int used = 0;
    int bytes = plat_utf16_to_ansi(name, -1, nullptr, 0, &used);
    if (bytes <= 0) return ANSI_FAILED;
    if (used) return ANSI_INEXACT;
    char *dst = out->fixed;
    if ((size_t)bytes > sizeof out->fixed) dst = out->heap = (char *)malloc((size_t)bytes);
    if (!dst || plat_utf16_to_ansi(name, -1, dst, bytes, &used) <= 0) return ANSI_FAILED;
    if (used) return ANSI_INEXACT;
    out->text = dst;
    ansi_form form = same_back(dst, name, wide_length(name) + 1);
    if (form != ANSI_EXACT) out->text = nullptr;
    return form;
}

bool run_value_hash(const run_location *row, const char16_t *name, uint64_t *hash) {
    run_text form;
    ansi_form exact = exact_ansi(name, &form);
    if (exact == ANSI_EXACT) {
        *hash = run_entry_hash(row->per_user, row->subkey, form.text);
        return true;
    }
    if (exact == ANSI_FAILED || !utf16_to_utf8(name, &form)) return false;
    *hash = run_entry_hash_wide(row->per_user, row->subkey, form.text);
    return true;
}

bool run_name_is_off(const char16_t *name, size_t n) {
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
    utf16_to_utf8(v->name, &name);
    const char16_t *data = run_value_text(v);
    utf16_to_utf8(data, &command);
    bool off = run_name_is_off(v->name, wide_length(v->name)) || approve_marks_off(records, v->name);
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
    if (open_run_key(row, PLAT_KEY_READ, &key) != PLAT_ERROR_SUCCESS) return;
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

// ---- finding a value again by its identifier ----

run_search find_run_value(const run_location *row, uint64_t hash, char16_t **name) {
    plat_hkey key = nullptr;
    if (open_run_key(row, PLAT_KEY_READ, &key) != PLAT_ERROR_SUCCESS) return RUN_NOT_HERE;
    run_value v;
    run_search found = run_value_open(&v) ? RUN_NOT_HERE : RUN_OUT_OF_MEMORY;
    for (uint32_t index = 0; found == RUN_NOT_HERE; index++) {
        run_step step = read_run_value(key, index, false, &v);
        if (step == RUN_END) break;
        uint64_t h = 0;
        if (step != RUN_GOT) continue;
        if (!run_value_hash(row, v.name, &h))
            found = RUN_OUT_OF_MEMORY;
        else if (h == hash)
            found = RUN_FOUND;
    }
    plat_reg_close_key(key);
    if (found == RUN_FOUND && !(*name = wide_join(v.name, wide_length(v.name), nullptr))) found = RUN_OUT_OF_MEMORY;
    return found;
}

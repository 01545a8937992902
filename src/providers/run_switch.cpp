// Switching a run value. Off, a value takes its name with the suffix
// "disabled" and a StartupApproved record that marks it off; on, the name
// without the suffix, and any off record of that name goes.
//
// set_run_entry_enabled finds the value by its identifier and opens its key
// for writing; switch_to decides. A value that already has the wanted name
// keeps it (keep_name) and only its record is brought into line. Otherwise
// it takes the other name (take_name): renamed by a byte-exact copy and
// the old name deleted (rename_run_value), unless that name already holds
// a twin; then the record follows the new state, and when it cannot, the
// rename is undone.
//
// A twin is a value under both names (Updater and Updaterdisabled) with the
// same type and bytes: what a switch cut short leaves, the copy written,
// the old name not yet deleted. The next switch takes the twin for its own
// copy and removes the one it does not keep. Twins that differ are two
// programs and are never merged: the switch is refused.
//
// Another program may switch the same value at the same moment: a source
// already deleted is its work, and whoever deletes one of two copies looks
// again for the other afterwards and writes its own back when that one has
// gone too (the write-back), so that one of the two always stays.
//
// Names and data go through the wide calls, which hand the type and the
// data over byte for byte; the 8-bit ones would turn every character
// outside the ANSI code page into '?' and so change the command.
#include <cstdlib>
#include <cstring>

#include "../platform/last_error.h"
#include "providers.h"
#include "run_keys.h"
#include "startup_approved.h"

namespace {

// ---- the write-back ----

// After `gone` was deleted as a copy of `kept`: true when `kept` is still
// there. When it has vanished under another program's switch, writes
// `gone` back from `copy` (data null: nothing to write) and records which
// of the two came of it.
bool kept_or_written_back(plat_hkey key, const char16_t *gone, const char16_t *kept, const run_copy *copy) {
    // Only a value really gone is written back: a look that merely failed
    // must not leave two copies.
    if (plat_reg_query_value_ex_w(key, kept, nullptr, nullptr, nullptr) != PLAT_ERROR_FILE_NOT_FOUND) return true;
    run_text gone8, kept8;
    plat_error e = copy->data ? plat_reg_set_value_ex_w(key, gone, copy->type, copy->data, copy->size)
                              : PLAT_ERROR_FILE_NOT_FOUND;
    if (e == PLAT_ERROR_SUCCESS)
        set_last_error("runkey: '%s' was removed by another program while switching; '%s' is kept",
                       run_message_name(kept, &kept8), run_message_name(gone, &gone8));
    else
        set_last_error("runkey: '%s' was removed by another program while switching, and '%s' could not be "
                       "written back (0x%x)",
                       run_message_name(kept, &kept8), run_message_name(gone, &gone8), e);
    return false;
}

// ---- the twin rule ----

enum run_twin {
    TWIN_NONE,   // no value named `twin`
    TWIN_SAME,   // `twin` holds the same type and bytes as `name`
    TWIN_OTHER,  // `twin` is another program
    TWIN_ERROR,  // could not be told (message recorded)
};

run_twin compare_twin(plat_hkey key, const char16_t *name, const char16_t *twin) {
    // Only a value that is not there is no twin: a look that merely failed
    // must not let the switch write over another program's value.
    plat_error e = plat_reg_query_value_ex_w(key, twin, nullptr, nullptr, nullptr);
    if (e == PLAT_ERROR_FILE_NOT_FOUND) return TWIN_NONE;
    run_copy a, b;
    const char16_t *failed = twin;
    if (e == PLAT_ERROR_SUCCESS) {
        e = read_copy(key, name, &a);
        failed = name;
    }
    if (e == PLAT_ERROR_SUCCESS) {
        e = read_copy(key, twin, &b);
        failed = twin;
    }
    if (e == PLAT_ERROR_FILE_NOT_FOUND && failed == twin) return TWIN_NONE;  // gone meanwhile
    if (e != PLAT_ERROR_SUCCESS) {
        run_text name8;
        if (e == PLAT_ERROR_NOT_ENOUGH_MEMORY)
            set_last_error("OOM");
        else
            set_last_error("runkey: read '%s' failed", run_message_name(failed, &name8));
        return TWIN_ERROR;
    }
    bool same = a.type == b.type && a.size == b.size && memcmp(a.data, b.data, a.size) == 0;
    return same ? TWIN_SAME : TWIN_OTHER;
}

// Deletes `gone`, a copy of `kept`. 1 when done; 0 with a message when the
// delete failed or `kept` vanished meanwhile (then `gone` is written back).
int remove_twin(plat_hkey key, const char16_t *gone, const char16_t *kept) {
    run_copy copy;
    run_text gone8;
    plat_error e = read_copy(key, gone, &copy);
    if (e == PLAT_ERROR_SUCCESS) e = plat_reg_delete_value_w(key, gone);
    if (e != PLAT_ERROR_SUCCESS && e != PLAT_ERROR_FILE_NOT_FOUND) {
        set_last_error("runkey: cannot remove the copy '%s' (0x%x)", run_message_name(gone, &gone8), e);
        return 0;
    }
    return kept_or_written_back(key, gone, kept, &copy) ? 1 : 0;
}

// ---- the rename ----

enum copy_result {
    COPY_MOVED,          // `to` holds the value, `from` is gone
    COPY_STOPPED,        // a check failed, or the copy vanished and was written back: message recorded
    COPY_WRITE_FAILED,   // `to` not written: nothing to undo (*code set)
    COPY_DELETE_FAILED,  // `to` written, `from` still there: the caller rolls back (*code set)
};

// Checks that `from` exists and `to` does not, copies `from` to `to` byte
// for byte and deletes `from`, on an open handle. A source already deleted
// by another switcher is its work, and ours is done.
copy_result copy_and_delete(plat_hkey key, const char16_t *from, const char16_t *to, plat_error *code) {
    run_text from8, to8;
    run_copy copy;
    if (size_copy(key, from, &copy) != PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: value '%s' not found", run_message_name(from, &from8));
        return COPY_STOPPED;
    }
    plat_error there = plat_reg_query_value_ex_w(key, to, nullptr, nullptr, nullptr);
    if (there == PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: target value '%s' already exists", run_message_name(to, &to8));
        return COPY_STOPPED;
    }
    if (there != PLAT_ERROR_FILE_NOT_FOUND) {  // unknown: never write over it
        if (there == PLAT_ERROR_NOT_ENOUGH_MEMORY)
            set_last_error("OOM");
        else
            set_last_error("runkey: read '%s' failed", run_message_name(to, &to8));
        return COPY_STOPPED;
    }
    if (fill_copy(key, from, &copy) != PLAT_ERROR_SUCCESS) {
        if (!copy.data)
            set_last_error("OOM");
        else
            set_last_error("runkey: read '%s' failed", run_message_name(from, &from8));
        return COPY_STOPPED;
    }
    *code = plat_reg_set_value_ex_w(key, to, copy.type, copy.data, copy.size);
    if (*code != PLAT_ERROR_SUCCESS) return COPY_WRITE_FAILED;
    *code = plat_reg_delete_value_w(key, from);
    if (*code == PLAT_ERROR_FILE_NOT_FOUND) *code = PLAT_ERROR_SUCCESS;
    if (*code != PLAT_ERROR_SUCCESS) return COPY_DELETE_FAILED;
    return kept_or_written_back(key, from, to, &copy) ? COPY_MOVED : COPY_STOPPED;
}

// Deletes the copy again, unless the source has gone meanwhile: then the
// copy is the only one left.
void roll_back(const run_location *row, const char16_t *from, const char16_t *to) {
    plat_hkey key = nullptr;
    if (open_run_key(row, RUN_WRITE_ACCESS, &key) != PLAT_ERROR_SUCCESS) return;
    if (plat_reg_query_value_ex_w(key, from, nullptr, nullptr, nullptr) == PLAT_ERROR_SUCCESS)
        plat_reg_delete_value_w(key, to);
    plat_reg_close_key(key);
}

}  // namespace

int rename_run_value(const run_location *row, const char16_t *from, const char16_t *to) {
    plat_hkey key = nullptr;
    plat_error e = open_run_key(row, RUN_WRITE_ACCESS, &key);
    if (e != PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: open %s failed (0x%x)", row->subkey, e);
        return 0;
    }
    plat_error code = PLAT_ERROR_SUCCESS;
    copy_result done = copy_and_delete(key, from, to, &code);
    plat_reg_close_key(key);
    if (done == COPY_MOVED) return 1;
    if (done == COPY_STOPPED) return 0;
    if (done == COPY_DELETE_FAILED) roll_back(row, from, to);
    run_text from8, to8;
    set_last_error("runkey: rename '%s'->'%s' failed (0x%x)", run_message_name(from, &from8),
                   run_message_name(to, &to8), code);
    return 0;
}

namespace {

// ---- the records ----

// Writes the record that marks `name` off, in the native view whichever
// view the value is in; the records key is made when missing. 0 or the
// failing call's code.
plat_error write_off_record(const run_location *row, const char16_t *name) {
    plat_hkey key = nullptr;
    plat_error e = plat_reg_create_key_ex_a(row->root, row->approved, APPROVED_WRITE_ACCESS, &key);
    if (e != PLAT_ERROR_SUCCESS) return e;
    uint8_t record[APPROVED_RECORD_SIZE] = {APPROVED_OFF, 0, 0, 0};
    uint64_t now = plat_get_system_time_as_file_time();
    for (int i = 0; i < 8; i++) record[4 + i] = (uint8_t)(now >> (8 * i));
    e = plat_reg_set_value_ex_w(key, name, PLAT_REG_BINARY, record, APPROVED_RECORD_SIZE);
    plat_reg_close_key(key);
    return e;
}

// The same, unless a record already marks `name` off: that one, and its
// time, stay.
plat_error ensure_off_record(const run_location *row, const char16_t *name) {
    bool off = false;
    plat_error e = approve_read_off(row->root, row->approved, name, &off);
    if (e != PLAT_ERROR_SUCCESS) return e;
    return off ? PLAT_ERROR_SUCCESS : write_off_record(row, name);
}

int run_record_failed(const char *what, const char16_t *name, plat_error e, const char *more) {
    run_text name8;
    return approve_failed("runkey", what, run_message_name(name, &name8), e, more);
}

// After a rename that must also change the StartupApproved record: a record
// that cannot be changed fails the switch, and the rename is undone.
int finish_switch(const run_location *row, const char16_t *name, const char16_t *target, int enabled) {
    plat_error e = enabled ? approve_clear(row->root, row->approved, name, target)
                           : write_off_record(row, target);
    if (e == PLAT_ERROR_SUCCESS) return 1;
    int undone = rename_run_value(row, target, name);
    return run_record_failed(enabled ? "clear" : "write", enabled ? name : target, e,
                         undone ? "" : "; undoing the rename failed");
}

// ---- the decision ----

// The name already has the wanted state, but its record must agree. On: an
// off record must go (the default value switched off is named "disabled",
// which counts as on, and the system's own switch marks values off without
// renaming). Off: the name alone does not stop the value starting, so a
// record must mark it off. An identical twin under the other name is an
// interrupted switch's copy and goes first; with it gone, or never there,
// switching on also removes its record.
int keep_name(const run_location *row, plat_hkey key, const char16_t *name, const char16_t *twin, int enabled) {
    run_twin t = compare_twin(key, name, twin);
    if (t == TWIN_ERROR || (t == TWIN_SAME && !remove_twin(key, twin, name))) return 0;
    const char16_t *old = enabled && t != TWIN_OTHER ? twin : nullptr;
    plat_error e = enabled ? approve_clear(row->root, row->approved, old, name)
                           : ensure_off_record(row, name);
    if (e == PLAT_ERROR_SUCCESS) return 1;
    return run_record_failed(enabled ? "clear" : "write", name, e, "");
}

// The name must become `target`. A target that holds the same type and
// bytes is the copy of a switch cut short: only the source goes. Any other
// value under that name is another program, and the switch is refused.
int take_name(const run_location *row, plat_hkey key, const char16_t *name, const char16_t *target, int enabled) {
    run_twin t = compare_twin(key, name, target);
    if (t == TWIN_ERROR) return 0;
    if (t == TWIN_OTHER) {
        run_text target8;
        set_last_error("runkey: cannot %s \xe2\x80\x94 '%s' already exists", enabled ? "enable" : "disable",
                       run_message_name(target, &target8));
        return 0;
    }
    int moved = t == TWIN_SAME ? remove_twin(key, name, target) : rename_run_value(row, name, target);
    return moved && finish_switch(row, name, target, enabled);
}

int switch_to(const run_location *row, plat_hkey key, const char16_t *name, int enabled) {
    size_t n = wide_length(name);
    bool off = run_name_is_off(name, n);
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

int switch_value(const run_location *row, const char16_t *name, int enabled) {
    plat_hkey key = nullptr;
    plat_error e = open_run_key(row, RUN_WRITE_ACCESS, &key);
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

}  // namespace

int set_run_entry_enabled(uint64_t hash, int enabled) {
    for (const run_location &row : run_locations) {
        if (!iequals(row.source, "runkey") || !run_location_present(&row)) continue;
        char16_t *name = nullptr;
        run_search found = find_run_value(&row, hash, &name);
        if (found == RUN_OUT_OF_MEMORY) {
            set_last_error("OOM");
            return 0;
        }
        if (found == RUN_NOT_HERE) continue;
        int done = switch_value(&row, name, enabled);
        free(name);
        return done;
    }
    set_last_error("runkey: entry no longer exists");
    return 0;
}

// Renaming a run value: copy, then delete the old name, with rollback.
//
// Names and data go through the wide calls, which hand the type and the
// data over byte for byte; the 8-bit ones would turn every character
// outside the ANSI code page into '?' and so change the command.
#include <cstdlib>
#include <cstring>

#include "../platform/last_error.h"
#include "run_keys.h"

#define RUN_WRITE_ACCESS (PLAT_KEY_READ | PLAT_KEY_SET_VALUE)
#define RUN_GUARD_BYTES 2
#define RUN_GUARD_FILL 0x20

// Steps 2 to 7 on an open handle: checks, byte-exact copy, delete. Returns
// 1 when done, 0 after a failed check (message recorded), -1 when the write
// failed (nothing to undo), -2 when the delete failed (*code set; the
// caller rolls back).
//
// Another program may switch the same value at the same moment: a source
// already deleted is its work and ours is done, and a copy that it removed
// as a twin of the source is written back under the old name.
static int copy_and_delete(plat_hkey key, const char16_t *from, const char16_t *to, plat_error *code) {
    run_text from8, to8;
    uint32_t type = 0, size = 0;
    if (plat_reg_query_value_ex_w(key, from, &type, nullptr, &size) != PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: value '%s' not found", run_message_name(from, &from8));
        return 0;
    }
    if (plat_reg_query_value_ex_w(key, to, nullptr, nullptr, nullptr) == PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: target value '%s' already exists", run_message_name(to, &to8));
        return 0;
    }
    uint8_t *data = (uint8_t *)malloc((size_t)size + RUN_GUARD_BYTES);
    if (!data) {
        set_last_error("OOM");
        return 0;
    }
    // A capacity of exactly the stored size leaves no room for a terminator
    // that the wide read would add to unterminated string data.
    if (plat_reg_query_value_ex_w(key, from, &type, data, &size) != PLAT_ERROR_SUCCESS) {
        free(data);
        set_last_error("runkey: read '%s' failed", run_message_name(from, &from8));
        return 0;
    }
    // The wide write stores one more unit when string data lacks its
    // terminator and a NUL unit follows it in memory; non-NUL bytes there
    // keep the copy at the stored size.
    memset(data + size, RUN_GUARD_FILL, RUN_GUARD_BYTES);
    *code = plat_reg_set_value_ex_w(key, to, type, data, size);
    if (*code != PLAT_ERROR_SUCCESS) {
        free(data);
        return -1;
    }
    *code = plat_reg_delete_value_w(key, from);
    if (*code == PLAT_ERROR_FILE_NOT_FOUND) *code = PLAT_ERROR_SUCCESS;
    int done = *code == PLAT_ERROR_SUCCESS ? 1 : -2;
    if (done == 1 && plat_reg_query_value_ex_w(key, to, nullptr, nullptr, nullptr) == PLAT_ERROR_FILE_NOT_FOUND) {
        write_back(key, from, to, type, data, size);
        done = 0;
    }
    free(data);
    return done;
}

// Deletes the copy again, unless the source has gone meanwhile: then the
// copy is the only one left.
static void roll_back(const run_location *row, const char16_t *from, const char16_t *to) {
    plat_hkey key = nullptr;
    if (plat_reg_open_key_ex_a(row->root, row->path, 0, RUN_WRITE_ACCESS | row->view, &key) != PLAT_ERROR_SUCCESS)
        return;
    if (plat_reg_query_value_ex_w(key, from, nullptr, nullptr, nullptr) == PLAT_ERROR_SUCCESS)
        plat_reg_delete_value_w(key, to);
    plat_reg_close_key(key);
}

int rename_run_value(const run_location *row, const char16_t *from, const char16_t *to) {
    plat_hkey key = nullptr;
    plat_error e = plat_reg_open_key_ex_a(row->root, row->path, 0, RUN_WRITE_ACCESS | row->view, &key);
    if (e != PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: open %s failed (0x%x)", row->subkey, e);
        return 0;
    }
    plat_error code = PLAT_ERROR_SUCCESS;
    int done = copy_and_delete(key, from, to, &code);
    plat_reg_close_key(key);
    if (done >= 0) return done;
    if (done == -2) roll_back(row, from, to);
    run_text from8, to8;
    set_last_error("runkey: rename '%s'->'%s' failed (0x%x)", run_message_name(from, &from8),
                   run_message_name(to, &to8), code);
    return 0;
}

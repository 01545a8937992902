// Renaming a run value: copy, then delete the old name, with rollback.
//
// The copy goes through the wide calls, which hand the type and the data
// over byte for byte; the 8-bit ones would turn every character outside the
// ANSI code page into '?' and so change the command. Names stay 8-bit text
// as enumerated and are converted from the ANSI code page for those calls.
#include <cstdlib>
#include <cstring>

#include "../platform/last_error.h"
#include "../platform/platform_convert.h"
#include "run_keys.h"

#define RUN_WRITE_ACCESS (PLAT_KEY_READ | PLAT_KEY_SET_VALUE)
#define RUN_GUARD_BYTES 2
#define RUN_GUARD_FILL 0x20

// A value name as UTF-16 (new heap memory), or null when out of memory.
static char16_t *wide_name(const char *name) {
    int units = plat_ansi_to_utf16(name, -1, nullptr, 0);
    if (units <= 0) return nullptr;
    char16_t *wide = (char16_t *)malloc((size_t)units * sizeof(char16_t));
    if (wide && plat_ansi_to_utf16(name, -1, wide, units) <= 0) {
        free(wide);
        wide = nullptr;
    }
    return wide;
}

// Steps 2 to 7 on an open handle: checks, byte-exact copy, delete. Returns
// 1 when done, 0 after a failed check (message recorded), -1 when the write
// or the delete failed (*code set; the caller rolls back).
static int copy_and_delete(plat_hkey key, const char *from, const char *to, const char16_t *wfrom,
                           const char16_t *wto, plat_error *code) {
    uint32_t type = 0, size = 0;
    if (plat_reg_query_value_ex_w(key, wfrom, &type, nullptr, &size) != PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: value '%s' not found", from);
        return 0;
    }
    if (plat_reg_query_value_ex_w(key, wto, nullptr, nullptr, nullptr) == PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: target value '%s' already exists", to);
        return 0;
    }
    uint8_t *data = (uint8_t *)malloc((size_t)size + RUN_GUARD_BYTES);
    if (!data) {
        set_last_error("OOM");
        return 0;
    }
    // A capacity of exactly the stored size leaves no room for a terminator
    // that the wide read would add to unterminated string data.
    if (plat_reg_query_value_ex_w(key, wfrom, &type, data, &size) != PLAT_ERROR_SUCCESS) {
        free(data);
        set_last_error("runkey: read '%s' failed", from);
        return 0;
    }
    // The wide write stores one more unit when string data lacks its
    // terminator and a NUL unit follows it in memory; non-NUL bytes there
    // keep the copy at the stored size.
    memset(data + size, RUN_GUARD_FILL, RUN_GUARD_BYTES);
    *code = plat_reg_set_value_ex_w(key, wto, type, data, size);
    if (*code == PLAT_ERROR_SUCCESS) *code = plat_reg_delete_value_a(key, from);
    free(data);
    return *code == PLAT_ERROR_SUCCESS ? 1 : -1;
}

static void roll_back(plat_hkey root, const char *subkey, const char *to) {
    plat_hkey key = nullptr;
    if (plat_reg_open_key_ex_a(root, subkey, 0, RUN_WRITE_ACCESS, &key) != PLAT_ERROR_SUCCESS) return;
    plat_reg_delete_value_a(key, to);
    plat_reg_close_key(key);
}

int rename_run_value(plat_hkey root, const char *subkey, const char *from, const char *to) {
    plat_hkey key = nullptr;
    plat_error e = plat_reg_open_key_ex_a(root, subkey, 0, RUN_WRITE_ACCESS, &key);
    if (e != PLAT_ERROR_SUCCESS) {
        set_last_error("runkey: open %s failed (0x%x)", subkey, e);
        return 0;
    }
    char16_t *wfrom = wide_name(from), *wto = wide_name(to);
    int done = 0;
    plat_error code = PLAT_ERROR_SUCCESS;
    if (wfrom && wto)
        done = copy_and_delete(key, from, to, wfrom, wto, &code);
    else
        set_last_error("OOM");
    free(wfrom);
    free(wto);
    plat_reg_close_key(key);
    if (done >= 0) return done;
    roll_back(root, subkey, to);
    set_last_error("runkey: rename '%s'->'%s' failed (0x%x)", from, to, code);
    return 0;
}

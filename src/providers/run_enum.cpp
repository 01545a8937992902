// Reading run values one index at a time. A value whose data does not fit
// the fixed buffer is read again with a buffer of its size, and a value
// whose name does not fit is passed over, so that neither hides the values
// after it.
#include <cstdlib>
#include <cstring>

#include "../platform/platform_convert.h"
#include "../platform/text.h"
#include "run_keys.h"

// Tries before giving up on a value whose data keeps growing under us.
#define RUN_LARGE_TRIES 3

run_value::~run_value() { free(large); }

static bool is_run_string(uint32_t type) { return type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ; }

static run_step step_of(plat_error e) {
    if (e == PLAT_ERROR_SUCCESS) return RUN_GOT;
    return e == PLAT_ERROR_MORE_DATA ? RUN_SKIP : RUN_END;
}

// Reads the value at `index` whose data did not fit `small`.
static run_step read_large(plat_hkey key, uint32_t index, run_value *v) {
    for (int attempt = 0; attempt < RUN_LARGE_TRIES; attempt++) {
        uint32_t name_len = RUN_NAME_CAP, size = 0;
        v->type = 0;
        plat_error e = plat_reg_enum_value_a(key, index, v->name, &name_len, &v->type, nullptr, &size);
        if (e != PLAT_ERROR_SUCCESS) return step_of(e);  // MORE_DATA here: the name is too long
        if (!is_run_string(v->type)) return RUN_GOT;     // not listed: its data is not needed
        if (size == UINT32_MAX) return RUN_SKIP;
        free(v->large);
        v->large = (uint8_t *)malloc((size_t)size + 1);
        if (!v->large) return RUN_SKIP;
        v->size = size;
        name_len = RUN_NAME_CAP;
        e = plat_reg_enum_value_a(key, index, v->name, &name_len, &v->type, v->large, &v->size);
        if (e != PLAT_ERROR_MORE_DATA) return step_of(e);
    }
    return RUN_SKIP;
}

run_step read_run_value(plat_hkey key, uint32_t index, bool with_data, run_value *v) {
    uint32_t name_len = RUN_NAME_CAP;
    free(v->large);
    v->large = nullptr;
    v->type = 0;
    v->size = 0;
    if (!with_data) return step_of(plat_reg_enum_value_a(key, index, v->name, &name_len, nullptr, nullptr, nullptr));
    v->size = RUN_DATA_CAP;
    plat_error e = plat_reg_enum_value_a(key, index, v->name, &name_len, &v->type, v->small, &v->size);
    if (e == PLAT_ERROR_MORE_DATA) return read_large(key, index, v);
    if (e != PLAT_ERROR_SUCCESS) v->size = 0;
    return step_of(e);
}

const char *run_value_text(run_value *v) {
    // `small` has one byte beyond RUN_DATA_CAP and `large` one beyond its
    // size, so the terminator always has room.
    uint8_t *data = v->large ? v->large : v->small;
    data[v->size] = 0;
    return (const char *)data;
}

run_utf8::~run_utf8() { free(heap); }

// Wide units that need no heap: any name or data of the fixed buffers.
#define RUN_WIDE_FIXED (RUN_DATA_CAP + 1)

// UTF-16 as UTF-8 into out: the same two converter calls as utf16_to_utf8.
static bool utf16_into(const char16_t *wide, run_utf8 *out) {
    int bytes = plat_utf16_to_utf8(wide, -1, nullptr, 0);
    if (bytes <= 0) return false;
    char *dst = out->fixed;
    if (bytes > RUN_UTF8_FIXED) dst = out->heap = (char *)malloc((size_t)bytes);
    if (!dst || plat_utf16_to_utf8(wide, -1, dst, bytes) <= 0) return false;
    out->text = dst;
    return true;
}

bool ansi_to_utf8(const char *text, run_utf8 *out) {
    out->text = nullptr;
    if (!text) return false;
    int units = plat_ansi_to_utf16(text, -1, nullptr, 0);
    if (units <= 0) return false;
    char16_t fixed[RUN_WIDE_FIXED];
    char16_t *wide = units <= RUN_WIDE_FIXED ? fixed : (char16_t *)malloc((size_t)units * sizeof(char16_t));
    if (!wide) return false;
    bool done = plat_ansi_to_utf16(text, -1, wide, units) > 0 && utf16_into(wide, out);
    if (wide != fixed) free(wide);
    return done;
}

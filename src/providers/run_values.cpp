// Reading run values with the wide calls: one index at a time for the
// listing and the search, or one value whole for the switch. A value whose
// data does not fit the fixed buffer is read again with a buffer of its
// size, so that it does not hide the values after it; the name buffer holds
// the longest name the registry allows.
#include <cstdlib>
#include <cstring>

#include "../platform/text.h"
#include "run_keys.h"

// Tries before giving up on a value whose data keeps growing under us.
#define RUN_LARGE_TRIES 3

run_value::~run_value() {
    free(name);
    free(large);
}

bool run_value_open(run_value *v) {
    if (!v->name) v->name = (char16_t *)malloc(RUN_NAME_UNITS * sizeof(char16_t));
    return v->name != nullptr;
}

static bool is_run_string(uint32_t type) { return type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ; }

static run_step step_of(plat_error e) {
    if (e == PLAT_ERROR_SUCCESS) return RUN_GOT;
    return e == PLAT_ERROR_MORE_DATA ? RUN_SKIP : RUN_END;
}

// Reads the value at `index` whose data did not fit `small`.
static run_step read_large(plat_hkey key, uint32_t index, run_value *v) {
    for (int attempt = 0; attempt < RUN_LARGE_TRIES; attempt++) {
        uint32_t name_len = RUN_NAME_UNITS, size = 0;
        v->type = 0;
        plat_error e = plat_reg_enum_value_w(key, index, v->name, &name_len, &v->type, nullptr, &size);
        if (e != PLAT_ERROR_SUCCESS) return step_of(e);
        if (!is_run_string(v->type)) return RUN_GOT;  // not listed: its data is not needed
        if (size > UINT32_MAX - 2) return RUN_SKIP;
        free(v->large);
        v->large = (uint8_t *)malloc((size_t)size + 2);
        if (!v->large) return RUN_SKIP;
        v->size = size;
        name_len = RUN_NAME_UNITS;
        e = plat_reg_enum_value_w(key, index, v->name, &name_len, &v->type, v->large, &v->size);
        if (e != PLAT_ERROR_MORE_DATA) return step_of(e);
    }
    return RUN_SKIP;
}

run_step read_run_value(plat_hkey key, uint32_t index, bool with_data, run_value *v) {
    uint32_t name_len = RUN_NAME_UNITS;
    free(v->large);
    v->large = nullptr;
    v->type = 0;
    v->size = 0;
    if (!run_value_open(v)) return RUN_END;
    if (!with_data) return step_of(plat_reg_enum_value_w(key, index, v->name, &name_len, nullptr, nullptr, nullptr));
    v->size = RUN_DATA_CAP;
    plat_error e = plat_reg_enum_value_w(key, index, v->name, &name_len, &v->type, v->small, &v->size);
    if (e == PLAT_ERROR_MORE_DATA) return read_large(key, index, v);
    if (e != PLAT_ERROR_SUCCESS) v->size = 0;
    return step_of(e);
}

const char16_t *run_value_text(run_value *v) {
    // `small` has two bytes beyond RUN_DATA_CAP and `large` two beyond its
    // size, so the terminator always has room; an odd last byte is no unit.
    uint8_t *data = v->large ? v->large : v->small;
    size_t units = v->size / 2;
    data[2 * units] = data[2 * units + 1] = 0;
    char16_t *text = (char16_t *)data;
    return text;
}

// ---- one value whole ----

// Two spare bytes, not NUL, so that a write of unterminated string data
// stores the bytes read and nothing more: the wide write stores one more
// unit when such data is followed by a NUL unit in memory.
#define RUN_GUARD_BYTES 2
#define RUN_GUARD_FILL 0x20

run_copy::~run_copy() { free(data); }

plat_error size_copy(plat_hkey key, const char16_t *name, run_copy *copy) {
    free(copy->data);
    copy->data = nullptr;
    return plat_reg_query_value_ex_w(key, name, &copy->type, nullptr, &copy->size);
}

plat_error fill_copy(plat_hkey key, const char16_t *name, run_copy *copy) {
    copy->data = (uint8_t *)malloc((size_t)copy->size + RUN_GUARD_BYTES);
    if (!copy->data) return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    // A capacity of exactly the stored size leaves no room for a terminator
    // that the wide read would add to unterminated string data.
    plat_error e = plat_reg_query_value_ex_w(key, name, &copy->type, copy->data, &copy->size);
    if (e == PLAT_ERROR_SUCCESS) memset(copy->data + copy->size, RUN_GUARD_FILL, RUN_GUARD_BYTES);
    return e;
}

plat_error read_copy(plat_hkey key, const char16_t *name, run_copy *copy) {
    plat_error e = size_copy(key, name, copy);
    return e != PLAT_ERROR_SUCCESS ? e : fill_copy(key, name, copy);
}

// ---- names ----

const char *run_message_name(const char16_t *name, run_text *buffer) {
    return utf16_to_utf8(name, buffer) ? buffer->text : "?";
}

char16_t *wide_join(const char16_t *s, size_t units, const char16_t *suffix) {
    size_t extra = suffix ? wide_length(suffix) : 0;
    char16_t *joined = (char16_t *)malloc((units + extra + 1) * sizeof(char16_t));
    if (!joined) return nullptr;
    memcpy(joined, s, units * sizeof(char16_t));
    if (extra) memcpy(joined + units, suffix, extra * sizeof(char16_t));
    joined[units + extra] = 0;
    return joined;
}

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

char *run_value_text(const run_value *v) {
    const uint8_t *data = v->data();
    const void *nul = memchr(data, 0, v->size);
    size_t len = nul ? (size_t)((const uint8_t *)nul - data) : v->size;
    char *text = (char *)malloc(len + 1);
    if (!text) return nullptr;
    memcpy(text, data, len);
    text[len] = '\0';
    return text;
}

char *ansi_to_utf8(const char *text) {
    if (!text) return nullptr;
    int units = plat_ansi_to_utf16(text, -1, nullptr, 0);
    if (units <= 0) return nullptr;
    char16_t *wide = (char16_t *)malloc((size_t)units * sizeof(char16_t));
    if (!wide) return nullptr;
    char *utf8 = nullptr;
    if (plat_ansi_to_utf16(text, -1, wide, units) > 0) {
        utf8 = utf16_to_utf8(wide);
        // utf16_to_utf8 answers "" when it fails; that is no conversion of a non-empty name.
        if (utf8 && !utf8[0] && wide[0]) {
            free(utf8);
            utf8 = nullptr;
        }
    }
    free(wide);
    return utf8;
}

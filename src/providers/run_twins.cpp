// A value under both its names (Updater and Updaterdisabled) with the same
// type and bytes is what a switch cut short leaves: the copy was written,
// the old name not yet deleted. The next switch takes the twin for its own
// copy and removes the one it does not keep; twins that differ are two
// programs and are never merged.
//
// Another program may be switching the same value at the same moment, so
// whoever deletes one of two copies looks again for the other afterwards,
// and writes its own back when that one has gone too.
#include <cstdlib>
#include <cstring>

#include "../platform/last_error.h"
#include "run_keys.h"

run_copy::~run_copy() { free(data); }

plat_error read_copy(plat_hkey key, const char16_t *name, run_copy *copy) {
    free(copy->data);
    copy->data = nullptr;
    uint32_t size = 0;
    plat_error e = plat_reg_query_value_ex_w(key, name, &copy->type, nullptr, &size);
    if (e != PLAT_ERROR_SUCCESS) return e;
    // Two spare bytes, not NUL, so that a write of unterminated string data
    // stores the bytes read and nothing more.
    copy->data = (uint8_t *)malloc((size_t)size + 2);
    if (!copy->data) return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    copy->size = size;
    e = plat_reg_query_value_ex_w(key, name, &copy->type, copy->data, &copy->size);
    if (e == PLAT_ERROR_SUCCESS) memset(copy->data + copy->size, 0x20, 2);
    return e;
}

run_twin compare_twin(plat_hkey key, const char16_t *name, const char16_t *twin) {
    if (plat_reg_query_value_ex_w(key, twin, nullptr, nullptr, nullptr) != PLAT_ERROR_SUCCESS) return RUN_TWIN_NONE;
    run_copy a, b;
    plat_error e = read_copy(key, name, &a);
    const char16_t *failed = name;
    if (e == PLAT_ERROR_SUCCESS) {
        e = read_copy(key, twin, &b);
        failed = twin;
    }
    if (e == PLAT_ERROR_FILE_NOT_FOUND && failed == twin) return RUN_TWIN_NONE;  // gone meanwhile
    if (e != PLAT_ERROR_SUCCESS) {
        run_text name8;
        if (e == PLAT_ERROR_NOT_ENOUGH_MEMORY)
            set_last_error("OOM");
        else
            set_last_error("runkey: read '%s' failed", run_message_name(failed, &name8));
        return RUN_TWIN_ERROR;
    }
    bool same = a.type == b.type && a.size == b.size && memcmp(a.data, b.data, a.size) == 0;
    return same ? RUN_TWIN_SAME : RUN_TWIN_OTHER;
}

void write_back(plat_hkey key, const char16_t *gone, const char16_t *kept, uint32_t type, const uint8_t *data,
                uint32_t size) {
    run_text gone8, kept8;
    plat_error e = data ? plat_reg_set_value_ex_w(key, gone, type, data, size) : PLAT_ERROR_FILE_NOT_FOUND;
    if (e == PLAT_ERROR_SUCCESS)
        set_last_error("runkey: '%s' was removed by another program while switching; '%s' is kept",
                       run_message_name(kept, &kept8), run_message_name(gone, &gone8));
    else
        set_last_error("runkey: '%s' was removed by another program while switching, and '%s' could not be "
                       "written back (0x%x)",
                       run_message_name(kept, &kept8), run_message_name(gone, &gone8), e);
}

int remove_twin(plat_hkey key, const char16_t *gone, const char16_t *kept) {
    run_copy copy;
    run_text gone8;
    plat_error e = read_copy(key, gone, &copy);
    if (e == PLAT_ERROR_SUCCESS) e = plat_reg_delete_value_w(key, gone);
    if (e != PLAT_ERROR_SUCCESS && e != PLAT_ERROR_FILE_NOT_FOUND) {
        set_last_error("runkey: cannot remove the copy '%s' (0x%x)", run_message_name(gone, &gone8), e);
        return 0;
    }
    // Only a value really gone is written back: a look that merely failed
    // must not leave two copies.
    if (plat_reg_query_value_ex_w(key, kept, nullptr, nullptr, nullptr) != PLAT_ERROR_FILE_NOT_FOUND) return 1;
    write_back(key, gone, kept, copy.type, copy.data, copy.size);
    return 0;
}

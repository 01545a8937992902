// StartupApproved records: the session start skips an item whose record
// says "switched off", whatever the item is named or wherever it lies. So
// the listing reads them, switching a run value off writes one (in
// run_switch.cpp), and switching any item on removes an off one.
#include "startup_approved.h"

#include <cstdlib>

#include "../platform/last_error.h"

#define APPROVED_ACCESS (PLAT_KEY_READ | PLAT_KEY_WOW64_64KEY)

namespace {

struct approve_record {
    bool found = false;
    uint32_t type = 0;
    uint32_t size = 0;
    uint8_t *data = nullptr;  // malloc'd
    approve_record() = default;
    approve_record(const approve_record &) = delete;
    approve_record &operator=(const approve_record &) = delete;
    ~approve_record() { free(data); }
};

// Reads the record of `name`; a missing one is no failure.
plat_error read_record(plat_hkey key, const char16_t *name, approve_record *r) {
    plat_error e = plat_reg_query_value_ex_w(key, name, &r->type, nullptr, &r->size);
    if (e == PLAT_ERROR_FILE_NOT_FOUND) return PLAT_ERROR_SUCCESS;
    if (e != PLAT_ERROR_SUCCESS) return e;
    r->data = (uint8_t *)malloc(r->size ? r->size : 1);
    if (!r->data) return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    e = plat_reg_query_value_ex_w(key, name, &r->type, r->data, &r->size);
    if (e == PLAT_ERROR_FILE_NOT_FOUND) return PLAT_ERROR_SUCCESS;
    r->found = e == PLAT_ERROR_SUCCESS;
    return e;
}

// A record of another type, or an empty one, says nothing.
bool marks_off(const approve_record *r) {
    return r->found && r->type == PLAT_REG_BINARY && r->size > 0 && (r->data[0] & 1);
}

plat_error delete_record(plat_hkey key, const char16_t *name) {
    plat_error e = plat_reg_delete_value_w(key, name);
    return e == PLAT_ERROR_FILE_NOT_FOUND ? PLAT_ERROR_SUCCESS : e;
}

// Deletes the off-marking record of `new_name`, then the record of
// `old_name`; puts the first back when the second cannot go.
plat_error clear_records(plat_hkey key, const char16_t *old_name, const char16_t *new_name) {
    approve_record saved;
    plat_error e = read_record(key, new_name, &saved);
    if (e != PLAT_ERROR_SUCCESS) return e;
    if (marks_off(&saved)) {
        e = delete_record(key, new_name);
        if (e != PLAT_ERROR_SUCCESS) return e;
    } else {
        saved.found = false;
    }
    if (!old_name) return PLAT_ERROR_SUCCESS;
    e = delete_record(key, old_name);
    if (e != PLAT_ERROR_SUCCESS && saved.found)
        plat_reg_set_value_ex_w(key, new_name, saved.type, saved.data, saved.size);
    return e;
}

}  // namespace

plat_hkey approve_open(plat_hkey root, const char *subkey) {
    plat_hkey key = nullptr;
    if (plat_reg_open_key_ex_a(root, subkey, 0, APPROVED_ACCESS, &key) != PLAT_ERROR_SUCCESS) return nullptr;
    return key;
}

int approve_marks_off(plat_hkey records, const char16_t *name) {
    if (!records) return 0;
    approve_record r;
    return read_record(records, name, &r) == PLAT_ERROR_SUCCESS && marks_off(&r);
}

plat_error approve_read_off(plat_hkey root, const char *subkey, const char16_t *name, bool *off) {
    *off = false;
    plat_hkey key = nullptr;
    plat_error e = plat_reg_open_key_ex_a(root, subkey, 0, APPROVED_ACCESS, &key);
    if (e == PLAT_ERROR_FILE_NOT_FOUND) return PLAT_ERROR_SUCCESS;  // no records at all
    if (e != PLAT_ERROR_SUCCESS) return e;
    approve_record r;
    e = read_record(key, name, &r);
    plat_reg_close_key(key);
    *off = e == PLAT_ERROR_SUCCESS && marks_off(&r);
    return e;
}

plat_error approve_clear(plat_hkey root, const char *subkey, const char16_t *old_name, const char16_t *new_name) {
    plat_hkey key = nullptr;
    plat_error e = plat_reg_open_key_ex_a(root, subkey, 0, APPROVED_WRITE_ACCESS, &key);
    if (e == PLAT_ERROR_FILE_NOT_FOUND) return PLAT_ERROR_SUCCESS;  // no records at all
    if (e != PLAT_ERROR_SUCCESS) return e;
    e = clear_records(key, old_name, new_name);
    plat_reg_close_key(key);
    return e;
}

int approve_failed(const char *source, const char *what, const char *name, plat_error code, const char *more) {
    set_last_error("%s: cannot %s the StartupApproved record of '%s' (0x%x)%s", source, what, name, (unsigned)code,
                   more);
    return 0;
}

// The run-key provider's table and its parts that tests and the toggle use:
// the identifier hash of a value, the renaming copy with rollback, the
// enumeration that survives oversized values, and the StartupApproved
// records that really keep a switched-off value from starting.
#pragma once

#include <cstdint>

#include "../platform/platform_registry.h"

struct run_location {
    plat_hkey root;
    int per_user;  // 1: current user's hive, 0: machine hive
    const char *subkey;
    const char *source;  // "runkey" or "runonce"
};

#define RUN_LOCATION_COUNT 4
extern const run_location run_locations[RUN_LOCATION_COUNT];

// Buffer sizes, terminator included.
#define RUN_NAME_CAP 511
#define RUN_DATA_CAP 519
#define RUN_TARGET_CAP 600
#define RUN_KEY_TEXT_CAP 2048

uint64_t run_entry_hash(int per_user, const char *subkey, const char *name);

// Copies value `from` to `to` byte for byte, then deletes `from`; on a
// failed write or delete, deletes `to` again. 1 on success, 0 with a message.
int rename_run_value(plat_hkey root, const char *subkey, const char *from, const char *to);

// ---- enumeration (run_enum.cpp) ----

// One enumerated value: its 8-bit name and, when asked for, its type and
// data. Data that outgrows the fixed buffer is read again into `large`.
struct run_value {
    char name[RUN_NAME_CAP];
    uint32_t type = 0;
    uint32_t size = 0;                // bytes of data delivered
    uint8_t small[RUN_DATA_CAP + 1];  // + 1 so that any data can be terminated
    uint8_t *large = nullptr;         // malloc'd, freed with the record
    run_value() = default;
    run_value(const run_value &) = delete;
    run_value &operator=(const run_value &) = delete;
    ~run_value();
    const uint8_t *data() const { return large ? large : small; }
};

enum run_step {
    RUN_GOT,   // *value holds the value at this index
    RUN_SKIP,  // this index cannot be read (name too long): go on with the next
    RUN_END,   // no more values (or the key cannot be read any further)
};

run_step read_run_value(plat_hkey key, uint32_t index, bool with_data, run_value *value);

// The value's string data as NUL-terminated 8-bit text that ends within the
// bytes delivered (at their first NUL, if any): terminated in place, in the
// record's own spare byte, so it lives as long as the record's data.
const char *run_value_text(run_value *value);

// UTF-8 text converted from 8-bit text: in a fixed buffer when it fits (any
// name or data of the fixed enumeration buffers does), else on the heap, so
// that listing a value allocates nothing of its own.
#define RUN_UTF8_FIXED (3 * RUN_DATA_CAP + 1)
struct run_utf8 {
    char fixed[RUN_UTF8_FIXED];
    char *heap = nullptr;
    const char *text = nullptr;  // null when the conversion failed
    run_utf8() = default;
    run_utf8(const run_utf8 &) = delete;
    run_utf8 &operator=(const run_utf8 &) = delete;
    ~run_utf8();
};

// 8-bit (ANSI code page) text as UTF-8 in *out; false (out->text null) on failure.
bool ansi_to_utf8(const char *text, run_utf8 *out);

// ---- StartupApproved records (run_approved.cpp) ----

#define RUN_APPROVED_SUBKEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run"
#define RUN_APPROVED_SIZE 12

// Writes the "switched off" record for `name` in the hive of `root`.
// Returns 0 (success) or the failing call's code.
plat_error approve_write_disabled(plat_hkey root, const char *name);

// Writes the "switched off" record for `name` unless one already marks it
// off (that one, and its time, stay). Returns 0 or the failing call's code.
plat_error approve_ensure_disabled(plat_hkey root, const char *name);

// Deletes `old_name`'s record (unless it is null) and `new_name`'s record
// when it marks the value switched off. Returns 0 or the failing call's code
// (then nothing is lost: whatever was deleted is written back).
plat_error approve_clear(plat_hkey root, const char *old_name, const char *new_name);

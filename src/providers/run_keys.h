// The run-key provider's table and its parts that tests and the toggle use:
// the identifier hash of a value, the renaming copy with rollback and the
// enumeration that survives oversized values. Names and data are read with
// the wide registry calls, as Windows holds them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../platform/platform_registry.h"

struct run_location {
    plat_hkey root;
    int per_user;          // 1: current user's hive, 0: machine hive
    const char *subkey;    // as the registry shows it: in key texts and messages
    const char *path;      // what is opened, in `view`
    uint32_t view;         // PLAT_KEY_WOW64_64KEY or PLAT_KEY_WOW64_32KEY
    const char *source;    // "runkey" or "runonce"
    const char *approved;  // the StartupApproved key of its records; null: none
};

#define RUN_LOCATION_COUNT 6
extern const run_location run_locations[RUN_LOCATION_COUNT];

// 1 when the row's values exist on this machine: 32-bit Windows has one
// registry view, so its 32-bit rows would list the native ones again.
int run_location_present(const run_location *row);

// Buffer sizes, terminator included.
#define RUN_NAME_UNITS 16384  // the registry's longest value name and its terminator
#define RUN_DATA_CAP 1040     // data read in place; larger data is read again on the heap
#define RUN_KEY_TEXT_CAP 2048

// The identifier hash of the 8-bit key text "runkey|d%d|%s|%s", and of the
// text "runkey-w|d%d|%s|%s" of a UTF-8 name that the ANSI code page cannot
// hold exactly. Both hash the whole text, however long the name.
uint64_t run_entry_hash(int per_user, const char *subkey, const char *name);
uint64_t run_entry_hash_wide(int per_user, const char *subkey, const char *utf8_name);

// Text that lives in a fixed buffer when it fits, else on the heap, so
// that listing a value allocates nothing of its own.
#define RUN_TEXT_FIXED 1560
struct run_text {
    char fixed[RUN_TEXT_FIXED];
    char *heap = nullptr;
    const char *text = nullptr;  // null when the conversion failed
    run_text() = default;
    run_text(const run_text &) = delete;
    run_text &operator=(const run_text &) = delete;
    ~run_text();
};

// UTF-16 text as UTF-8 in *out; false (out->text null) on failure.
bool wide_to_utf8(const char16_t *text, run_text *out);
// A name as UTF-8 for a message, in *buffer; "?" when it cannot be converted.
const char *run_message_name(const char16_t *name, run_text *buffer);

// The identifier hash of a value of the row; false when memory ran out.
bool run_value_hash(const run_location *row, const char16_t *name, uint64_t *hash);

// Copies value `from` to `to` byte for byte within the row's key and view,
// then deletes `from`; on a failed write or delete, deletes `to` again.
// 1 on success, 0 with a message.
int rename_run_value(const run_location *row, const char16_t *from, const char16_t *to);

// ---- enumeration (run_enum.cpp) ----

// One enumerated value: its name and, when asked for, its type and data.
// Data that outgrows the fixed buffer is read again into `large`.
struct run_value {
    char16_t *name = nullptr;  // RUN_NAME_UNITS units, malloc'd by run_value_open
    uint32_t type = 0;
    uint32_t size = 0;                // bytes of data delivered
    alignas(char16_t) uint8_t small[RUN_DATA_CAP + 2];  // + 2: any data can be terminated
    uint8_t *large = nullptr;         // malloc'd, freed with the record
    run_value() = default;
    run_value(const run_value &) = delete;
    run_value &operator=(const run_value &) = delete;
    ~run_value();
    const uint8_t *data() const { return large ? large : small; }
};

// Makes the record ready for enumeration; false when memory ran out.
bool run_value_open(run_value *value);

enum run_step {
    RUN_GOT,   // *value holds the value at this index
    RUN_SKIP,  // this index cannot be read: go on with the next
    RUN_END,   // no more values (or the key cannot be read any further)
};

run_step read_run_value(plat_hkey key, uint32_t index, bool with_data, run_value *value);

// The value's string data as terminated UTF-16 that ends within the bytes
// delivered (at their first NUL unit, if any): terminated in place.
const char16_t *run_value_text(run_value *value);

// ---- wide names ----

// A heap copy of the first `units` units, terminated, then `suffix`; null
// when memory ran out.
char16_t *wide_join(const char16_t *s, size_t units, const char16_t *suffix);

// ---- twins (run_twins.cpp) ----

// A value's type and bytes, read whole.
struct run_copy {
    uint32_t type = 0;
    uint32_t size = 0;
    uint8_t *data = nullptr;  // malloc'd, two spare bytes beyond size
    run_copy() = default;
    run_copy(const run_copy &) = delete;
    run_copy &operator=(const run_copy &) = delete;
    ~run_copy();
};
// 0, or the failing call's code (ERROR_NOT_ENOUGH_MEMORY when out of memory).
plat_error read_copy(plat_hkey key, const char16_t *name, run_copy *copy);

enum run_twin {
    RUN_TWIN_NONE,   // no value named `twin`
    RUN_TWIN_SAME,   // `twin` holds the same type and bytes as `name`
    RUN_TWIN_OTHER,  // `twin` is another program
    RUN_TWIN_ERROR,  // could not be told (message recorded)
};
run_twin compare_twin(plat_hkey key, const char16_t *name, const char16_t *twin);

// After `kept` vanished under another program's switch: writes `gone` back
// with its type and bytes (data null: nothing to write) and records which
// of the two came of it.
void write_back(plat_hkey key, const char16_t *gone, const char16_t *kept, uint32_t type, const uint8_t *data,
                uint32_t size);

// Deletes `gone`, a copy of `kept`; writes it back, and fails with a
// message, when `kept` has vanished meanwhile. 1 when done.
int remove_twin(plat_hkey key, const char16_t *gone, const char16_t *kept);

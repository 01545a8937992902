// The run-key provider, in three files by job:
//   run_keys.cpp    the table of run keys, identifiers, the listing, and
//                   finding a value again by its identifier;
//   run_switch.cpp  switching a value: the decision, the rename, the twin
//                   rule, the write-back and the StartupApproved records;
//   run_values.cpp  reading values: one index at a time, or one whole.
// Names and data are read with the wide registry calls, as Windows holds them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../platform/platform_registry.h"
#include "../platform/text.h"

// ---- the table and identifiers (run_keys.cpp) ----

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

// What the toggle and the rename open a key with.
#define RUN_WRITE_ACCESS (PLAT_KEY_READ | PLAT_KEY_SET_VALUE)

// Opens the row's key in the row's view with `access` (PLAT_KEY_READ or
// RUN_WRITE_ACCESS); 0 or the open's code.
plat_error open_run_key(const run_location *row, uint32_t access, plat_hkey *key);

// Buffer sizes, terminator included.
#define RUN_NAME_UNITS 16384  // the registry's longest value name and its terminator
#define RUN_DATA_CAP 1040     // data read in place; larger data is read again on the heap
#define RUN_KEY_TEXT_CAP 2048

// The identifier hash of the 8-bit key text "runkey|d%d|%s|%s", and of the
// text "runkey-w|d%d|%s|%s" of a UTF-8 name that the ANSI code page cannot
// hold exactly. Both hash the whole text, however long the name.
uint64_t run_entry_hash(int per_user, const char *subkey, const char *name);
uint64_t run_entry_hash_wide(int per_user, const char *subkey, const char *utf8_name);

// The identifier hash of a value of the row; false when memory ran out.
bool run_value_hash(const run_location *row, const char16_t *name, uint64_t *hash);

// The suffix of a switched-off name, and whether the `units` units of
// `name` end in it (ASCII case ignored) after at least one more unit.
#define RUN_SUFFIX u"disabled"
#define RUN_SUFFIX_LEN 8
bool run_name_is_off(const char16_t *name, size_t units);

enum run_search {
    RUN_FOUND,          // the value's name is in *name, a heap copy
    RUN_NOT_HERE,       // no value of the row has that identifier (or the key cannot be opened)
    RUN_OUT_OF_MEMORY,
};
// Looks for the first value of the row whose identifier hash is `hash`.
run_search find_run_value(const run_location *row, uint64_t hash, char16_t **name);

// ---- switching (run_switch.cpp) ----

// Copies value `from` to `to` byte for byte within the row's key and view,
// then deletes `from`; on a failed write or delete, deletes `to` again.
// 1 on success, 0 with a message.
int rename_run_value(const run_location *row, const char16_t *from, const char16_t *to);

// ---- reading values (run_values.cpp) ----

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
// read_copy = size_copy, then fill_copy. size_copy reads the type and
// the byte count; fill_copy the bytes, into a buffer of that size (data
// stays null when it cannot be had). Each returns 0 or the failing
// call's code (ERROR_NOT_ENOUGH_MEMORY when out of memory).
plat_error read_copy(plat_hkey key, const char16_t *name, run_copy *copy);
plat_error size_copy(plat_hkey key, const char16_t *name, run_copy *copy);
plat_error fill_copy(plat_hkey key, const char16_t *name, run_copy *copy);

// Text that lives in a fixed buffer when it fits, else on the heap, so
// that listing a value allocates nothing of its own.
using run_text = utf8_text<1560>;

// A name as UTF-8 for a message, in *buffer; "?" when it cannot be converted.
const char *run_message_name(const char16_t *name, run_text *buffer);

// A heap copy of the first `units` units, terminated, then `suffix`; null
// when memory ran out.
char16_t *wide_join(const char16_t *s, size_t units, const char16_t *suffix);

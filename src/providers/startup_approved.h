// StartupApproved records: the system's own switch for an autostart item.
// Windows' tools keep an item's name or place and write a REG_BINARY record
// named like it under the StartupApproved key of its kind (below) in the
// item's hive; an odd first byte (03, 07)
// means switched off, an even one (02, 06) on. Records live in the native
// registry view, whichever view the item is in.
#pragma once

#include "../platform/platform_registry.h"

#define APPROVED_RUN "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run"
#define APPROVED_RUN32 "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32"
#define APPROVED_STARTUP_FOLDER \
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder"
// A switch writes 03 00 00 00 and the FILETIME of the switch when off.
#define APPROVED_OFF 0x03
#define APPROVED_RECORD_SIZE 12
#define APPROVED_WRITE_ACCESS (PLAT_KEY_READ | PLAT_KEY_SET_VALUE | PLAT_KEY_WOW64_64KEY)

// An open records key for the listing's look-ups; null when it is missing.
plat_hkey approve_open(plat_hkey root, const char *subkey);
// 1 when `records` (from approve_open, may be null) marks `name` off.
int approve_marks_off(plat_hkey records, const char16_t *name);

// Whether the record of `name` marks it off, in *off; a missing key or
// record is no failure. Returns 0 or the failing call's code.
plat_error approve_read_off(plat_hkey root, const char *subkey, const char16_t *name, bool *off);

// Deletes `old_name`'s record (unless it is null) and `new_name`'s record
// when it marks the item switched off. Returns 0 or the failing call's code
// (then nothing is lost: whatever was deleted is written back).
plat_error approve_clear(plat_hkey root, const char *subkey, const char16_t *old_name, const char16_t *new_name);

// Records why a switch failed: "<source>: cannot <what> the StartupApproved
// record of '<name>' (0x<code>)<more>", `name` in UTF-8. Returns 0, the
// failed switch's result.
int approve_failed(const char *source, const char *what, const char *name, plat_error code, const char *more);

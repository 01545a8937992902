// Set-up and inspection of the in-memory registry, for tests.
//
// The machine is 64-bit Windows unless told otherwise: opening a key of the
// machine hive's Software with KEY_WOW64_32KEY opens it below
// Software\WOW6432Node, as for a 32-bit program; set-up calls take the
// path as the registry shows it. The registry holds keys of typed values,
// as Windows does: names in UTF-16, compared without regard to case
// (mem_fold_case) and enumerated in the order they were first written;
// data as raw bytes, string data in UTF-16. The 8-bit set-up and inspection calls convert
// names and string data through code page 1252, so a character outside it
// reads back as '?'. None of these calls counts as a platform call or can
// be faulted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../platform_registry.h"

struct mem_reg_value {
    std::u16string name;
    uint32_t type;
    std::vector<uint8_t> data;  // as stored: string data is UTF-16LE
};

// Creates the key (and so its parents) if it is not there.
void mem_reg_add_key(plat_hkey root, const char *subkey);
// Removes the key and everything below it; open handles to it go stale.
void mem_reg_remove_key(plat_hkey root, const char *subkey);

// Writes a value as RegSetValueExA would: 8-bit name, string data of
// `len` bytes converted from code page 1252. Creates the key if needed.
void mem_reg_put_a(plat_hkey root, const char *subkey, const char *name, uint32_t type, const void *data,
                   size_t len);
// Writes a value as RegSetValueExW would: UTF-16 name, raw bytes.
void mem_reg_put_w(plat_hkey root, const char *subkey, const std::u16string &name, uint32_t type,
                   const void *data, size_t len);
// An 8-bit string value with its terminator.
void mem_reg_put_string(plat_hkey root, const char *subkey, const char *name, const char *text,
                        uint32_t type = PLAT_REG_SZ);

// The key's values in enumeration order (empty when the key is missing).
std::vector<mem_reg_value> mem_reg_values(plat_hkey root, const char *subkey);
// Looks a value up by its 8-bit name; false when it is not there.
bool mem_reg_find(plat_hkey root, const char *subkey, const char *name, mem_reg_value *out);
// String data as the 8-bit functions would read it (up to the first NUL).
std::string mem_reg_ansi_text(const mem_reg_value &value);
// UTF-16 text as little-endian bytes, with the terminator unless told not.
std::vector<uint8_t> mem_reg_utf16_bytes(const std::u16string &text, bool terminated = true);

// From now on, opening this key or one below it with any write right
// answers ERROR_ACCESS_DENIED, as for a user without admin rights.
void mem_reg_deny_writes(plat_hkey root, const char *subkey);

// Handles opened and not yet closed.
int mem_reg_open_handles();

// What GetSystemTimeAsFileTime answers (a fixed clock, for exact records).
void mem_set_file_time(uint64_t file_time);

// What GetNativeSystemInfo reports (AMD64 by default). x86 or ARM make a
// machine of one registry view: KEY_WOW64_32KEY then changes nothing.
void mem_set_native_architecture(uint16_t architecture);

// Registry operations (advapi32) and the system clock the registry records use.
//
// Each mirrors its Win32 call: same arguments in the same order, the same
// ERROR_* result (0 = success). Keys are opened by their ASCII paths with the
// "A" calls; values are named in UTF-16 and read and written as raw bytes
// with the "W" calls. Optional outputs may be null, as in Win32.
#pragma once

#include <cstdint>

#include "platform.h"

typedef struct plat_hkey_s *plat_hkey;

// The predefined roots, with their Win32 handle values.
#define PLAT_HKEY_CURRENT_USER ((plat_hkey)(uintptr_t)0x80000001u)
#define PLAT_HKEY_LOCAL_MACHINE ((plat_hkey)(uintptr_t)0x80000002u)

// Value types.
#define PLAT_REG_NONE 0u
#define PLAT_REG_SZ 1u
#define PLAT_REG_EXPAND_SZ 2u
#define PLAT_REG_BINARY 3u
#define PLAT_REG_DWORD 4u
#define PLAT_REG_MULTI_SZ 7u
#define PLAT_REG_QWORD 11u

// Access masks.
#define PLAT_KEY_QUERY_VALUE 0x0001u
#define PLAT_KEY_SET_VALUE 0x0002u
#define PLAT_KEY_READ 0x20019u
// Registry views: the native (64-bit) one, or the 32-bit one that 32-bit
// programs see under Software\WOW6432Node of the machine hive.
#define PLAT_KEY_WOW64_64KEY 0x0100u
#define PLAT_KEY_WOW64_32KEY 0x0200u

// Codes of this area besides the generic ones.
#define PLAT_ERROR_INVALID_HANDLE 6u
#define PLAT_ERROR_NOT_ENOUGH_MEMORY 8u
#define PLAT_ERROR_KEY_DELETED 1018u

// RegOpenKeyExA(root, subkey, options, access, &key).
plat_error plat_reg_open_key_ex_a(plat_hkey root, const char *subkey, uint32_t options, uint32_t access,
                                  plat_hkey *key);
// RegCreateKeyExA(root, subkey, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, &key, NULL).
plat_error plat_reg_create_key_ex_a(plat_hkey root, const char *subkey, uint32_t access, plat_hkey *key);
// RegCloseKey(key).
plat_error plat_reg_close_key(plat_hkey key);

// RegEnumValueW(key, index, name, &name_len, NULL, &type, data, &data_len).
// *name_len: capacity in units in, length in units without terminator out.
plat_error plat_reg_enum_value_w(plat_hkey key, uint32_t index, char16_t *name, uint32_t *name_len,
                                 uint32_t *type, uint8_t *data, uint32_t *data_len);
// RegQueryValueExW(key, name, NULL, &type, data, &data_len).
plat_error plat_reg_query_value_ex_w(plat_hkey key, const char16_t *name, uint32_t *type, uint8_t *data,
                                     uint32_t *data_len);
// RegSetValueExW(key, name, 0, type, data, data_len).
plat_error plat_reg_set_value_ex_w(plat_hkey key, const char16_t *name, uint32_t type, const uint8_t *data,
                                   uint32_t data_len);

// RegDeleteValueW(key, name).
plat_error plat_reg_delete_value_w(plat_hkey key, const char16_t *name);

// GetNativeSystemInfo's wProcessorArchitecture: on 32-bit Windows (x86 or
// ARM) the registry has one view only.
#define PLAT_PROCESSOR_ARCHITECTURE_INTEL 0u
#define PLAT_PROCESSOR_ARCHITECTURE_ARM 5u
#define PLAT_PROCESSOR_ARCHITECTURE_AMD64 9u
uint16_t plat_get_native_processor_architecture();

// GetSystemTimeAsFileTime: 100-ns intervals since 1601-01-01 UTC.
uint64_t plat_get_system_time_as_file_time();

// RegEnumKeyExW(key, index, name, &name_len, NULL, NULL, NULL, NULL).
// *name_len: capacity in units in, length in units without terminator out.
plat_error plat_reg_enum_key_ex_w(plat_hkey key, uint32_t index, char16_t *name, uint32_t *name_len);

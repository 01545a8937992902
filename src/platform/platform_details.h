// Operations that tell what an item starts and who made it: environment
// expansion, the system and Windows folders, the PATH variable, the
// process's WOW64 state and the version resource of a file
// (ExpandEnvironmentStringsW, GetEnvironmentVariableW, GetSystemDirectoryW,
// GetWindowsDirectoryW, IsWow64Process, GetFileVersionInfoSizeW,
// GetFileVersionInfoW, VerQueryValueW). Whether a file exists is asked
// with plat_get_file_attributes. Texts are UTF-16; sizes count units
// unless they say bytes; results are those of the Win32 calls.
#pragma once

#include "platform.h"

#define PLAT_ERROR_ENVVAR_NOT_FOUND 203u
#define PLAT_ERROR_RESOURCE_DATA_NOT_FOUND 1812u

// ExpandEnvironmentStringsW(src, dst, size): the units the expanded text
// needs, terminator included (more than `size`: nothing usable was
// written); 0 on failure. Unknown variables stay as written.
uint32_t plat_expand_environment_strings(const char16_t *src, char16_t *dst, uint32_t size);
// GetEnvironmentVariableW(name, buffer, size): the length without the
// terminator when it fitted, else the units needed with it; 0 when the
// variable is not set (ERROR_ENVVAR_NOT_FOUND) or on failure.
uint32_t plat_get_environment_variable(const char16_t *name, char16_t *buffer, uint32_t size);
// GetSystemDirectoryW / GetWindowsDirectoryW(buffer, size): as above for a
// folder that always exists; 0 on failure.
uint32_t plat_get_system_directory(char16_t *buffer, uint32_t size);
uint32_t plat_get_windows_directory(char16_t *buffer, uint32_t size);
// IsWow64Process(GetCurrentProcess(), wow64): non-zero on success, with
// *wow64 non-zero for a 32-bit process on 64-bit Windows.
int plat_is_wow64_process(int *wow64);

// GetFileVersionInfoSizeW(path, NULL): the bytes of the file's version
// block; 0 when it has none (ERROR_RESOURCE_DATA_NOT_FOUND) or cannot be
// read.
uint32_t plat_get_file_version_info_size(const char16_t *path);
// GetFileVersionInfoW(path, 0, size, data): non-zero when the block was
// read into `data`, `size` bytes.
int plat_get_file_version_info(const char16_t *path, uint32_t size, void *data);
// VerQueryValueW(block, sub_block, buffer, len): non-zero when found, with
// *buffer pointing into the block and *len its length (units of a string,
// terminator included as the resource counts it; bytes of the
// translation array).
int plat_ver_query_value(const void *block, const char16_t *sub_block, const void **buffer, uint32_t *len);

// Operations of the packaged-app provider: reading a package's manifest
// through a file opened with plat_create_file (platform_files.h):
// GetFileSizeEx and ReadFile; and resolving its indirect strings
// (SHLoadIndirectString). Texts are UTF-16; results are those of the
// Win32 calls.
#pragma once

#include "platform_files.h"

#define PLAT_GENERIC_READ 0x80000000u
#define PLAT_FILE_ATTRIBUTE_NORMAL 0x80u

// GetFileSizeEx(file, size): non-zero on success.
int plat_get_file_size_ex(plat_file file, uint64_t *size);
// ReadFile(file, buffer, to_read, read, NULL): non-zero on success; *read
// is 0 at the end of the file.
int plat_read_file(plat_file file, void *buffer, uint32_t to_read, uint32_t *read);

// SHLoadIndirectString(source, out, out_units, NULL): S_OK with the
// resolved text in `out` (terminated), else the failure's HRESULT.
plat_hresult plat_sh_load_indirect_string(const char16_t *source, char16_t *out, uint32_t out_units);

// Operations of the packaged-app provider: reading a package's manifest
// (CreateFileW, GetFileSizeEx, ReadFile, CloseHandle) and resolving its
// indirect strings (SHLoadIndirectString). Paths and texts are UTF-16;
// results are those of the Win32 calls.
#pragma once

#include "platform.h"

#define PLAT_GENERIC_READ 0x80000000u
#define PLAT_FILE_SHARE_READ 0x1u
#define PLAT_FILE_SHARE_DELETE 0x4u
#define PLAT_OPEN_EXISTING 3u
#define PLAT_FILE_ATTRIBUTE_NORMAL 0x80u

// An open file; null stands for INVALID_HANDLE_VALUE.
typedef struct plat_file_s *plat_file;

// CreateFileW(path, access, share, NULL, disposition, flags, NULL): the
// handle, or null with the reason in plat_get_last_error.
plat_file plat_create_file(const char16_t *path, uint32_t access, uint32_t share, uint32_t disposition,
                           uint32_t flags);
// GetFileSizeEx(file, size): non-zero on success.
int plat_get_file_size_ex(plat_file file, uint64_t *size);
// ReadFile(file, buffer, to_read, read, NULL): non-zero on success; *read
// is 0 at the end of the file.
int plat_read_file(plat_file file, void *buffer, uint32_t to_read, uint32_t *read);
// CloseHandle(file): non-zero on success.
int plat_close_handle(plat_file file);

// SHLoadIndirectString(source, out, out_units, NULL): S_OK with the
// resolved text in `out` (terminated), else the failure's HRESULT.
plat_hresult plat_sh_load_indirect_string(const char16_t *source, char16_t *out, uint32_t out_units);

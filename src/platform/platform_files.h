// File-system and shell-folder operations of the startup-folder provider:
// SHGetFolderPathW, SHGetKnownFolderPath with CoTaskMemFree, the directory
// search (FindFirstFileW, FindNextFileW, FindClose), GetFileAttributesW,
// CreateDirectoryW, MoveFileW, RemoveDirectoryW, a folder held open
// (CreateFileW, SetFileInformationByHandle, CloseHandle) and GetLastError.
// Paths are UTF-16 throughout; results are those of the Win32 calls.
#pragma once

#include "platform.h"

#define PLAT_MAX_PATH 260
#define PLAT_CSIDL_PROFILE 40
#define PLAT_FILE_ATTRIBUTE_DIRECTORY 0x10u
#define PLAT_FILE_ATTRIBUTE_ARCHIVE 0x20u
#define PLAT_FILE_ATTRIBUTE_REPARSE_POINT 0x400u
#define PLAT_INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define PLAT_ERROR_INVALID_HANDLE 6u
#define PLAT_ERROR_NO_MORE_FILES 18u
#define PLAT_ERROR_SHARING_VIOLATION 32u
#define PLAT_ERROR_INVALID_NAME 123u
#define PLAT_ERROR_DIR_NOT_EMPTY 145u
#define PLAT_ERROR_FILENAME_EXCED_RANGE 206u

// CreateFileW's access rights, share modes, disposition and flags.
#define PLAT_FILE_LIST_DIRECTORY 0x1u
#define PLAT_FILE_READ_ATTRIBUTES 0x80u
#define PLAT_DELETE 0x10000u
#define PLAT_FILE_SHARE_READ 0x1u
#define PLAT_FILE_SHARE_WRITE 0x2u
#define PLAT_FILE_SHARE_DELETE 0x4u
#define PLAT_OPEN_EXISTING 3u
#define PLAT_FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u
#define PLAT_FILE_FLAG_BACKUP_SEMANTICS 0x02000000u

// The known folders the library asks for (each stands for its FOLDERID).
enum plat_known_folder {
    PLAT_FOLDERID_COMMON_STARTUP,  // {82A5EA35-D9CD-47C5-9629-E15D2F714E6E}
};

// A directory search in progress; null stands for INVALID_HANDLE_VALUE.
typedef struct plat_find_s *plat_find;

// An open file or folder; null stands for INVALID_HANDLE_VALUE.
typedef struct plat_file_s *plat_file;

// SetFileInformationByHandle's classes that the library uses.
enum plat_file_info_class {
    PLAT_FILE_DISPOSITION_INFO = 4,  // FileDispositionInfo
};

// FILE_DISPOSITION_INFO.
struct plat_file_disposition_info {
    uint8_t delete_file;  // DeleteFile (a BOOLEAN)
};

// The members of WIN32_FIND_DATAW that the library reads.
struct plat_find_data {
    uint32_t attributes;                 // dwFileAttributes
    char16_t file_name[PLAT_MAX_PATH];   // cFileName
};

// SHGetFolderPathW(NULL, csidl, NULL, flags, path): `path` holds
// PLAT_MAX_PATH units. S_OK on success.
plat_hresult plat_sh_get_folder_path(int csidl, uint32_t flags, char16_t *path);
// SHGetKnownFolderPath(folder, flags, NULL, path): on success *path is new
// memory that the caller releases with plat_co_task_mem_free; null otherwise.
plat_hresult plat_sh_get_known_folder_path(plat_known_folder folder, uint32_t flags, char16_t **path);
// CoTaskMemFree; null is accepted.
void plat_co_task_mem_free(void *memory);

// FindFirstFileW: a search handle and the first match, or null (the reason
// in plat_get_last_error) when nothing matches or the directory is missing.
plat_find plat_find_first_file(const char16_t *pattern, plat_find_data *data);
// FindNextFileW: non-zero with the next match; 0 at the end
// (ERROR_NO_MORE_FILES) or on failure.
int plat_find_next_file(plat_find search, plat_find_data *data);
// FindClose: non-zero on success.
int plat_find_close(plat_find search);

// GetFileAttributesW: the attribute bits, or PLAT_INVALID_FILE_ATTRIBUTES.
uint32_t plat_get_file_attributes(const char16_t *path);
// CreateDirectoryW(path, NULL): non-zero when created.
int plat_create_directory(const char16_t *path);
// RemoveDirectoryW: non-zero when removed (only an empty directory is).
int plat_remove_directory(const char16_t *path);
// MoveFileW: non-zero when moved; never replaces an existing target.
int plat_move_file(const char16_t *from, const char16_t *to);
// CreateFileW(path, access, share, NULL, creation, flags, NULL): the open
// file, or null (the reason in plat_get_last_error). A folder opens only
// with PLAT_FILE_FLAG_BACKUP_SEMANTICS; with
// PLAT_FILE_FLAG_OPEN_REPARSE_POINT a link at the end of the path is opened
// itself, not followed (Wine follows it regardless).
plat_file plat_create_file(const char16_t *path, uint32_t access, uint32_t share, uint32_t creation, uint32_t flags);
// SetFileInformationByHandle(file, info_class, info, size): non-zero on
// success. With PLAT_FILE_DISPOSITION_INFO a folder opened with
// PLAT_DELETE access is removed when its last handle closes; refused
// (ERROR_DIR_NOT_EMPTY) while it holds anything.
int plat_set_file_information_by_handle(plat_file file, plat_file_info_class info_class, const void *info,
                                        uint32_t size);
// CloseHandle: non-zero on success.
int plat_close_handle(plat_file file);
// GetLastError of the calling thread.
plat_error plat_get_last_error();

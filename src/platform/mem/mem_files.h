// Set-up and inspection of the in-memory file system and shell folders.
//
// The tree holds drives ("C:"), directories and files under absolute
// Windows paths; '\' and '/' both separate components and empty
// components are ignored. Names compare without regard to case
// (mem_fold_case), and a directory lists its children in the order they
// were added or moved in, after its "." and ".." entries (none at a drive's
// root). The search matches the last component of its pattern with '*' and
// '?' against the long names only: "*.lnk" does not match "x.lnkx" (Windows
// may, through the 8.3 name).
// A search works on a snapshot of the directory taken by FindFirstFileW.
// A name may hold at most 255 UTF-16 units; no limit applies to a whole path.
//
// A folder may be a link (a directory symbolic link or junction) to an
// absolute path, which need not exist: paths through it go on there, and
// the calls that act on a link itself (GetFileAttributesW, which reports
// it with FILE_ATTRIBUTE_REPARSE_POINT, RemoveDirectoryW, MoveFileW, and
// CreateFileW with FILE_FLAG_OPEN_REPARSE_POINT) do not follow it.
//
// CreateFileW only opens what exists (OPEN_EXISTING). Handles keep share
// modes as Windows does, among opens that read, write or delete: while a
// handle without FILE_SHARE_DELETE is open, its file or folder cannot be
// renamed or removed (ERROR_SHARING_VIOLATION). A folder with open
// handles below it can be renamed here, as under Wine; NTFS refuses that.
//
// A file is either a shortcut, carrying a target path and an argument text,
// or any other file (text, garbage bytes): loading that as a link fails.
//
// Set-up paths and texts are UTF-8. After mem_reset the tree is empty and
// both folder lookups succeed: the profile is C:\Users\user and the
// all-users Startup folder is
// C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp.
#pragma once

#include <string>
#include <vector>

#include "../platform.h"

// What SHGetFolderPathW(CSIDL_PROFILE) and
// SHGetKnownFolderPath(FOLDERID_CommonStartup) answer.
void mem_files_set_profile(plat_hresult result, const char *path);
void mem_files_set_common_startup(plat_hresult result, const char *path);

// Each creates the missing parent directories (and the drive) first, and
// fails when the path is malformed or something of that name is in the way.
bool mem_files_add_dir(const char *path);
bool mem_files_add_file(const char *path);
// A file holding these bytes (a package's manifest, say), which ReadFile
// reads.
bool mem_files_add_data(const char *path, const std::string &bytes);
bool mem_files_add_shortcut(const char *path, const char *target, const char *arguments);

// Makes `path` a folder that is a link to `target` (its parents are made
// first); fails when something of that name is there.
bool mem_files_add_link(const char *path, const char *target);

// Removes a file, a link or a whole directory tree, as another program
// would: refused while a handle is open on anything in it.
bool mem_files_remove(const char *path);

// Whether something is there (a link counts, wherever it leads), and
// whether it is a link.
bool mem_files_exists(const char *path);
bool mem_files_is_link(const char *path);
bool mem_files_is_dir(const char *path);
// The names in a directory, in directory order; empty when it is missing.
std::vector<std::string> mem_files_names(const char *dir);
// The target and arguments of a shortcut file; false when it is none.
bool mem_files_shortcut(const char *path, std::string *target, std::string *arguments);

// Searches opened and not yet closed; CoTaskMemFree'd texts outstanding;
// handles from CreateFileW not yet closed.
int mem_files_open_searches();
int mem_files_task_mem_outstanding();
int mem_files_open_handles();


// For the in-memory Shell Link: reads a shortcut as IPersistFile::Load
// does, answering S_OK or the HRESULT of the failure.
plat_hresult mem_files_read_shortcut(const char16_t *path, std::u16string *target, std::u16string *arguments);

// Shell Link objects created and not yet released to their last reference.
int mem_shell_link_live();

// Set-up and inspection of the in-memory file system and shell folders.
//
// The tree holds drives ("C:"), directories and files under absolute
// Windows paths; '\' and '/' both separate components and empty
// components are ignored. Names compare without regard to case for ASCII
// letters only (so "CAFÉ" and "café" differ, unlike on Windows), and a
// directory lists its children in the order they were added or moved in.
// The search matches the last component of its pattern with '*' and '?'
// against the long names only: "*.lnk" does not match "x.lnkx" (Windows
// may, through the 8.3 name), and no "." or ".." entries are produced.
// A search works on a snapshot of the directory taken by FindFirstFileW.
// A name may hold at most 255 UTF-16 units; no limit applies to a whole path.
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
// A file holding these bytes (a package's manifest, say).
bool mem_files_add_data(const char *path, const std::string &bytes);
bool mem_files_add_shortcut(const char *path, const char *target, const char *arguments);

// Removes a file or a whole directory tree.
bool mem_files_remove(const char *path);

bool mem_files_exists(const char *path);
bool mem_files_is_dir(const char *path);
// The names in a directory, in directory order; empty when it is missing.
std::vector<std::string> mem_files_names(const char *dir);
// The target and arguments of a shortcut file; false when it is none.
bool mem_files_shortcut(const char *path, std::string *target, std::string *arguments);

// For the in-memory file reads: the bytes of the file at `path`, or false
// with the code CreateFileW would leave (a directory is ACCESS_DENIED).
bool mem_files_read_data(const char16_t *path, std::string *bytes, plat_error *error);
// Sets this thread's GetLastError code.
void mem_files_set_last_error(plat_error code);

// Searches opened and not yet closed; CoTaskMemFree'd texts outstanding.
int mem_files_open_searches();
int mem_files_task_mem_outstanding();

// For the in-memory Shell Link: reads a shortcut as IPersistFile::Load
// does, answering S_OK or the HRESULT of the failure.
plat_hresult mem_files_read_shortcut(const char16_t *path, std::u16string *target, std::u16string *arguments);

// Shell Link objects created and not yet released to their last reference.
int mem_shell_link_live();

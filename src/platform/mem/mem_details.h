// Set-up of what the in-memory machine answers about an item's details:
// the process's environment variables (names compared without regard to
// ASCII case), the system and Windows folders, whether the process runs
// under WOW64, and the version resources of files.
//
// After mem_reset the environment is empty, the folders are C:\Windows\system32
// and C:\Windows, the process is not under WOW64 and no file has a resource.
// A version resource belongs to a path (compared as the file tree compares
// names) and is read only while a file of that path exists in the tree:
// without one, GetFileVersionInfoSizeW answers ERROR_FILE_NOT_FOUND, and a
// file without a resource ERROR_RESOURCE_DATA_NOT_FOUND, as Windows does.
// Set-up texts are UTF-8; no set-up call counts or can be faulted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Sets a variable; null `value` removes it.
void mem_details_set_env(const char *name, const char *value);
void mem_details_set_folders(const char *system, const char *windows);
void mem_details_set_wow64(bool wow64);

// One string of a version resource: its table ("040904B0": language and
// code page in hex), its key ("CompanyName") and its text, stored with a
// terminator that the resource's length counts.
struct mem_version_string {
    std::string table;
    std::string key;
    std::string text;
    // The length in units the resource claims, when not 0: a malformed file
    // may claim more than it holds, and VerQueryValueW passes it on.
    uint32_t claimed_units = 0;
};

// Gives the file at `path` a version resource listing `translations`
// (each language in the low 16 bits, code page in the high ones, as
// VarFileInfo\Translation holds them) and holding `strings`. An empty
// resource (no translations, no strings) still has a block.
void mem_details_set_version(const char *path, const std::vector<uint32_t> &translations,
                             const std::vector<mem_version_string> &strings);

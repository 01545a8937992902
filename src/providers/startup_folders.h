// The startup-folder provider's own operations, beside the two that
// providers.h declares for the listing and the dispatch.
#pragma once

#include <cstdint>

#include "../platform/platform_files.h"
#include "../platform/platform_registry.h"

#define STARTUP_PATH_SIZE 2048  // folder and toggle paths, UTF-8 bytes
#define STARTUP_NAME_SIZE 260   // a shortcut's file name in the toggle

// One Startup folder: an absolute path without a trailing separator.
struct startup_folder {
    char path[STARTUP_PATH_SIZE];
    int32_t common;  // 0 the current user's, 1 the all-users folder
};

// The folders whose lookup succeeded: the user's first, then all-users'.
struct startup_folder_list {
    startup_folder folders[2];
    int32_t count;
};

// Never fails as a whole; a folder whose lookup fails, or whose path would
// not fit its field, is left out.
void find_startup_folders(startup_folder_list *list);

// 1 when the UTF-8 path names an existing file or directory.
int file_exists(const char *path);
// Creates the directory and its missing parents; 1 when it exists after.
int make_directories(const char *path);
// A shortcut's target and arguments apart, as the link gives them: heap
// copies, null when they could not be read.
struct shortcut_parts {
    char16_t *target = nullptr;
    char16_t *arguments = nullptr;
    shortcut_parts() = default;
    shortcut_parts(const shortcut_parts &) = delete;
    shortcut_parts &operator=(const shortcut_parts &) = delete;
    ~shortcut_parts();
};

// The shortcut's target and arguments as new heap text ("" when it cannot
// be read; null only when memory ran out), and apart in *parts when asked.
// May enter COM; never leaves it.
char *resolve_shortcut_command(const char *path, shortcut_parts *parts = nullptr);

// Called with each file's folder, its full UTF-8 path (the folder's
// path, for a disabled one "\disabled", a backslash and the file name as
// found) and whether it lies in the folder itself; returns 0 to stop the walk.
typedef int (*startup_visitor)(void *context, const startup_folder *folder, const char *full_path, int enabled);

// The hive that holds the folder's StartupApproved records.
plat_hkey startup_records_root(const startup_folder *folder);

// Walks the folders in list order, each folder's own files before those
// in its "disabled" subfolder, skipping directories, desktop.ini and every
// pattern or path that does not fit its buffer. 0 when a visitor stopped it.
int walk_startup_shortcuts(const startup_folder_list *list, startup_visitor visit, void *context);

// A real folder held open until released: while held, it cannot be
// renamed, removed or swapped for a link, so its path keeps naming it.
struct held_folder {
    plat_file file = nullptr;
    held_folder() = default;
    held_folder(const held_folder &) = delete;
    held_folder &operator=(const held_folder &) = delete;
    ~held_folder() { release(); }
    void release();
};

// Holds the folder at the UTF-8 path; 0, with a "startup: " message naming
// it, when it is a link (junction, symbolic link, mount point), not a
// folder, or cannot be opened. With `if_there`, a folder that is not there
// is no failure: nothing is held then.
int hold_real_folder(const char *path, held_folder *held, int if_there = 0);
// Removes the folder when it is a real folder and empty; silent.
void remove_real_folder_if_empty(const char *path);

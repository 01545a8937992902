// Folders held open across a switch, so that nothing is moved into or out
// of a folder reached through a link. Under UAC an elevated host and the
// user's own programs share one profile: a program that swaps the user's
// "disabled" subfolder for a link to a folder only administrators may
// write would otherwise have the host move files there, or out of there.
//
// A folder is opened without following a link at the end of its path and
// without FILE_SHARE_DELETE, so that while it is held nobody can rename or
// remove it, and so cannot put a link in its place; only then are the
// path's attributes read. What the path names cannot change between that
// check and the move. The path's attributes decide because Windows
// reports a link there, and so does Wine, whose handle is always the
// link's target's.
#include <cstdlib>

#include "../platform/last_error.h"
#include "../platform/platform_files.h"
#include "../platform/text.h"
#include "startup_folders.h"

namespace {

enum folder_kind { real_folder, link_folder, not_a_folder, unopened };

folder_kind open_real_folder(const char16_t *path, uint32_t access, plat_file *file, plat_error *code) {
    *file = plat_create_file(path, access, PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE, PLAT_OPEN_EXISTING,
                             PLAT_FILE_FLAG_OPEN_REPARSE_POINT | PLAT_FILE_FLAG_BACKUP_SEMANTICS);
    if (!*file) {
        *code = plat_get_last_error();
        return unopened;
    }
    uint32_t attributes = plat_get_file_attributes(path);
    folder_kind kind = real_folder;
    if (attributes == PLAT_INVALID_FILE_ATTRIBUTES) {
        *code = plat_get_last_error();
        kind = unopened;
    } else if (attributes & PLAT_FILE_ATTRIBUTE_REPARSE_POINT) {
        kind = link_folder;
    } else if (!(attributes & PLAT_FILE_ATTRIBUTE_DIRECTORY)) {
        kind = not_a_folder;
    }
    if (kind != real_folder) {
        plat_close_handle(*file);
        *file = nullptr;
    }
    return kind;
}

// Whether a search of the folder finds nothing but "." and "..".
bool looks_empty(const char16_t *path) {
    char16_t pattern[WIDE_PATH_UNITS];
    if (format_wide(pattern, u"%s\\*", path) < 0) return false;
    plat_find_data data = {};
    plat_find search = plat_find_first_file(pattern, &data);
    if (!search) return false;
    bool empty = true;
    do {
        const char16_t *name = data.file_name;
        empty = name[0] == u'.' && (!name[1] || (name[1] == u'.' && !name[2]));
    } while (empty && plat_find_next_file(search, &data));
    plat_find_close(search);
    return empty;
}

}  // namespace

void held_folder::release() {
    if (file) plat_close_handle(file);
    file = nullptr;
}

int hold_real_folder(const char *path, held_folder *held, int if_there) {
    char16_t *wide = nullptr;
    if (utf8_to_utf16(path, &wide) <= 0) {
        set_last_error("OOM");
        return 0;
    }
    plat_error code = 0;
    folder_kind kind = open_real_folder(wide, PLAT_FILE_LIST_DIRECTORY, &held->file, &code);
    free(wide);
    if (kind == unopened && if_there && code == PLAT_ERROR_FILE_NOT_FOUND) return 1;
    if (kind == link_folder)
        set_last_error("startup: refused \xe2\x80\x94 '%s' is a link (reparse point)", path);
    else if (kind == not_a_folder)
        set_last_error("startup: refused \xe2\x80\x94 '%s' is not a folder", path);
    else if (kind == unopened)
        set_last_error("startup: cannot open folder '%s' (0x%x)", path, (unsigned)code);
    return kind == real_folder;
}

void remove_real_folder_if_empty(const char *path) {
    char16_t *wide = nullptr;
    if (utf8_to_utf16(path, &wide) <= 0) return;
    plat_file file = nullptr;
    plat_error code = 0;
    // Removed through the handle that was checked, not by path: Wine's
    // RemoveDirectoryW on a link removes the folder it leads to as well.
    // Opened so only when it looks empty, since while a handle for deletion
    // is open nobody else can hold the folder for a switch of their own.
    if (looks_empty(wide) && open_real_folder(wide, PLAT_DELETE, &file, &code) == real_folder) {
        plat_file_disposition_info remove = {1};
        plat_set_file_information_by_handle(file, PLAT_FILE_DISPOSITION_INFO, &remove, sizeof remove);
        plat_close_handle(file);
    }
    free(wide);
}

// Where the Startup folders are, and the two small file-system helpers the
// toggle uses.
#include <cstdlib>

#include "../platform/platform_files.h"
#include "../platform/text.h"
#include "startup_folders.h"

namespace {

const char user_startup[] = "%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";

// Adds a record unless the path is empty or would be cut by its field: a
// cut path could name another folder, so it is never walked or moved in.
void add_folder(startup_folder_list *list, const char *format, const char *text, int common) {
    if (!text || !*text) return;
    startup_folder *folder = &list->folders[list->count];
    int n = format_narrow(folder->path, sizeof folder->path, format, text);
    if (n < 0 || (size_t)n >= sizeof folder->path) return;
    folder->common = common;
    list->count++;
}

void add_user_folder(startup_folder_list *list) {
    char16_t profile[PLAT_MAX_PATH] = {};
    if (plat_sh_get_folder_path(PLAT_CSIDL_PROFILE, 0, profile) != PLAT_S_OK) return;
    profile[PLAT_MAX_PATH - 1] = u'\0';
    char *text = utf16_to_utf8(profile);
    add_folder(list, user_startup, text, 0);
    free(text);
}

void add_common_folder(startup_folder_list *list) {
    char16_t *path = nullptr;
    if (PLAT_FAILED(plat_sh_get_known_folder_path(PLAT_FOLDERID_COMMON_STARTUP, 0, &path))) return;
    char *text = utf16_to_utf8(path);
    add_folder(list, "%s", text, 1);
    free(text);
    plat_co_task_mem_free(path);
}

}  // namespace

void find_startup_folders(startup_folder_list *list) {
    list->count = 0;
    add_user_folder(list);
    add_common_folder(list);
}

plat_hkey startup_records_root(const startup_folder *folder) {
    return folder->common ? PLAT_HKEY_LOCAL_MACHINE : PLAT_HKEY_CURRENT_USER;
}

int file_exists(const char *path) {
    char16_t *wide = nullptr;
    if (!path || utf8_to_utf16(path, &wide) <= 0) return 0;
    uint32_t attributes = plat_get_file_attributes(wide);
    free(wide);
    return attributes != PLAT_INVALID_FILE_ATTRIBUTES;
}

int make_directories(const char *path) {
    char16_t *wide = nullptr;
    if (!path || !*path || utf8_to_utf16(path, &wide) <= 0) return 0;
    // Each parent in turn; their answers do not matter (existing parents
    // and a drive prefix such as C: simply refuse).
    for (size_t i = 1; wide[i]; i++) {
        if (wide[i] != u'\\' && wide[i] != u'/') continue;
        char16_t separator = wide[i];
        wide[i] = u'\0';
        plat_create_directory(wide);
        wide[i] = separator;
    }
    int made = plat_create_directory(wide) || plat_get_last_error() == PLAT_ERROR_ALREADY_EXISTS;
    free(wide);
    return made;
}

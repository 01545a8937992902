// The one walk over the Startup folders that the listing and the toggle
// share, so both see the same files under the same full paths. Windows
// opens every file there at logon, whatever its kind, except the folder's
// desktop.ini, which Explorer keeps for the folder's own look.
#include <cstdlib>

#include "../platform/last_error.h"
#include "../platform/platform_files.h"
#include "../platform/text.h"
#include "startup_folders.h"

namespace {

// Hands one match to the visitor; a path that would not fit is skipped.
int visit_match(const startup_folder *owner, const char16_t *folder, int enabled, const char16_t *name,
                startup_visitor visit, void *context) {
    char16_t full[WIDE_PATH_UNITS];
    if (format_wide(full, enabled ? u"%s\\%s" : u"%s\\disabled\\%s", folder, name) < 0) return 1;
    char *path = utf16_to_utf8(full);
    int go_on = 1;
    if (path && *path) go_on = visit(context, owner, path, enabled);
    free(path);
    return go_on;
}

// A "disabled" subfolder that is a link is not read: its files would be
// another folder's, and switching one on would move it out of there.
int disabled_is_link(const char16_t *folder) {
    char16_t path[WIDE_PATH_UNITS];
    if (format_wide(path, u"%s\\disabled", folder) < 0) return 0;  // nor would its pattern fit
    uint32_t attributes = plat_get_file_attributes(path);
    if (attributes == PLAT_INVALID_FILE_ATTRIBUTES || !(attributes & PLAT_FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
    char *text = utf16_to_utf8(path);
    set_last_error("startup: '%s' is a link (reparse point); its files are not listed", text ? text : "disabled");
    free(text);
    return 1;
}

bool is_desktop_ini(const char16_t *name) {
    const char16_t *want = u"desktop.ini";
    for (; *want; name++, want++) {
        char16_t c = *name >= u'A' && *name <= u'Z' ? (char16_t)(*name + 0x20) : *name;
        if (c != *want) return false;
    }
    return *name == u'\0';
}

int walk_pass(const startup_folder *owner, const char16_t *folder, int enabled, startup_visitor visit,
              void *context) {
    if (!enabled && disabled_is_link(folder)) return 1;
    char16_t pattern[WIDE_PATH_UNITS];
    if (format_wide(pattern, enabled ? u"%s\\*" : u"%s\\disabled\\*", folder) < 0) return 1;
    plat_find_data data = {};
    plat_find search = plat_find_first_file(pattern, &data);
    if (!search) return 1;
    int go_on = 1;
    do {
        data.file_name[PLAT_MAX_PATH - 1] = u'\0';
        // Directories include "." and "..".
        if (!(data.attributes & PLAT_FILE_ATTRIBUTE_DIRECTORY) && !is_desktop_ini(data.file_name))
            go_on = visit_match(owner, folder, enabled, data.file_name, visit, context);
    } while (go_on && plat_find_next_file(search, &data));
    plat_find_close(search);
    return go_on;
}

}  // namespace

int walk_startup_shortcuts(const startup_folder_list *list, startup_visitor visit, void *context) {
    for (int i = 0; i < list->count; i++) {
        char16_t *folder = nullptr;
        if (utf8_to_utf16(list->folders[i].path, &folder) <= 0) continue;
        const startup_folder *owner = &list->folders[i];
        int go_on = walk_pass(owner, folder, 1, visit, context) && walk_pass(owner, folder, 0, visit, context);
        free(folder);
        if (!go_on) return 0;
    }
    return 1;
}

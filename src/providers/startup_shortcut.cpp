// Reads a shortcut's command through the Shell Link object.
#include <cstdlib>
#include <cstring>

#include "../platform/com_policy.h"
#include "../platform/platform_shell_link.h"
#include "../platform/text.h"
#include "startup_folders.h"

namespace {

#define TARGET_UNITS 2048
#define ARGUMENT_UNITS 1024

// The target, and the arguments after one space when there are any (also
// when the target is empty); null when memory ran out.
char *shortcut_command(const char16_t *target, const char16_t *arguments) {
    char *path = utf16_to_utf8(target);
    char *args = utf16_to_utf8(arguments);
    char *command = nullptr;
    if (path && args && !*args) {
        command = path;  // already the command: no copy
        path = nullptr;
    } else if (path && args) {
        command = join_command(path, args);
    }
    free(path);
    free(args);
    return command;
}

// Loads the file into the link through its IPersistFile; 1 on success.
int load_link(plat_shell_link link, const char16_t *path) {
    plat_persist_file file = nullptr;
    if (PLAT_FAILED(plat_shell_link_query_persist_file(link, &file)) || !file) return 0;
    plat_hresult hr = plat_persist_file_load(file, path, PLAT_STGM_READ);
    plat_persist_file_release(file);
    return !PLAT_FAILED(hr);
}

char16_t *copy_wide(const char16_t *text) {
    size_t bytes = (wide_length(text) + 1) * sizeof(char16_t);
    char16_t *copy = (char16_t *)malloc(bytes);
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

// The command of a loaded link, or "" when its path cannot be read.
char *read_link_command(plat_shell_link link, shortcut_parts *parts) {
    char16_t target[TARGET_UNITS] = {};
    if (PLAT_FAILED(plat_shell_link_get_path(link, target, TARGET_UNITS, PLAT_SLGP_DEFAULT))) return dup_string("");
    target[TARGET_UNITS - 1] = u'\0';
    char16_t arguments[ARGUMENT_UNITS] = {};
    if (PLAT_FAILED(plat_shell_link_get_arguments(link, arguments, ARGUMENT_UNITS))) arguments[0] = u'\0';
    arguments[ARGUMENT_UNITS - 1] = u'\0';
    if (parts) {
        parts->target = copy_wide(target);
        parts->arguments = copy_wide(arguments);
    }
    return shortcut_command(target, arguments);
}

}  // namespace

shortcut_parts::~shortcut_parts() {
    free(target);
    free(arguments);
}

char *resolve_shortcut_command(const char *path, shortcut_parts *parts) {
    if (com_enter() != 0) return dup_string("");
    char16_t *wide = nullptr;
    if (!path || utf8_to_utf16(path, &wide) <= 0) return dup_string("");
    plat_shell_link link = nullptr;
    char *command = nullptr;
    if (!PLAT_FAILED(plat_create_shell_link(&link)) && link && load_link(link, wide))
        command = read_link_command(link, parts);
    else
        command = dup_string("");
    if (link) plat_shell_link_release(link);
    free(wide);
    return command;
}

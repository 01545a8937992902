// Files in the Startup folders (shortcuts and every other kind that
// Windows opens at logon): a file directly in a folder is on
// unless its StartupApproved record says off; one in the folder's
// "disabled" subfolder is off. Switching moves the file between the two
// (the file itself is never changed), and switching on also removes an off
// record of its name, which would keep it from starting. Nothing is
// switched while the folder or its subfolder is a link.
#include "startup_folders.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../platform/text_hash.h"
#include "../platform/last_error.h"
#include "../platform/entry_writer.h"
#include "../platform/platform_files.h"
#include "../platform/text.h"
#include "item_details.h"
#include "providers.h"
#include "startup_approved.h"

namespace {

const char disabled_suffix[] = ".disabled";

const char *final_component(const char *path) {
    const char *slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// ---- listing ----

// The listing's records keys, each opened on first use and closed when
// the listing of shortcuts ends.
struct shortcut_listing {
    listing *list;
    const startup_folder_list *folders;
    plat_hkey records[2] = {nullptr, nullptr};
    bool opened[2] = {false, false};
};

int marked_off(shortcut_listing *walk, const startup_folder *folder, const char *file_name) {
    int i = (int)(folder - walk->folders->folders);
    if (!walk->opened[i]) {
        walk->records[i] = approve_open(startup_records_root(folder), APPROVED_STARTUP_FOLDER);
        walk->opened[i] = true;
    }
    if (!walk->records[i]) return 0;
    char16_t *name = nullptr;
    if (utf8_to_utf16(file_name, &name) <= 0) return 0;
    int off = approve_marks_off(walk->records[i], name);
    free(name);
    return off;
}

bool is_shortcut(const char *name) {
    size_t n = strlen(name);
    return n >= 4 && iequals(name + n - 4, ".lnk");
}

int append_shortcut(void *context, const startup_folder *folder, const char *full_path, int enabled) {
    shortcut_listing *walk = (shortcut_listing *)context;
    char id[ENTRY_ID_SIZE];
    format_narrow(id, sizeof id, "startup:%016llx", (unsigned long long)path_hash(full_path));
    const char *name = final_component(full_path);
    bool on = enabled && !marked_off(walk, folder, name);
    item_details details;
    char *command = nullptr;
    if (is_shortcut(name)) {
        shortcut_parts parts;
        command = resolve_shortcut_command(full_path, &parts);
        if (parts.target) describe_program(walk->list->details, parts.target, parts.arguments, &details);
    } else {
        // Any other file is opened by Windows itself: the file is the command.
        command = dup_string(full_path);
        char16_t *wide = nullptr;
        if (utf8_to_utf16(full_path, &wide) > 0) describe_file(walk->list->details, wide, &details);
        free(wide);
    }
    // The folder as the identifier's path spells it, "\disabled" included.
    char location[STARTUP_PATH_SIZE + 16];
    format_narrow(location, sizeof location, "%.*s", (int)(name - full_path - 1), full_path);
    const char *scope = folder->common ? "machine" : "user";
    startup_entry entry = {id, "startup", name, command, on, location, scope,
                           details.image, details.image_exists, details.publisher, details.description};
    append_entry(walk->list, &entry);
    free(command);
    return 1;
}

// ---- finding the entry again ----

struct entry_search {
    uint64_t key;
    char *found;  // heap copy of the first full path with that hash
};

int match_shortcut(void *context, const startup_folder *, const char *full_path, int) {
    entry_search *search = (entry_search *)context;
    if (path_hash(full_path) != search->key) return 1;
    search->found = dup_string(full_path);
    return 0;
}

char *find_entry_path(uint64_t key) {
    startup_folder_list list;
    find_startup_folders(&list);
    entry_search search = {key, nullptr};
    walk_startup_shortcuts(&list, match_shortcut, &search);
    return search.found;
}

// 1 when `rest` is a file name, or "disabled\" and a file name: what
// follows a folder's path in the paths its own walk forms.
int lies_directly_in(const char *rest) {
    if (strncmp(rest, "disabled\\", 9) == 0) rest += 9;
    return *rest && !strchr(rest, '\\');
}

// The folder the entry lies in. Its path must be followed by a separator,
// so that a folder named like the start of another one cannot claim it,
// and then by the name alone (or "disabled\" and the name), so that a
// folder holding another one does not claim that one's shortcuts.
const startup_folder *folder_holding(const startup_folder_list *list, const char *full_path) {
    for (int i = 0; i < list->count; i++) {
        size_t n = strlen(list->folders[i].path);
        if (strncmp(full_path, list->folders[i].path, n) == 0 && full_path[n] == '\\' &&
            lies_directly_in(full_path + n + 1))
            return &list->folders[i];
    }
    return nullptr;
}

// ---- placing and moving it ----

struct placement {
    const startup_folder *folder;
    char disabled_dir[STARTUP_PATH_SIZE];  // the folder's "disabled" subfolder
    char name[STARTUP_NAME_SIZE];          // the file name without ".disabled", set by take_name
    int disabled;                          // the entry lies in disabled_dir now
};

// Formats into a fixed buffer; 0 when the text would be cut.
int fits(char *dst, size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
int fits(char *dst, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int n = vsnprintf(dst, size, format, args);
    va_end(args);
    return n >= 0 && (size_t)n < size;
}

int path_too_long(const char *full_path) {
    set_last_error("startup: path too long (over 2047 bytes) for '%s'", final_component(full_path));
    return 0;
}

// The entry is off when it lies below "<folder>\disabled\".
void place_entry(const startup_folder *folder, const char *full_path, placement *place) {
    place->folder = folder;
    const char *rest = full_path + strlen(folder->path) + 1;
    place->disabled = strncmp(rest, "disabled\\", 9) == 0;
    if (!fits(place->disabled_dir, sizeof place->disabled_dir, "%s\\disabled", folder->path))
        place->disabled_dir[0] = '\0';  // refused by form_move before any use
}

// The file name, without a trailing ".disabled", into place->name. A name
// that does not fit its buffer is refused rather than cut, since a cut
// name may be another file's.
int take_name(const char *full_path, placement *place) {
    const char *name = final_component(full_path);
    if (!fits(place->name, sizeof place->name, "%s", name)) {
        set_last_error("startup: file name too long (over 259 bytes): '%s'", name);
        return 0;
    }
    size_t n = strlen(place->name), k = sizeof disabled_suffix - 1;
    if (n > k && iequals(place->name + n - k, disabled_suffix)) place->name[n - k] = '\0';
    return 1;
}

// Both ends of a move in UTF-16, converted before anything moves, so that
// undoing the move needs no memory.
struct wide_move {
    char16_t *from = nullptr, *to = nullptr;
    wide_move() = default;
    wide_move(const wide_move &) = delete;
    wide_move &operator=(const wide_move &) = delete;
    ~wide_move() {
        free(from);
        free(to);
    }
};

int prepare_move(const char *from, const char *to, wide_move *move) {
    if (utf8_to_utf16(from, &move->from) > 0 && utf8_to_utf16(to, &move->to) > 0) return 1;
    set_last_error("OOM");
    return 0;
}

int move_wide(const char16_t *wide_from, const char16_t *wide_to, const char *from, const char *to) {
    if (plat_move_file(wide_from, wide_to)) return 1;
    plat_error code = plat_get_last_error();
    if (code == PLAT_ERROR_ACCESS_DENIED)
        set_last_error("startup: move access denied (needs admin for common folder)");
    else
        set_last_error("startup: move '%s'\xe2\x86\x92'%s' failed (0x%x)", from, to, (unsigned)code);
    return 0;
}

int move_file(const char *from, const char *to) {
    wide_move move;
    return prepare_move(from, to, &move) && move_wide(move.from, move.to, from, to);
}

// The full paths a move goes from and to: `name` in `from_dir` and in
// `to_dir`; 0 (message recorded) when either would be cut.
int form_move(const char *full_path, const char *from_dir, const char *to_dir, const char *name, char *from,
              char *to) {
    if (!*from_dir || !*to_dir || !fits(from, STARTUP_PATH_SIZE, "%s\\%s", from_dir, name) ||
        !fits(to, STARTUP_PATH_SIZE, "%s\\%s", to_dir, name))
        return path_too_long(full_path);
    return 1;
}

// The subfolder could not be made: without rights in the all-users folder,
// or something of its name is in the way.
int creation_failed(const char *dir) {
    plat_error code = plat_get_last_error();
    if (code == PLAT_ERROR_ACCESS_DENIED)
        set_last_error("startup: move access denied (needs admin for common folder)");
    else
        set_last_error("startup: cannot create folder '%s' (0x%x)", dir, (unsigned)code);
    return 0;
}

int switch_off(const char *full_path, placement *place, held_folder *disabled) {
    if (place->disabled) return 1;
    char from[STARTUP_PATH_SIZE], to[STARTUP_PATH_SIZE];
    if (!take_name(full_path, place) ||
        !form_move(full_path, place->folder->path, place->disabled_dir, place->name, from, to))
        return 0;
    if (!file_exists(from)) {
        set_last_error("startup: '%s' not found", from);
        return 0;
    }
    if (!disabled->file) {
        if (!make_directories(place->disabled_dir)) return creation_failed(place->disabled_dir);
        if (!hold_real_folder(place->disabled_dir, disabled)) return 0;
    }
    // Answering success here would leave the shortcut starting at logon
    // while the host shows it off.
    if (file_exists(to)) {
        set_last_error("startup: cannot disable \xe2\x80\x94 '%s' already exists", to);
        return 0;
    }
    return move_file(from, to);
}

// Removes an off record of the wide `name` in the folder's hive; 0 or the failing call's code.
plat_error clear_record(const placement *place, const char16_t *name) {
    return approve_clear(startup_records_root(place->folder), APPROVED_STARTUP_FOLDER, nullptr, name);
}

// A shortcut in its folder whose record says off: the record goes.
int clear_record_in_place(const char *full_path, const placement *place) {
    const char *name = final_component(full_path);
    char16_t *wide = nullptr;
    if (utf8_to_utf16(name, &wide) <= 0) {
        set_last_error("OOM");
        return 0;
    }
    plat_error code = clear_record(place, wide);
    free(wide);
    return code == PLAT_ERROR_SUCCESS ? 1 : approve_failed("startup", "clear", name, code, "");
}

int switch_on(const char *full_path, placement *place, held_folder *disabled) {
    if (!place->disabled) return clear_record_in_place(full_path, place);
    char from[STARTUP_PATH_SIZE], to[STARTUP_PATH_SIZE];
    if (!take_name(full_path, place) ||
        !form_move(full_path, place->disabled_dir, place->folder->path, place->name, from, to))
        return 0;
    if (!file_exists(from)) {
        set_last_error("startup: '%s' not found", from);
        return 0;
    }
    if (file_exists(to)) {
        set_last_error("startup: cannot enable \xe2\x80\x94 '%s' already exists", to);
        return 0;
    }
    if (!disabled->file && !hold_real_folder(place->disabled_dir, disabled)) return 0;
    wide_move move;
    char16_t *record_name = nullptr;
    if (!prepare_move(from, to, &move)) return 0;
    if (utf8_to_utf16(place->name, &record_name) <= 0) {
        set_last_error("OOM");
        return 0;
    }
    if (!move_wide(move.from, move.to, from, to)) {
        free(record_name);
        return 0;
    }
    plat_error code = clear_record(place, record_name);
    free(record_name);
    if (code != PLAT_ERROR_SUCCESS) {
        bool undone = plat_move_file(move.to, move.from);
        return approve_failed("startup", "clear", place->name, code, undone ? "" : "; undoing the move failed");
    }
    // Let go first: the handle held denies the removal its own open.
    disabled->release();
    remove_real_folder_if_empty(place->disabled_dir);
    return 1;
}

int switch_entry(const char *full_path, int enabled) {
    startup_folder_list list;
    find_startup_folders(&list);
    const startup_folder *folder = folder_holding(&list, full_path);
    if (!folder) {
        set_last_error("startup: path not in a known startup dir");
        return 0;
    }
    placement place;
    place_entry(folder, full_path, &place);
    // Both held until the switch is over (see startup_guard.cpp); the
    // subfolder is made first, and held then, when switching off needs it.
    held_folder held_itself, held_disabled;
    if (!hold_real_folder(folder->path, &held_itself)) return 0;
    if (*place.disabled_dir && !hold_real_folder(place.disabled_dir, &held_disabled, 1)) return 0;
    return enabled ? switch_on(full_path, &place, &held_disabled) : switch_off(full_path, &place, &held_disabled);
}

}  // namespace

void list_startup_entries(listing *list) {
    startup_folder_list folders;
    find_startup_folders(&folders);
    shortcut_listing walk = {list, &folders};
    walk_startup_shortcuts(&folders, append_shortcut, &walk);
    for (plat_hkey records : walk.records)
        if (records) plat_reg_close_key(records);
}

int set_startup_entry_enabled(uint64_t key, int enabled) {
    char *full_path = find_entry_path(key);
    if (!full_path) {
        set_last_error("startup: entry no longer exists");
        return 0;
    }
    int done = switch_entry(full_path, enabled);
    free(full_path);
    return done;
}

// Logon tasks of every task folder, hidden ones included, but for the
// operating system's own below \Microsoft\Windows: listed when a task has a
// logon trigger, switched through the task's own enabled flag. A task is
// known by its path, hashed without regard to ASCII case, so it keeps its
// identifier when switched.

#include <cstdlib>
#include <cstring>

#include "../platform/text_hash.h"
#include "../platform/last_error.h"
#include "../platform/entry_writer.h"
#include "../platform/com_policy.h"
#include "../platform/text.h"
#include "item_details.h"
#include "providers.h"
#include "task_objects.h"

namespace {

// Takes the holder itself, not its pointer: the call that fills it must have
// run before the pointer is looked at.
template <typename H, void (*Release)(H)>
bool failed_or_missing(plat_hresult hr, const held<H, Release> &object) {
    return PLAT_FAILED(hr) || !object;
}

// A count that cannot be read, or is below 1, means nothing to walk.
template <typename H>
int32_t read_count(plat_hresult (*get)(H, int32_t *), H handle) {
    int32_t count = 0;
    if (PLAT_FAILED(get(handle, &count)) || count < 1) return 0;
    return count;
}

bool is_logon_trigger(plat_trigger_collection triggers, int32_t index) {
    trigger_ref trigger;
    plat_hresult hr = plat_trigger_collection_get_item(triggers, index, trigger.out());
    if (failed_or_missing(hr, trigger)) return false;
    int32_t type = 0;
    if (PLAT_FAILED(plat_trigger_get_type(trigger.get(), &type))) return false;
    return type == PLAT_TASK_TRIGGER_LOGON;
}

bool has_logon_trigger(plat_task_definition definition) {
    trigger_list_ref triggers;
    plat_hresult hr = plat_task_definition_get_triggers(definition, triggers.out());
    if (failed_or_missing(hr, triggers)) return false;
    int32_t count = read_count(plat_trigger_collection_get_count, triggers.get());
    for (int32_t i = 1; i <= count; i++)
        if (is_logon_trigger(triggers.get(), i)) return true;
    return false;
}

// A task's command line, and its program and arguments apart (each null
// when memory ran out).
struct task_command {
    char *line = nullptr;
    char *program = nullptr;
    char *arguments = nullptr;
    task_command() = default;
    task_command(const task_command &) = delete;
    task_command &operator=(const task_command &) = delete;
    ~task_command() {
        free(line);
        free(program);
        free(arguments);
    }
};

// 1 when action `index` is an exec action with a program path: its command
// is in *out; 0 when it is passed over.
int exec_command(plat_action_collection actions, int32_t index, task_command *out) {
    action_ref action;
    plat_hresult hr = plat_action_collection_get_item(actions, index, action.out());
    if (failed_or_missing(hr, action)) return 0;
    int32_t type = 0;
    hr = plat_action_get_type(action.get(), &type);
    if (PLAT_FAILED(hr) || type != PLAT_TASK_ACTION_EXEC) return 0;
    exec_ref exec;
    if (failed_or_missing(plat_action_query_exec(action.get(), exec.out()), exec)) return 0;
    owned_text program(read_text(plat_exec_action_get_path, exec.get()));
    owned_text arguments(read_text(plat_exec_action_get_arguments, exec.get()));
    if (program.empty()) return 0;
    out->line = join_command(program.get(), arguments.or_empty());
    out->program = dup_string(program.get());
    out->arguments = dup_string(arguments.or_empty());
    return 1;
}

// The command of the first exec action that has a program; a line of ""
// when there is none.
void first_exec_command(plat_task_definition definition, task_command *command) {
    action_list_ref actions;
    plat_hresult hr = plat_task_definition_get_actions(definition, actions.out());
    int32_t count = failed_or_missing(hr, actions) ? 0 : read_count(plat_action_collection_get_count, actions.get());
    for (int32_t i = 1; i <= count; i++)
        if (exec_command(actions.get(), i, command)) break;
    // A joined text that could not be allocated leaves "".
    if (!command->line) command->line = dup_string("");
}

// Whether the task has a logon trigger and, when it has, its command, both
// read through one definition: on Windows each fetch is a round trip to the
// Task Scheduler service.
bool read_definition(plat_task task, task_command *command) {
    definition_ref definition;
    if (failed_or_missing(plat_task_get_definition(task, definition.out()), definition))
        return false;
    if (!has_logon_trigger(definition.get())) return false;
    first_exec_command(definition.get(), command);
    return true;
}

// The folder of a task's path as the Task Scheduler names it: "\\" for
// the root folder.
char *task_folder(const char *path) {
    const char *last = strrchr(path, '\\');
    if (!last || last == path) return dup_string("\\");
    char *folder = dup_string(path);
    if (folder) folder[last - path] = 0;
    return folder;
}

void list_task(listing *list, plat_task task) {
    owned_text name(read_text(plat_task_get_name, task));
    owned_text path(read_text(plat_task_get_path, task));
    plat_variant_bool flag = 0;
    plat_task_get_enabled(task, &flag);  // a flag that cannot be read stays "disabled"
    task_command command;
    if (!read_definition(task, &command)) return;

    char id[ENTRY_ID_SIZE];
    format_narrow(id, sizeof id, "task:%016llx", (unsigned long long)path_hash(path.or_empty()));
    item_details details;
    char16_t *program = nullptr, *arguments = nullptr;
    if (command.program && command.arguments && utf8_to_utf16(command.program, &program) > 0 &&
        utf8_to_utf16(command.arguments, &arguments) > 0)
        describe_program(list->details, program, arguments, &details);
    free(program);
    free(arguments);
    owned_text folder(task_folder(path.or_empty()));
    startup_entry entry = {id, "task", name.or_empty(), command.line, flag == PLAT_VARIANT_TRUE, folder.get(), "machine",
                           details.image, details.image_exists, details.publisher, details.description};
    append_entry(list, &entry);
}

// Called with each task of a folder that could be fetched; returns 0 to stop.
typedef int (*task_visitor)(void *context, plat_task task);

// Walks the tasks of `folder`, hidden ones included, in the collection's
// order. False when the task list cannot be had: *hr holds what asking
// for it returned (a success when it gave no object).
bool walk_folder_tasks(plat_task_folder folder, task_visitor visit, void *context, plat_hresult *hr) {
    task_list_ref tasks;
    *hr = plat_task_folder_get_tasks(folder, PLAT_TASK_ENUM_HIDDEN, tasks.out());
    if (failed_or_missing(*hr, tasks)) return false;
    int32_t count = read_count(plat_task_collection_get_count, tasks.get());
    for (int32_t i = 1; i <= count; i++) {
        task_ref task;
        if (failed_or_missing(fetch_task(tasks.get(), i, task.out()), task)) continue;
        if (!visit(context, task.get())) break;
    }
    return true;
}

// Folders below this one hold the operating system's own tasks, which are
// left out as Windows' own entries usually are: a user cannot tell them
// apart from the system, and switching them off breaks it.
#define TASK_REASON_SIZE 1024

#define WINDOWS_OWN "\\microsoft\\windows\\"

// 1 when the folder is "\Microsoft\Windows" or lies below it (ASCII case ignored).
bool is_windows_own(const char *path) {
    size_t n = sizeof WINDOWS_OWN - 1;
    for (size_t i = 0; i < n; i++) {
        char c = path[i] >= 'A' && path[i] <= 'Z' ? (char)(path[i] + 0x20) : path[i];
        if (c == '\0') return i == n - 1;  // the folder itself, without its final separator
        if (c != WINDOWS_OWN[i]) return false;
    }
    return true;
}

// One walk over every listed folder, the same for the listing and the
// toggle. A folder that cannot be read is passed over, and why is kept:
// the listing records it at once, the toggle only when it fails for want
// of its task (a switch that succeeded leaves the record alone).
struct folder_walk {
    task_visitor visit;
    void *context;
    bool record_at_once;
    bool failed = false;  // some folder could not be read: `reason` says why
    char reason[TASK_REASON_SIZE] = "";
};

void folder_failed(folder_walk *walk, const char *call, const char *path, plat_hresult hr) {
    walk->failed = true;
    format_narrow(walk->reason, sizeof walk->reason, "task: %s '%s': HRESULT 0x%08x", call, path, (unsigned)hr);
    if (walk->record_at_once) set_last_error("%s", walk->reason);
}

void walk_tree(folder_walk *walk, plat_task_folder folder, const char *path);

// Subfolder `index` of `folders`, walked unless it is Windows' own.
void walk_subfolder(folder_walk *walk, plat_folder_collection folders, int32_t index, const char *parent) {
    plat_variant at;
    plat_variant_init(&at);
    at.vt = PLAT_VT_I4;
    at.int_value = index;
    folder_ref sub;
    plat_hresult hr = plat_folder_collection_get_item(folders, &at, sub.out());
    if (failed_or_missing(hr, sub)) return folder_failed(walk, "GetFolders item of", parent, hr);
    plat_bstr text = nullptr;
    hr = plat_task_folder_get_path(sub.get(), &text);
    owned_text path(take_text(text));
    if (PLAT_FAILED(hr) || path.empty()) return folder_failed(walk, "get_Path of a folder in", parent, hr);
    if (!is_windows_own(path.get())) walk_tree(walk, sub.get(), path.get());
}

// The folder's tasks, then its subfolders depth first, each in the
// Task Scheduler's order.
void walk_tree(folder_walk *walk, plat_task_folder folder, const char *path) {
    plat_hresult hr = 0;
    if (!walk_folder_tasks(folder, walk->visit, walk->context, &hr)) folder_failed(walk, "GetTasks", path, hr);
    held<plat_folder_collection, plat_folder_collection_release> folders;
    hr = plat_task_folder_get_folders(folder, 0, folders.out());
    if (failed_or_missing(hr, folders)) return folder_failed(walk, "GetFolders", path, hr);
    int32_t count = read_count(plat_folder_collection_get_count, folders.get());
    for (int32_t i = 1; i <= count; i++) walk_subfolder(walk, folders.get(), i, path);
}

// Walks every folder from the root; false when the root cannot be opened.
bool walk_all_tasks(plat_task_service service, folder_walk *walk) {
    folder_ref root(open_root_folder(service));
    if (!root) return false;
    walk_tree(walk, root.get(), "\\");
    return true;
}

int list_visited_task(void *context, plat_task task) {
    list_task((listing *)context, task);
    return 1;
}

// Sets the flag unless it already has the wanted state. A flag that cannot
// be read is set either way: answering "already off" for a task that may be
// on would report a failure as success.
int switch_task(plat_task task, int enabled) {
    plat_variant_bool flag = 0;
    bool known = !PLAT_FAILED(plat_task_get_enabled(task, &flag));
    bool is_on = flag == PLAT_VARIANT_TRUE;
    bool want_on = enabled != 0;
    if (known && is_on == want_on) return 1;
    plat_hresult hr = plat_task_put_enabled(task, want_on ? PLAT_VARIANT_TRUE : PLAT_VARIANT_FALSE);
    if (!PLAT_FAILED(hr)) return 1;
    if (hr == PLAT_E_ACCESSDENIED)
        set_last_error("task: set enabled access denied (needs admin)");
    else
        set_last_error("%s: HRESULT 0x%08x", "task: put_Enabled failed", (unsigned)hr);
    return 0;
}

struct task_switch {
    uint64_t key;
    int enabled;
    bool matched;
    int result;
};

// Every task's path is read, also after the match: the walk is the same
// whichever task matches.
int switch_visited_task(void *context, plat_task task) {
    task_switch *toggle = (task_switch *)context;
    owned_text path(read_text(plat_task_get_path, task));
    if (toggle->matched || path_hash(path.or_empty()) != toggle->key) return 1;
    toggle->matched = true;
    toggle->result = switch_task(task, toggle->enabled);
    return 1;
}

// Walks every task of every listed folder, listed or not, and switches
// the first whose path hashes to `key`.
int toggle_task(plat_task_service service, uint64_t key, int enabled) {
    task_switch toggle = {key, enabled, false, 0};
    folder_walk walk = {switch_visited_task, &toggle, false};
    if (!walk_all_tasks(service, &walk)) return 0;
    // Not found where a folder could not be read: it may be there.
    if (!toggle.matched) set_last_error("%s", walk.failed ? walk.reason : "task: entry no longer exists");
    return toggle.result;
}

}  // namespace

void list_task_entries(listing *list) {
    service_ref service(connect_task_service(false));
    folder_walk walk = {list_visited_task, list, true};
    if (service) walk_all_tasks(service.get(), &walk);
}

int set_task_entry_enabled(uint64_t key, int enabled) {
    int result = 0;
    {
        service_ref service(connect_task_service(true));
        if (service) result = toggle_task(service.get(), key, enabled);
    }
    com_leave();  // last, after every object is released
    return result;
}

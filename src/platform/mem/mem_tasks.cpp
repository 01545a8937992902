// In-memory Task Scheduler: registered tasks in folders, handed out through
// short-lived objects that must each be released once. Every handle is
// checked before use, so a leak, a double release or a call through a
// released handle shows up in the counters instead of crashing.
#include "mem_tasks.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "../platform_tasks.h"
#include "mem_com.h"
#include "mem_machine.h"

namespace {

const uint64_t value_tag = 1;  // upper half of a "S_OK with this value" code
const plat_hresult e_path_not_found = (plat_hresult)0x80070003;

enum kind {
    k_service, k_folder, k_folders, k_tasks, k_task, k_definition, k_triggers, k_trigger, k_actions, k_action, k_exec
};

struct object {
    kind k;
    bool connected = false;      // service
    std::u16string folder;       // folder
    std::vector<std::u16string> children;  // folder collection, snapshot of GetFolders
    std::vector<int> members;    // task collection, snapshot of GetTasks
    int task = -1;               // task and everything below it
    int item = -1;               // trigger or action, 0-based
};

struct task_rec {
    mem_task_def def;
    bool removed = false;
    int puts = 0;
};

struct scheduler {
    std::mutex lock;
    std::vector<task_rec> tasks;
    std::vector<std::u16string> folders;  // every folder but the root, in order of creation
    std::set<object *> live;
    std::set<char16_t *> bstrs;
    bool absent = false;
    int bad_releases = 0;
    int bad_uses = 0;
};

scheduler &sched() {
    static scheduler s;
    return s;
}

// What a faulted call is to answer.
struct answer {
    bool faulted = false;
    plat_hresult hr = PLAT_S_OK;
    bool has_value = false;
    int32_t value = 0;
};

answer check_fault(const char *op) {
    answer a;
    int64_t code = 0;
    if (!mem_fault(op, &code)) return a;
    a.faulted = true;
    if (((uint64_t)code >> 32) == value_tag) {
        a.has_value = true;
        a.value = (int32_t)(uint32_t)code;
    } else {
        a.hr = (plat_hresult)code;
    }
    return a;
}

// Callers hold the lock for the helpers below.
object *use(const void *handle, kind k) {
    scheduler &s = sched();
    object *o = (object *)handle;
    if (!s.live.count(o) || o->k != k) {
        s.bad_uses++;
        return nullptr;
    }
    return o;
}

object *make(kind k, int task = -1, int item = -1) {
    object *o = new object;
    o->k = k;
    o->task = task;
    o->item = item;
    sched().live.insert(o);
    return o;
}

plat_bstr make_bstr(const std::u16string &text) {
    char16_t *b = (char16_t *)malloc((text.size() + 1) * sizeof(char16_t));
    if (!b) return nullptr;
    memcpy(b, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    sched().bstrs.insert(b);
    return b;
}

const mem_task_def &def_of(const object *o) { return sched().tasks[(size_t)o->task].def; }

std::u16string task_path(const mem_task_def &def) {
    if (!def.path.empty()) return def.path;
    if (def.folder == u"\\") return u"\\" + def.name;
    return def.folder + u"\\" + def.name;
}

void release(const char *op, const void *handle, kind k) {
    mem_fault(op, nullptr);
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = (object *)handle;
    if (!o || !s.live.count(o) || o->k != k) {
        s.bad_releases++;
        return;
    }
    s.live.erase(o);
    delete o;
}

// The shared shape of every getter that hands out a child object.
template <typename Out>
plat_hresult give_child(const char *op, const void *handle, kind from, kind to, Out *out) {
    answer a = check_fault(op);
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(handle, from);
    if (!o || !out) return PLAT_E_POINTER;
    *out = (Out)make(to, o->task);
    return PLAT_S_OK;
}

// The shared shape of every getter that hands out a number.
template <typename Read>
plat_hresult give_number(const char *op, const void *handle, kind k, int32_t *out, Read read) {
    answer a = check_fault(op);
    if (a.faulted && !a.has_value) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(handle, k);
    if (!o || !out) return PLAT_E_POINTER;
    *out = a.has_value ? a.value : read(o);
    return PLAT_S_OK;
}

template <typename Read>
plat_hresult give_text(const char *op, const void *handle, kind k, plat_bstr *out, Read read) {
    answer a = check_fault(op);
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(handle, k);
    if (!o || !out) return PLAT_E_POINTER;
    *out = make_bstr(read(o));
    return *out ? PLAT_S_OK : PLAT_E_OUTOFMEMORY;
}

// Hands out the index-th (1-based) trigger or action of a task.
template <typename Out>
plat_hresult give_item(const char *op, const void *handle, kind from, kind to, int32_t index,
                       size_t size_of_list(const mem_task_def &), Out *out) {
    answer a = check_fault(op);
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(handle, from);
    if (!o || !out) return PLAT_E_POINTER;
    if (index < 1 || (size_t)index > size_of_list(def_of(o))) return PLAT_E_INVALIDARG;
    *out = (Out)make(to, o->task, index - 1);
    return PLAT_S_OK;
}

// The folder holding `path`: "\\" for a child of the root.
std::u16string parent_of(const std::u16string &path) {
    size_t last = path.rfind(u'\\');
    return last == 0 || last == std::u16string::npos ? u"\\" : path.substr(0, last);
}

// Creates the folder and its missing parents, parents first.
void add_folder_locked(const std::u16string &path) {
    scheduler &s = sched();
    if (path.empty() || path == u"\\") return;
    for (const std::u16string &f : s.folders)
        if (f == path) return;
    add_folder_locked(parent_of(path));
    s.folders.push_back(path);
}

size_t trigger_count(const mem_task_def &def) { return def.triggers.size(); }
size_t action_count(const mem_task_def &def) { return def.actions.size(); }

void reset_tasks() {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    for (object *o : s.live) delete o;
    for (char16_t *b : s.bstrs) free(b);
    s.live.clear();
    s.bstrs.clear();
    s.tasks.clear();
    s.folders.clear();
    s.absent = false;
    s.bad_releases = 0;
    s.bad_uses = 0;
}
const bool registered = (mem_on_reset(reset_tasks), true);

}  // namespace

// ---- set-up and inspection ----

int mem_task_add(const mem_task_def &def) {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    task_rec r;
    r.def = def;
    r.def.path = task_path(def);
    add_folder_locked(def.folder);
    s.tasks.push_back(r);
    return (int)s.tasks.size() - 1;
}

void mem_task_add_folder(const std::u16string &path) {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    add_folder_locked(path);
}

void mem_task_remove(int task) {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    s.tasks.at((size_t)task).removed = true;
}

int16_t mem_task_enabled(int task) {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    return s.tasks.at((size_t)task).def.enabled;
}

int mem_task_put_count(int task) {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    return s.tasks.at((size_t)task).puts;
}

void mem_task_set_absent(bool absent) {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    s.absent = absent;
}

int64_t mem_task_value(int32_t value) { return (int64_t)((value_tag << 32) | (uint32_t)value); }

int mem_task_live_objects() {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    return (int)s.live.size();
}

int mem_task_live_bstrs() {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    return (int)s.bstrs.size();
}

int mem_task_bad_releases() {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    return s.bad_releases;
}

int mem_task_bad_uses() {
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    return s.bad_uses;
}

// ---- COM runtime pieces ----

void plat_variant_init(plat_variant *v) {
    mem_fault("VariantInit", nullptr);
    v->vt = PLAT_VT_EMPTY;
    v->int_value = 0;
}

void plat_sys_free_string(plat_bstr text) {
    mem_fault("SysFreeString", nullptr);
    if (!text) return;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.bstrs.erase(text)) {
        s.bad_releases++;
        return;
    }
    free(text);
}

plat_hresult plat_co_create_task_service(uint32_t clsctx, plat_task_service *out) {
    answer a = check_fault("CoCreateInstance(TaskScheduler)");
    if (a.faulted) return a.hr;
    if (mem_com_depth() == 0) return PLAT_CO_E_NOTINITIALIZED;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    // The service is an out-of-process server: a context without one finds no class.
    if (s.absent || !(clsctx & 0x4u)) return PLAT_REGDB_E_CLASSNOTREG;
    if (!out) return PLAT_E_POINTER;
    *out = (plat_task_service)make(k_service);
    return PLAT_S_OK;
}

// ---- ITaskService ----

static bool is_empty(const plat_variant *v) { return v && v->vt == PLAT_VT_EMPTY; }

plat_hresult plat_task_service_connect(plat_task_service service, const plat_variant *server,
                                       const plat_variant *user, const plat_variant *domain,
                                       const plat_variant *password) {
    answer a = check_fault("ITaskService_Connect");
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(service, k_service);
    if (!o) return PLAT_E_POINTER;
    // Only the local machine under the caller's own identity is modelled.
    if (!is_empty(server) || !is_empty(user) || !is_empty(domain) || !is_empty(password))
        return PLAT_E_INVALIDARG;
    o->connected = true;
    return PLAT_S_OK;
}

plat_hresult plat_task_service_get_folder(plat_task_service service, const char16_t *path,
                                          plat_task_folder *out) {
    answer a = check_fault("ITaskService_GetFolder");
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(service, k_service);
    if (!o || !out) return PLAT_E_POINTER;
    if (!o->connected) return PLAT_E_NOT_CONNECTED;
    std::u16string want = path && path[0] ? std::u16string(path) : u"\\";
    bool known = want == u"\\";
    for (const std::u16string &f : s.folders) known = known || f == want;
    if (!known) return e_path_not_found;
    object *f = make(k_folder);
    f->folder = want;
    *out = (plat_task_folder)f;
    return PLAT_S_OK;
}

void plat_task_service_release(plat_task_service service) {
    release("ITaskService_Release", service, k_service);
}

// ---- ITaskFolder ----

plat_hresult plat_task_folder_get_tasks(plat_task_folder folder, int32_t flags,
                                        plat_task_collection *out) {
    answer a = check_fault("ITaskFolder_GetTasks");
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(folder, k_folder);
    if (!o || !out) return PLAT_E_POINTER;
    object *c = make(k_tasks);
    for (size_t i = 0; i < s.tasks.size(); i++) {
        const task_rec &t = s.tasks[i];
        if (t.removed || t.def.folder != o->folder) continue;
        if (t.def.hidden && !(flags & PLAT_TASK_ENUM_HIDDEN)) continue;
        c->members.push_back((int)i);
    }
    *out = (plat_task_collection)c;
    return PLAT_S_OK;
}

plat_hresult plat_task_folder_get_folders(plat_task_folder folder, int32_t flags,
                                          plat_folder_collection *out) {
    answer a = check_fault("ITaskFolder_GetFolders");
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(folder, k_folder);
    if (!o || !out) return PLAT_E_POINTER;
    (void)flags;  // reserved: ignored, as Wine's scheduler does
    object *c = make(k_folders);
    for (const std::u16string &f : s.folders)
        if (parent_of(f) == o->folder) c->children.push_back(f);
    *out = (plat_folder_collection)c;
    return PLAT_S_OK;
}

plat_hresult plat_task_folder_get_path(plat_task_folder folder, plat_bstr *out) {
    return give_text("ITaskFolder_get_Path", folder, k_folder, out, [](const object *o) { return o->folder; });
}

void plat_task_folder_release(plat_task_folder folder) {
    release("ITaskFolder_Release", folder, k_folder);
}

// ---- ITaskFolderCollection ----

// A collection's get_Item index: a VT_I4 from 1 to `size`, as *at from 0.
static bool item_index(const plat_variant *index, size_t size, size_t *at) {
    if (index->vt != PLAT_VT_I4 || index->int_value < 1 || (size_t)index->int_value > size) return false;
    *at = (size_t)index->int_value - 1;
    return true;
}

plat_hresult plat_folder_collection_get_count(plat_folder_collection folders, int32_t *count) {
    return give_number("ITaskFolderCollection_get_Count", folders, k_folders, count,
                       [](const object *o) { return (int32_t)o->children.size(); });
}

plat_hresult plat_folder_collection_get_item(plat_folder_collection folders, const plat_variant *index,
                                             plat_task_folder *out) {
    answer a = check_fault("ITaskFolderCollection_get_Item");
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(folders, k_folders);
    if (!o || !out || !index) return PLAT_E_POINTER;
    size_t at = 0;
    if (!item_index(index, o->children.size(), &at)) return PLAT_E_INVALIDARG;
    object *f = make(k_folder);
    f->folder = o->children[at];
    *out = (plat_task_folder)f;
    return PLAT_S_OK;
}

void plat_folder_collection_release(plat_folder_collection folders) {
    release("ITaskFolderCollection_Release", folders, k_folders);
}

// ---- IRegisteredTaskCollection ----

plat_hresult plat_task_collection_get_count(plat_task_collection tasks, int32_t *count) {
    return give_number("IRegisteredTaskCollection_get_Count", tasks, k_tasks, count,
                       [](const object *o) { return (int32_t)o->members.size(); });
}

plat_hresult plat_task_collection_get_item(plat_task_collection tasks, const plat_variant *index,
                                           plat_task *out) {
    answer a = check_fault("IRegisteredTaskCollection_get_Item");
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(tasks, k_tasks);
    if (!o || !out || !index) return PLAT_E_POINTER;
    size_t at = 0;
    if (!item_index(index, o->members.size(), &at)) return PLAT_E_INVALIDARG;
    *out = (plat_task)make(k_task, o->members[at]);
    return PLAT_S_OK;
}

void plat_task_collection_release(plat_task_collection tasks) {
    release("IRegisteredTaskCollection_Release", tasks, k_tasks);
}

// ---- IRegisteredTask ----

plat_hresult plat_task_get_name(plat_task task, plat_bstr *out) {
    return give_text("IRegisteredTask_get_Name", task, k_task, out,
                     [](const object *o) { return def_of(o).name; });
}

plat_hresult plat_task_get_path(plat_task task, plat_bstr *out) {
    return give_text("IRegisteredTask_get_Path", task, k_task, out,
                     [](const object *o) { return def_of(o).path; });
}

plat_hresult plat_task_get_enabled(plat_task task, plat_variant_bool *out) {
    int32_t value = 0;
    plat_hresult hr = give_number("IRegisteredTask_get_Enabled", task, k_task, out ? &value : nullptr,
                                  [](const object *o) { return (int32_t)def_of(o).enabled; });
    if (!PLAT_FAILED(hr) && out) *out = (plat_variant_bool)value;
    return hr;
}

plat_hresult plat_task_put_enabled(plat_task task, plat_variant_bool enabled) {
    answer a = check_fault("IRegisteredTask_put_Enabled");
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(task, k_task);
    if (!o) return PLAT_E_POINTER;
    task_rec &t = s.tasks[(size_t)o->task];
    t.def.enabled = enabled;
    t.puts++;
    return PLAT_S_OK;
}

plat_hresult plat_task_get_definition(plat_task task, plat_task_definition *out) {
    return give_child("IRegisteredTask_get_Definition", task, k_task, k_definition, out);
}

void plat_task_release(plat_task task) { release("IRegisteredTask_Release", task, k_task); }

// ---- ITaskDefinition ----

plat_hresult plat_task_definition_get_triggers(plat_task_definition definition,
                                               plat_trigger_collection *out) {
    return give_child("ITaskDefinition_get_Triggers", definition, k_definition, k_triggers, out);
}

plat_hresult plat_task_definition_get_actions(plat_task_definition definition,
                                              plat_action_collection *out) {
    return give_child("ITaskDefinition_get_Actions", definition, k_definition, k_actions, out);
}

void plat_task_definition_release(plat_task_definition definition) {
    release("ITaskDefinition_Release", definition, k_definition);
}

// ---- ITriggerCollection, ITrigger ----

plat_hresult plat_trigger_collection_get_count(plat_trigger_collection triggers, int32_t *count) {
    return give_number("ITriggerCollection_get_Count", triggers, k_triggers, count,
                       [](const object *o) { return (int32_t)def_of(o).triggers.size(); });
}

plat_hresult plat_trigger_collection_get_item(plat_trigger_collection triggers, int32_t index,
                                              plat_trigger *out) {
    return give_item("ITriggerCollection_get_Item", triggers, k_triggers, k_trigger, index,
                     trigger_count, out);
}

void plat_trigger_collection_release(plat_trigger_collection triggers) {
    release("ITriggerCollection_Release", triggers, k_triggers);
}

plat_hresult plat_trigger_get_type(plat_trigger trigger, int32_t *type) {
    return give_number("ITrigger_get_Type", trigger, k_trigger, type,
                       [](const object *o) { return (int32_t)def_of(o).triggers[(size_t)o->item]; });
}

void plat_trigger_release(plat_trigger trigger) { release("ITrigger_Release", trigger, k_trigger); }

// ---- IActionCollection, IAction, IExecAction ----

plat_hresult plat_action_collection_get_count(plat_action_collection actions, int32_t *count) {
    return give_number("IActionCollection_get_Count", actions, k_actions, count,
                       [](const object *o) { return (int32_t)def_of(o).actions.size(); });
}

plat_hresult plat_action_collection_get_item(plat_action_collection actions, int32_t index,
                                             plat_action *out) {
    return give_item("IActionCollection_get_Item", actions, k_actions, k_action, index, action_count, out);
}

void plat_action_collection_release(plat_action_collection actions) {
    release("IActionCollection_Release", actions, k_actions);
}

static const mem_task_action &action_of(const object *o) {
    return def_of(o).actions[(size_t)o->item];
}

plat_hresult plat_action_get_type(plat_action action, int32_t *type) {
    return give_number("IAction_get_Type", action, k_action, type,
                       [](const object *o) { return (int32_t)action_of(o).type; });
}

plat_hresult plat_action_query_exec(plat_action action, plat_exec_action *out) {
    answer a = check_fault("IAction_QueryInterface");
    if (a.faulted) return a.hr;
    scheduler &s = sched();
    std::lock_guard<std::mutex> g(s.lock);
    object *o = use(action, k_action);
    if (!o || !out) return PLAT_E_POINTER;
    if (action_of(o).type != PLAT_TASK_ACTION_EXEC) return PLAT_E_NOINTERFACE;
    *out = (plat_exec_action)make(k_exec, o->task, o->item);
    return PLAT_S_OK;
}

void plat_action_release(plat_action action) { release("IAction_Release", action, k_action); }

plat_hresult plat_exec_action_get_path(plat_exec_action exec, plat_bstr *out) {
    return give_text("IExecAction_get_Path", exec, k_exec, out,
                     [](const object *o) { return action_of(o).program; });
}

plat_hresult plat_exec_action_get_arguments(plat_exec_action exec, plat_bstr *out) {
    return give_text("IExecAction_get_Arguments", exec, k_exec, out,
                     [](const object *o) { return action_of(o).arguments; });
}

void plat_exec_action_release(plat_exec_action exec) {
    release("IExecAction_Release", exec, k_exec);
}

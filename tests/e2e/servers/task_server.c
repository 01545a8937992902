// The scripted Task Scheduler: folders of tasks set by the test, hidden
// ones among them, served through the Task Scheduler 2.0 interfaces the
// library calls; every other method answers E_NOTIMPL. Any call can be made to answer a chosen
// HRESULT and give nothing.
#include <string.h>

#include "servers.h"
#include <taskschd.h>

#define MAX_TASKS 16
#define MAX_ITEMS 4
#define MAX_TEXT 260
#define MAX_FAULTS 16
#define MAX_CALLS 40
#define MAX_FOLDERS 8

struct action {
    int type;
    WCHAR path[MAX_TEXT], arguments[MAX_TEXT];
};

struct task {
    WCHAR name[MAX_TEXT], path[MAX_TEXT];
    VARIANT_BOOL enabled;
    int folder;   // 1 the root
    BOOL hidden;  // listed only with TASK_ENUM_HIDDEN
    int triggers[MAX_ITEMS], trigger_count;
    struct action actions[MAX_ITEMS];
    int action_count;
};

struct fault {
    char call[64];
    int task, item;
    HRESULT hr;
};

// Folder 1 is the root; every other one names its parent.
struct folder {
    WCHAR path[MAX_TEXT];
    int parent;
};

static struct task tasks[MAX_TASKS];
static int task_count;
static struct folder folders[MAX_FOLDERS] = {{L"\\", 0}};
static int folder_count = 1;
static struct fault faults[MAX_FAULTS];
static int fault_count;
static struct {
    const char *name;
    int count;
} calls[MAX_CALLS];

// Counts the call; true when it is scripted to fail, with *hr its answer.
static BOOL scripted(const char *call, int task, int item, HRESULT *hr) {
    for (int i = 0; i < MAX_CALLS; i++) {
        if (calls[i].name && strcmp(calls[i].name, call)) continue;
        calls[i].name = call;
        calls[i].count++;
        break;
    }
    for (int i = 0; i < fault_count; i++) {
        const struct fault *f = &faults[i];
        if (strcmp(f->call, call) || (f->task && task && f->task != task) || (f->item && f->item != item)) continue;
        *hr = f->hr;
        return TRUE;
    }
    return FALSE;
}

// ---- the objects ----

// Every interface is one of these: its vtable first, so that the object is
// the interface pointer; `task` and `item` say what it stands for.
struct object {
    const void *vtbl;
    LONG refs;
    const IID *iid;
    int task, item;
    BOOL connected;  // the service
    int folder;      // a folder, a folder's task or subfolder list: 1 the root
    LONG flags;      // a task list: the flags it was asked for with
};

static ITaskServiceVtbl service_vtbl;
static ITaskFolderVtbl folder_vtbl;
static ITaskFolderCollectionVtbl folder_list_vtbl;
static IRegisteredTaskCollectionVtbl task_list_vtbl;
static IRegisteredTaskVtbl task_vtbl;
static ITaskDefinitionVtbl definition_vtbl;
static ITriggerCollectionVtbl trigger_list_vtbl;
static ITriggerVtbl trigger_vtbl;
static IActionCollectionVtbl action_list_vtbl;
static IActionVtbl action_vtbl;
static IExecActionVtbl exec_vtbl;

static struct object *self_of(void *iface) { return (struct object *)iface; }
static struct task *task_of(void *iface) { return &tasks[self_of(iface)->task - 1]; }

static HRESULT STDMETHODCALLTYPE object_query(IUnknown *self, REFIID riid, void **out) {
    struct object *o = self_of(self);
    BOOL known = IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) || IsEqualIID(riid, o->iid);
    if (o->vtbl == &exec_vtbl && IsEqualIID(riid, &IID_IAction)) known = TRUE;
    if (o->vtbl == &exec_vtbl && IsEqualIID(riid, &IID_IExecAction)) {
        HRESULT hr;
        if (scripted("IAction::QueryInterface", o->task, o->item, &hr)) return hr;
    }
    if (!known) {
        *out = NULL;
        return E_NOINTERFACE;
    }
    InterlockedIncrement(&o->refs);
    *out = o;
    return S_OK;
}

static ULONG STDMETHODCALLTYPE object_add_ref(IUnknown *self) { return InterlockedIncrement(&self_of(self)->refs); }

static ULONG STDMETHODCALLTYPE object_release(IUnknown *self) {
    struct object *o = self_of(self);
    note_release();
    ULONG left = InterlockedDecrement(&o->refs);
    if (!left) {
        HeapFree(GetProcessHeap(), 0, o);
        InterlockedDecrement(&counts.objects);
    }
    return left;
}

static HRESULT give(const void *vtbl, const IID *iid, int task, int item, void *out) {
    struct object *o = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *o);
    if (!o) return E_OUTOFMEMORY;
    o->vtbl = vtbl;
    o->refs = 1;
    o->iid = iid;
    o->task = task;
    o->item = item;
    InterlockedIncrement(&counts.objects);
    *(void **)out = o;
    return S_OK;
}

// Gives an object of `folder`.
static HRESULT give_in(const void *vtbl, const IID *iid, int folder, LONG flags, void *out) {
    HRESULT hr = give(vtbl, iid, 0, 0, out);
    if (SUCCEEDED(hr)) {
        (*(struct object **)out)->folder = folder;
        (*(struct object **)out)->flags = flags;
    }
    return hr;
}

static HRESULT give_text(const WCHAR *text, BSTR *out) {
    *out = server_bstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Fills the vtable with E_NOTIMPL and the IUnknown methods every object shares.
#define VTBL_INIT(v)                                  \
    do {                                              \
        fill_not_implemented(&(v), sizeof(v));        \
        (v).QueryInterface = (void *)object_query;    \
        (v).AddRef = (void *)object_add_ref;          \
        (v).Release = (void *)object_release;         \
    } while (0)

#define SCRIPTED(call, task, item)                    \
    do {                                              \
        HRESULT scripted_hr;                          \
        if (scripted(call, task, item, &scripted_hr)) \
            return scripted_hr;                       \
    } while (0)

// ---- ITaskService ----

static HRESULT STDMETHODCALLTYPE service_connect(ITaskService *self, VARIANT server, VARIANT user, VARIANT domain,
                                                 VARIANT password) {
    SCRIPTED("ITaskService::Connect", 0, 0);
    // This machine, as the caller: nothing else is served.
    if (V_VT(&server) != VT_EMPTY || V_VT(&user) != VT_EMPTY || V_VT(&domain) != VT_EMPTY ||
        V_VT(&password) != VT_EMPTY)
        return E_INVALIDARG;
    self_of(self)->connected = TRUE;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE service_get_folder(ITaskService *self, BSTR path, ITaskFolder **out) {
    SCRIPTED("ITaskService::GetFolder", 0, 0);
    if (!self_of(self)->connected) return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
    if (path && lstrcmpW(path, L"\\")) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    return give_in(&folder_vtbl, &IID_ITaskFolder, 1, 0, out);
}

// ---- ITaskFolder, IRegisteredTaskCollection, ITaskFolderCollection ----
// The folder calls match a fault's `task` against the folder's number.

static HRESULT STDMETHODCALLTYPE folder_get_path(ITaskFolder *self, BSTR *out) {
    SCRIPTED("ITaskFolder::get_Path", self_of(self)->folder, 0);
    return give_text(folders[self_of(self)->folder - 1].path, out);
}

static HRESULT STDMETHODCALLTYPE folder_get_tasks(ITaskFolder *self, LONG flags, IRegisteredTaskCollection **out) {
    SCRIPTED("ITaskFolder::GetTasks", self_of(self)->folder, 0);
    if (flags & ~TASK_ENUM_HIDDEN) return E_INVALIDARG;
    return give_in(&task_list_vtbl, &IID_IRegisteredTaskCollection, self_of(self)->folder, flags, out);
}

// The number of the `at`-th (1-based) task the list holds, or 0.
static int task_in_list(const struct object *list, int at) {
    for (int i = 0; i < task_count; i++) {
        const struct task *t = &tasks[i];
        if (t->folder != list->folder || (t->hidden && !(list->flags & TASK_ENUM_HIDDEN))) continue;
        if (--at == 0) return i + 1;
    }
    return 0;
}

static HRESULT STDMETHODCALLTYPE task_list_get_count(IRegisteredTaskCollection *self, LONG *count) {
    SCRIPTED("IRegisteredTaskCollection::get_Count", self_of(self)->folder, 0);
    LONG n = 0;
    while (task_in_list(self_of(self), (int)n + 1)) n++;
    *count = n;
    return S_OK;
}

// Only the index type the library is to use: a VT_I4 from 1 to the count.
// A fault's `task` matches the task's number among all tasks.
static HRESULT STDMETHODCALLTYPE task_list_get_item(IRegisteredTaskCollection *self, VARIANT index,
                                                    IRegisteredTask **out) {
    int at = V_VT(&index) == VT_I4 ? (int)V_I4(&index) : 0;
    int task = at >= 1 ? task_in_list(self_of(self), at) : 0;
    SCRIPTED("IRegisteredTaskCollection::get_Item", task, 0);
    if (!task) return E_INVALIDARG;
    return give(&task_vtbl, &IID_IRegisteredTask, task, 0, out);
}

static HRESULT STDMETHODCALLTYPE folder_get_folders(ITaskFolder *self, LONG flags, ITaskFolderCollection **out) {
    SCRIPTED("ITaskFolder::GetFolders", self_of(self)->folder, 0);
    if (flags) return E_INVALIDARG;
    return give_in(&folder_list_vtbl, &IID_ITaskFolderCollection, self_of(self)->folder, 0, out);
}

// The number of the `at`-th (1-based) subfolder of `parent`, or 0.
static int subfolder(int parent, int at) {
    for (int i = 1; i < folder_count; i++)
        if (folders[i].parent == parent && --at == 0) return i + 1;
    return 0;
}

static HRESULT STDMETHODCALLTYPE folder_list_get_count(ITaskFolderCollection *self, LONG *count) {
    SCRIPTED("ITaskFolderCollection::get_Count", self_of(self)->folder, 0);
    LONG n = 0;
    while (subfolder(self_of(self)->folder, (int)n + 1)) n++;
    *count = n;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE folder_list_get_item(ITaskFolderCollection *self, VARIANT index, ITaskFolder **out) {
    int at = V_VT(&index) == VT_I4 ? (int)V_I4(&index) : 0;
    int folder = at >= 1 ? subfolder(self_of(self)->folder, at) : 0;
    SCRIPTED("ITaskFolderCollection::get_Item", folder, 0);
    if (!folder) return E_INVALIDARG;
    return give_in(&folder_vtbl, &IID_ITaskFolder, folder, 0, out);
}

// ---- IRegisteredTask ----

static HRESULT STDMETHODCALLTYPE task_get_name(IRegisteredTask *self, BSTR *out) {
    SCRIPTED("IRegisteredTask::get_Name", self_of(self)->task, 0);
    return give_text(task_of(self)->name, out);
}

static HRESULT STDMETHODCALLTYPE task_get_path(IRegisteredTask *self, BSTR *out) {
    SCRIPTED("IRegisteredTask::get_Path", self_of(self)->task, 0);
    return give_text(task_of(self)->path, out);
}

static HRESULT STDMETHODCALLTYPE task_get_enabled(IRegisteredTask *self, VARIANT_BOOL *out) {
    SCRIPTED("IRegisteredTask::get_Enabled", self_of(self)->task, 0);
    *out = task_of(self)->enabled;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE task_put_enabled(IRegisteredTask *self, VARIANT_BOOL enabled) {
    SCRIPTED("IRegisteredTask::put_Enabled", self_of(self)->task, 0);
    if (enabled != VARIANT_TRUE && enabled != VARIANT_FALSE) return E_INVALIDARG;
    task_of(self)->enabled = enabled;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE task_get_definition(IRegisteredTask *self, ITaskDefinition **out) {
    int task = self_of(self)->task;
    SCRIPTED("IRegisteredTask::get_Definition", task, 0);
    return give(&definition_vtbl, &IID_ITaskDefinition, task, 0, out);
}

// ---- ITaskDefinition, triggers ----

static HRESULT STDMETHODCALLTYPE definition_get_triggers(ITaskDefinition *self, ITriggerCollection **out) {
    int task = self_of(self)->task;
    SCRIPTED("ITaskDefinition::get_Triggers", task, 0);
    return give(&trigger_list_vtbl, &IID_ITriggerCollection, task, 0, out);
}

static HRESULT STDMETHODCALLTYPE definition_get_actions(ITaskDefinition *self, IActionCollection **out) {
    int task = self_of(self)->task;
    SCRIPTED("ITaskDefinition::get_Actions", task, 0);
    return give(&action_list_vtbl, &IID_IActionCollection, task, 0, out);
}

static HRESULT STDMETHODCALLTYPE trigger_list_get_count(ITriggerCollection *self, LONG *count) {
    SCRIPTED("ITriggerCollection::get_Count", self_of(self)->task, 0);
    *count = task_of(self)->trigger_count;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE trigger_list_get_item(ITriggerCollection *self, LONG index, ITrigger **out) {
    int task = self_of(self)->task;
    SCRIPTED("ITriggerCollection::get_Item", task, (int)index);
    if (index < 1 || index > task_of(self)->trigger_count) return E_INVALIDARG;
    return give(&trigger_vtbl, &IID_ITrigger, task, (int)index, out);
}

static HRESULT STDMETHODCALLTYPE trigger_get_type(ITrigger *self, TASK_TRIGGER_TYPE2 *type) {
    struct object *o = self_of(self);
    SCRIPTED("ITrigger::get_Type", o->task, o->item);
    *type = (TASK_TRIGGER_TYPE2)task_of(self)->triggers[o->item - 1];
    return S_OK;
}

// ---- actions ----

static HRESULT STDMETHODCALLTYPE action_list_get_count(IActionCollection *self, LONG *count) {
    SCRIPTED("IActionCollection::get_Count", self_of(self)->task, 0);
    *count = task_of(self)->action_count;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE action_list_get_item(IActionCollection *self, LONG index, IAction **out) {
    int task = self_of(self)->task;
    SCRIPTED("IActionCollection::get_Item", task, (int)index);
    if (index < 1 || index > task_of(self)->action_count) return E_INVALIDARG;
    // An exec action is one object that answers to IAction and IExecAction.
    if (task_of(self)->actions[index - 1].type == TASK_ACTION_EXEC)
        return give(&exec_vtbl, &IID_IExecAction, task, (int)index, out);
    return give(&action_vtbl, &IID_IAction, task, (int)index, out);
}

static struct action *action_of(void *iface) { return &task_of(iface)->actions[self_of(iface)->item - 1]; }

static HRESULT STDMETHODCALLTYPE action_get_type(IAction *self, TASK_ACTION_TYPE *type) {
    struct object *o = self_of(self);
    SCRIPTED("IAction::get_Type", o->task, o->item);
    *type = (TASK_ACTION_TYPE)action_of(self)->type;
    return S_OK;
}

static HRESULT STDMETHODCALLTYPE exec_get_path(IExecAction *self, BSTR *out) {
    struct object *o = self_of(self);
    SCRIPTED("IExecAction::get_Path", o->task, o->item);
    return give_text(action_of(self)->path, out);
}

static HRESULT STDMETHODCALLTYPE exec_get_arguments(IExecAction *self, BSTR *out) {
    struct object *o = self_of(self);
    SCRIPTED("IExecAction::get_Arguments", o->task, o->item);
    return give_text(action_of(self)->arguments, out);
}

HRESULT task_scheduler_create(IUnknown *outer, REFIID riid, void **out) {
    *out = NULL;
    SCRIPTED("IClassFactory::CreateInstance", 0, 0);
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown *service;
    HRESULT hr = give(&service_vtbl, &IID_ITaskService, 0, 0, &service);
    if (FAILED(hr)) return hr;
    hr = object_query(service, riid, out);
    object_release(service);
    return hr;
}

void task_server_init(void) {
    VTBL_INIT(service_vtbl);
    service_vtbl.Connect = service_connect;
    service_vtbl.GetFolder = service_get_folder;
    VTBL_INIT(folder_vtbl);
    folder_vtbl.GetTasks = folder_get_tasks;
    folder_vtbl.GetFolders = folder_get_folders;
    folder_vtbl.get_Path = folder_get_path;
    VTBL_INIT(folder_list_vtbl);
    folder_list_vtbl.get_Count = folder_list_get_count;
    folder_list_vtbl.get_Item = folder_list_get_item;
    VTBL_INIT(task_list_vtbl);
    task_list_vtbl.get_Count = task_list_get_count;
    task_list_vtbl.get_Item = task_list_get_item;
    VTBL_INIT(task_vtbl);
    task_vtbl.get_Name = task_get_name;
    task_vtbl.get_Path = task_get_path;
    task_vtbl.get_Enabled = task_get_enabled;
    task_vtbl.put_Enabled = task_put_enabled;
    task_vtbl.get_Definition = task_get_definition;
    VTBL_INIT(definition_vtbl);
    definition_vtbl.get_Triggers = definition_get_triggers;
    definition_vtbl.get_Actions = definition_get_actions;
    VTBL_INIT(trigger_list_vtbl);
    trigger_list_vtbl.get_Count = trigger_list_get_count;
    trigger_list_vtbl.get_Item = trigger_list_get_item;
    VTBL_INIT(trigger_vtbl);
    trigger_vtbl.get_Type = trigger_get_type;
    VTBL_INIT(action_list_vtbl);
    action_list_vtbl.get_Count = action_list_get_count;
    action_list_vtbl.get_Item = action_list_get_item;
    VTBL_INIT(action_vtbl);
    action_vtbl.get_Type = action_get_type;
    VTBL_INIT(exec_vtbl);
    exec_vtbl.get_Type = (void *)action_get_type;
    exec_vtbl.get_Path = exec_get_path;
    exec_vtbl.get_Arguments = exec_get_arguments;
}

// ---- the script ----

void ts_reset(void) {
    watch_bstrs();
    task_count = fault_count = 0;
    folder_count = 1;
    memset(calls, 0, sizeof calls);
    counts.late_releases = 0;
    counts.links_made = 0;
}

static void copy_text(WCHAR *to, const WCHAR *from) { lstrcpynW(to, from ? from : L"", MAX_TEXT); }

int ts_add_task(const WCHAR *name, const WCHAR *path, short enabled) {
    if (task_count == MAX_TASKS) return 0;
    struct task *t = &tasks[task_count++];
    memset(t, 0, sizeof *t);
    copy_text(t->name, name);
    copy_text(t->path, path);
    t->enabled = enabled;
    t->folder = 1;
    return task_count;
}

int ts_add_folder(int parent, const WCHAR *path) {
    if (folder_count == MAX_FOLDERS || parent < 1 || parent > folder_count) return 0;
    copy_text(folders[folder_count].path, path);
    folders[folder_count].parent = parent;
    return ++folder_count;
}

void ts_place_task(int task, int folder, int hidden) {
    if (task < 1 || task > task_count || folder < 1 || folder > folder_count) return;
    tasks[task - 1].folder = folder;
    tasks[task - 1].hidden = hidden;
}

static BOOL known_task(int task) { return task >= 1 && task <= task_count; }

void ts_add_trigger(int task, int type) {
    if (!known_task(task)) return;
    struct task *t = &tasks[task - 1];
    if (t->trigger_count < MAX_ITEMS) t->triggers[t->trigger_count++] = type;
}

void ts_add_action(int task, int type, const WCHAR *path, const WCHAR *arguments) {
    if (!known_task(task)) return;
    struct task *t = &tasks[task - 1];
    if (t->action_count == MAX_ITEMS) return;
    struct action *a = &t->actions[t->action_count++];
    a->type = type;
    copy_text(a->path, path);
    copy_text(a->arguments, arguments);
}

void ts_fault(const char *call, int task, int item, LONG hr) {
    if (fault_count == MAX_FAULTS) return;
    struct fault *f = &faults[fault_count++];
    lstrcpynA(f->call, call, sizeof f->call);
    f->task = task;
    f->item = item;
    f->hr = hr;
}

int ts_calls(const char *call) {
    for (int i = 0; i < MAX_CALLS && calls[i].name; i++)
        if (!strcmp(calls[i].name, call)) return calls[i].count;
    return 0;
}

short ts_enabled(int task) { return known_task(task) ? tasks[task - 1].enabled : 0; }

// Task Scheduler 2.0 over its COM interfaces: each handle is the interface
// pointer itself. The class and interface identifiers are spelled out here
// so that no import library has to provide them.
#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include "../platform_tasks.h"

namespace {

const CLSID clsid_task_scheduler = {0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
const IID iid_task_service = {0x2faba4c7, 0x4da9, 0x4013, {0x96, 0x97, 0x20, 0xcc, 0x3f, 0xd4, 0x0f, 0x85}};
const IID iid_exec_action = {0x4c3d624d, 0xfd6b, 0x49a3, {0xb9, 0xb7, 0x09, 0xcb, 0x3c, 0xd3, 0xf0, 0x47}};

template <typename T, typename H>
T *as(H handle) {
    return reinterpret_cast<T *>(handle);
}

// Hands an interface pointer out as its handle, whatever the call wrote.
template <typename H, typename T>
void put(H *out, T *object) {
    *out = reinterpret_cast<H>(object);
}

VARIANT to_variant(const plat_variant *v) {
    VARIANT out;
    VariantInit(&out);
    if (v && v->vt == PLAT_VT_I4) {
        out.vt = VT_I4;
        out.lVal = v->int_value;
    }
    return out;
}

// Numbers come back through a local of the interface's own type; the
// caller's pre-set value stands when the call writes nothing.
template <typename T, typename Call>
plat_hresult get_number(int32_t *out, Call call) {
    T value = (T)*out;
    HRESULT hr = call(&value);
    *out = (int32_t)value;
    return (plat_hresult)hr;
}

template <typename Call>
plat_hresult get_text(plat_bstr *out, Call call) {
    BSTR text = reinterpret_cast<BSTR>(*out);
    HRESULT hr = call(&text);
    *out = reinterpret_cast<plat_bstr>(text);
    return (plat_hresult)hr;
}

}  // namespace

void plat_variant_init(plat_variant *v) {
    // The record mirrors only the members the provider uses; VariantInit
    // proper runs on the real VARIANT built from it.
    v->vt = PLAT_VT_EMPTY;
    v->int_value = 0;
}

void plat_sys_free_string(plat_bstr text) { SysFreeString(reinterpret_cast<BSTR>(text)); }

plat_hresult plat_co_create_task_service(uint32_t clsctx, plat_task_service *out) {
    ITaskService *service = as<ITaskService>(*out);
    HRESULT hr = CoCreateInstance(clsid_task_scheduler, nullptr, (DWORD)clsctx, iid_task_service,
                                  reinterpret_cast<void **>(&service));
    put(out, service);
    return (plat_hresult)hr;
}

plat_hresult plat_task_service_connect(plat_task_service service, const plat_variant *server,
                                       const plat_variant *user, const plat_variant *domain,
                                       const plat_variant *password) {
    return (plat_hresult)as<ITaskService>(service)->Connect(to_variant(server), to_variant(user),
                                                            to_variant(domain), to_variant(password));
}

plat_hresult plat_task_service_get_folder(plat_task_service service, const char16_t *path,
                                          plat_task_folder *out) {
    ITaskFolder *folder = as<ITaskFolder>(*out);
    // A path other than the root's needs a real BSTR.
    BSTR name = path ? SysAllocString(reinterpret_cast<const OLECHAR *>(path)) : nullptr;
    if (path && !name) return (plat_hresult)E_OUTOFMEMORY;
    HRESULT hr = as<ITaskService>(service)->GetFolder(name, &folder);
    SysFreeString(name);
    put(out, folder);
    return (plat_hresult)hr;
}

void plat_task_service_release(plat_task_service service) { as<ITaskService>(service)->Release(); }

plat_hresult plat_task_folder_get_tasks(plat_task_folder folder, int32_t flags,
                                        plat_task_collection *out) {
    IRegisteredTaskCollection *tasks = as<IRegisteredTaskCollection>(*out);
    HRESULT hr = as<ITaskFolder>(folder)->GetTasks((LONG)flags, &tasks);
    put(out, tasks);
    return (plat_hresult)hr;
}

plat_hresult plat_task_folder_get_folders(plat_task_folder folder, int32_t flags,
                                          plat_folder_collection *out) {
    ITaskFolderCollection *folders = as<ITaskFolderCollection>(*out);
    HRESULT hr = as<ITaskFolder>(folder)->GetFolders((LONG)flags, &folders);
    put(out, folders);
    return (plat_hresult)hr;
}

plat_hresult plat_task_folder_get_path(plat_task_folder folder, plat_bstr *out) {
    return get_text(out, [&](BSTR *text) { return as<ITaskFolder>(folder)->get_Path(text); });
}

void plat_task_folder_release(plat_task_folder folder) { as<ITaskFolder>(folder)->Release(); }

plat_hresult plat_folder_collection_get_count(plat_folder_collection folders, int32_t *count) {
    return get_number<LONG>(count, [&](LONG *n) { return as<ITaskFolderCollection>(folders)->get_Count(n); });
}

plat_hresult plat_folder_collection_get_item(plat_folder_collection folders, const plat_variant *index,
                                             plat_task_folder *out) {
    ITaskFolder *folder = as<ITaskFolder>(*out);
    HRESULT hr = as<ITaskFolderCollection>(folders)->get_Item(to_variant(index), &folder);
    put(out, folder);
    return (plat_hresult)hr;
}

void plat_folder_collection_release(plat_folder_collection folders) {
    as<ITaskFolderCollection>(folders)->Release();
}

plat_hresult plat_task_collection_get_count(plat_task_collection tasks, int32_t *count) {
    return get_number<LONG>(count, [&](LONG *n) { return as<IRegisteredTaskCollection>(tasks)->get_Count(n); });
}

plat_hresult plat_task_collection_get_item(plat_task_collection tasks, const plat_variant *index,
                                           plat_task *out) {
    IRegisteredTask *task = as<IRegisteredTask>(*out);
    HRESULT hr = as<IRegisteredTaskCollection>(tasks)->get_Item(to_variant(index), &task);
    put(out, task);
    return (plat_hresult)hr;
}

void plat_task_collection_release(plat_task_collection tasks) {
    as<IRegisteredTaskCollection>(tasks)->Release();
}

plat_hresult plat_task_get_name(plat_task task, plat_bstr *out) {
    return get_text(out, [&](BSTR *text) { return as<IRegisteredTask>(task)->get_Name(text); });
}

plat_hresult plat_task_get_path(plat_task task, plat_bstr *out) {
    return get_text(out, [&](BSTR *text) { return as<IRegisteredTask>(task)->get_Path(text); });
}

plat_hresult plat_task_get_enabled(plat_task task, plat_variant_bool *out) {
    VARIANT_BOOL flag = (VARIANT_BOOL)*out;
    HRESULT hr = as<IRegisteredTask>(task)->get_Enabled(&flag);
    *out = (plat_variant_bool)flag;
    return (plat_hresult)hr;
}

plat_hresult plat_task_put_enabled(plat_task task, plat_variant_bool enabled) {
    return (plat_hresult)as<IRegisteredTask>(task)->put_Enabled((VARIANT_BOOL)enabled);
}

plat_hresult plat_task_get_definition(plat_task task, plat_task_definition *out) {
    ITaskDefinition *definition = as<ITaskDefinition>(*out);
    HRESULT hr = as<IRegisteredTask>(task)->get_Definition(&definition);
    put(out, definition);
    return (plat_hresult)hr;
}

void plat_task_release(plat_task task) { as<IRegisteredTask>(task)->Release(); }

plat_hresult plat_task_definition_get_triggers(plat_task_definition definition,
                                               plat_trigger_collection *out) {
    ITriggerCollection *triggers = as<ITriggerCollection>(*out);
    HRESULT hr = as<ITaskDefinition>(definition)->get_Triggers(&triggers);
    put(out, triggers);
    return (plat_hresult)hr;
}

plat_hresult plat_task_definition_get_actions(plat_task_definition definition,
                                              plat_action_collection *out) {
    IActionCollection *actions = as<IActionCollection>(*out);
    HRESULT hr = as<ITaskDefinition>(definition)->get_Actions(&actions);
    put(out, actions);
    return (plat_hresult)hr;
}

void plat_task_definition_release(plat_task_definition definition) {
    as<ITaskDefinition>(definition)->Release();
}

plat_hresult plat_trigger_collection_get_count(plat_trigger_collection triggers, int32_t *count) {
    return get_number<LONG>(count, [&](LONG *n) { return as<ITriggerCollection>(triggers)->get_Count(n); });
}

plat_hresult plat_trigger_collection_get_item(plat_trigger_collection triggers, int32_t index,
                                              plat_trigger *out) {
    ITrigger *trigger = as<ITrigger>(*out);
    HRESULT hr = as<ITriggerCollection>(triggers)->get_Item((LONG)index, &trigger);
    put(out, trigger);
    return (plat_hresult)hr;
}

void plat_trigger_collection_release(plat_trigger_collection triggers) {
    as<ITriggerCollection>(triggers)->Release();
}

plat_hresult plat_trigger_get_type(plat_trigger trigger, int32_t *type) {
    return get_number<TASK_TRIGGER_TYPE2>(
        type, [&](TASK_TRIGGER_TYPE2 *t) { return as<ITrigger>(trigger)->get_Type(t); });
}

void plat_trigger_release(plat_trigger trigger) { as<ITrigger>(trigger)->Release(); }

plat_hresult plat_action_collection_get_count(plat_action_collection actions, int32_t *count) {
    return get_number<LONG>(count, [&](LONG *n) { return as<IActionCollection>(actions)->get_Count(n); });
}

plat_hresult plat_action_collection_get_item(plat_action_collection actions, int32_t index,
                                             plat_action *out) {
    IAction *action = as<IAction>(*out);
    HRESULT hr = as<IActionCollection>(actions)->get_Item((LONG)index, &action);
    put(out, action);
    return (plat_hresult)hr;
}

void plat_action_collection_release(plat_action_collection actions) {
    as<IActionCollection>(actions)->Release();
}

plat_hresult plat_action_get_type(plat_action action, int32_t *type) {
    return get_number<TASK_ACTION_TYPE>(type,
                                        [&](TASK_ACTION_TYPE *t) { return as<IAction>(action)->get_Type(t); });
}

plat_hresult plat_action_query_exec(plat_action action, plat_exec_action *out) {
    void *exec = *out;
    HRESULT hr = as<IAction>(action)->QueryInterface(iid_exec_action, &exec);
    put(out, static_cast<IExecAction *>(exec));
    return (plat_hresult)hr;
}

void plat_action_release(plat_action action) { as<IAction>(action)->Release(); }

plat_hresult plat_exec_action_get_path(plat_exec_action exec, plat_bstr *out) {
    return get_text(out, [&](BSTR *text) { return as<IExecAction>(exec)->get_Path(text); });
}

plat_hresult plat_exec_action_get_arguments(plat_exec_action exec, plat_bstr *out) {
    return get_text(out, [&](BSTR *text) { return as<IExecAction>(exec)->get_Arguments(text); });
}

void plat_exec_action_release(plat_exec_action exec) { as<IExecAction>(exec)->Release(); }

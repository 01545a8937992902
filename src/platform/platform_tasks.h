// Task Scheduler 2.0 operations: one function per interface call the task
// provider makes, over opaque handles (the interface pointers on Windows).
// Getters pre-set nothing themselves: callers pre-set every out-parameter.
// Every handle obtained is given back through its own release function;
// every text (BSTR) through plat_sys_free_string.
#pragma once

#include <cstdint>

#include "platform.h"

typedef struct plat_task_service_s *plat_task_service;            // ITaskService
typedef struct plat_task_folder_s *plat_task_folder;              // ITaskFolder
typedef struct plat_task_collection_s *plat_task_collection;      // IRegisteredTaskCollection
typedef struct plat_folder_collection_s *plat_folder_collection;  // ITaskFolderCollection
typedef struct plat_task_s *plat_task;                            // IRegisteredTask
typedef struct plat_task_definition_s *plat_task_definition;      // ITaskDefinition
typedef struct plat_trigger_collection_s *plat_trigger_collection;  // ITriggerCollection
typedef struct plat_trigger_s *plat_trigger;                      // ITrigger
typedef struct plat_action_collection_s *plat_action_collection;  // IActionCollection
typedef struct plat_action_s *plat_action;                        // IAction
typedef struct plat_exec_action_s *plat_exec_action;              // IExecAction

typedef char16_t *plat_bstr;        // BSTR: freed only with plat_sys_free_string
typedef int16_t plat_variant_bool;  // VARIANT_BOOL: any 16-bit value may come back

#define PLAT_VARIANT_TRUE ((plat_variant_bool)-1)
#define PLAT_VARIANT_FALSE ((plat_variant_bool)0)

#define PLAT_CLSCTX_ALL 0x17u
#define PLAT_TASK_ENUM_HIDDEN 1
#define PLAT_TASK_TRIGGER_BOOT 8
#define PLAT_TASK_TRIGGER_LOGON 9
#define PLAT_TASK_ACTION_EXEC 0
#define PLAT_TASK_ACTION_COM_HANDLER 5

#define PLAT_CO_E_NOTINITIALIZED ((plat_hresult)0x800401F0)
#define PLAT_E_NOINTERFACE ((plat_hresult)0x80004002)
#define PLAT_E_POINTER ((plat_hresult)0x80004003)
// HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED): service used before Connect.
#define PLAT_E_NOT_CONNECTED ((plat_hresult)0x800704E3)

// The part of a VARIANT the provider fills: empty, or VT_I4 with a value.
#define PLAT_VT_EMPTY 0
#define PLAT_VT_I4 3
struct plat_variant {
    uint16_t vt;
    int32_t int_value;
};

void plat_variant_init(plat_variant *v);  // VariantInit
void plat_sys_free_string(plat_bstr text);  // SysFreeString; null is allowed

// CoCreateInstance(CLSID_TaskScheduler, NULL, clsctx, IID_ITaskService).
plat_hresult plat_co_create_task_service(uint32_t clsctx, plat_task_service *out);

// ITaskService
plat_hresult plat_task_service_connect(plat_task_service service, const plat_variant *server,
                                       const plat_variant *user, const plat_variant *domain,
                                       const plat_variant *password);
plat_hresult plat_task_service_get_folder(plat_task_service service, const char16_t *path,
                                          plat_task_folder *out);
void plat_task_service_release(plat_task_service service);

// ITaskFolder
plat_hresult plat_task_folder_get_tasks(plat_task_folder folder, int32_t flags,
                                        plat_task_collection *out);
plat_hresult plat_task_folder_get_folders(plat_task_folder folder, int32_t flags,
                                          plat_folder_collection *out);
plat_hresult plat_task_folder_get_path(plat_task_folder folder, plat_bstr *out);
void plat_task_folder_release(plat_task_folder folder);

// ITaskFolderCollection
plat_hresult plat_folder_collection_get_count(plat_folder_collection folders, int32_t *count);
plat_hresult plat_folder_collection_get_item(plat_folder_collection folders, const plat_variant *index,
                                             plat_task_folder *out);
void plat_folder_collection_release(plat_folder_collection folders);

// IRegisteredTaskCollection
plat_hresult plat_task_collection_get_count(plat_task_collection tasks, int32_t *count);
plat_hresult plat_task_collection_get_item(plat_task_collection tasks, const plat_variant *index,
                                           plat_task *out);
void plat_task_collection_release(plat_task_collection tasks);

// IRegisteredTask
plat_hresult plat_task_get_name(plat_task task, plat_bstr *out);
plat_hresult plat_task_get_path(plat_task task, plat_bstr *out);
plat_hresult plat_task_get_enabled(plat_task task, plat_variant_bool *out);
plat_hresult plat_task_put_enabled(plat_task task, plat_variant_bool enabled);
plat_hresult plat_task_get_definition(plat_task task, plat_task_definition *out);
void plat_task_release(plat_task task);

// ITaskDefinition
plat_hresult plat_task_definition_get_triggers(plat_task_definition definition,
                                               plat_trigger_collection *out);
plat_hresult plat_task_definition_get_actions(plat_task_definition definition,
                                              plat_action_collection *out);
void plat_task_definition_release(plat_task_definition definition);

// ITriggerCollection and ITrigger (indexes are 1-based)
plat_hresult plat_trigger_collection_get_count(plat_trigger_collection triggers, int32_t *count);
plat_hresult plat_trigger_collection_get_item(plat_trigger_collection triggers, int32_t index,
                                              plat_trigger *out);
void plat_trigger_collection_release(plat_trigger_collection triggers);
plat_hresult plat_trigger_get_type(plat_trigger trigger, int32_t *type);
void plat_trigger_release(plat_trigger trigger);

// IActionCollection, IAction and its IExecAction view (indexes are 1-based)
plat_hresult plat_action_collection_get_count(plat_action_collection actions, int32_t *count);
plat_hresult plat_action_collection_get_item(plat_action_collection actions, int32_t index,
                                             plat_action *out);
void plat_action_collection_release(plat_action_collection actions);
plat_hresult plat_action_get_type(plat_action action, int32_t *type);
// QueryInterface(IID_IExecAction).
plat_hresult plat_action_query_exec(plat_action action, plat_exec_action *out);
void plat_action_release(plat_action action);
plat_hresult plat_exec_action_get_path(plat_exec_action exec, plat_bstr *out);
plat_hresult plat_exec_action_get_arguments(plat_exec_action exec, plat_bstr *out);
void plat_exec_action_release(plat_exec_action exec);

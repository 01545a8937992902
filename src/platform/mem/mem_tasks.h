// Set-up and inspection of the in-memory Task Scheduler.
//
// Tasks live in folders named by their path ("\\" is the root); folders
// stay when their tasks go. Faults use
// the interface call's name, for example "ITaskService_Connect",
// "IRegisteredTask_get_Path" or "ITrigger_get_Type"; releases are
// "<Interface>_Release". A fault code is the HRESULT answered without doing
// the work, so 0 (S_OK) gives a success without an object or with a null
// BSTR; mem_task_value(v) answers S_OK with the value v for the calls that
// give a number or flag (counts, types, get_Enabled).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct mem_task_action {
    int type;                  // PLAT_TASK_ACTION_EXEC or any other
    std::u16string program;    // exec actions only
    std::u16string arguments;  // exec actions only
};

struct mem_task_def {
    std::u16string name;
    std::u16string folder = u"\\";
    std::u16string path;      // "" = folder, "\\" unless root, name
    int16_t enabled = -1;     // any VARIANT_BOOL value
    bool hidden = false;
    std::vector<int> triggers;  // trigger types, in order
    std::vector<mem_task_action> actions;
};

// Registers a task; returns its number for the calls below.
int mem_task_add(const mem_task_def &def);
// Creates a task folder ("\\Vendor\\Updater") and any missing parent; a
// task's folder is created with it. GetFolders gives a folder's children
// in the order they were created.
void mem_task_add_folder(const std::u16string &path);
// Unregisters a task: later enumerations no longer return it.
void mem_task_remove(int task);
// The task's stored enabled flag and how often put_Enabled changed it.
int16_t mem_task_enabled(int task);
int mem_task_put_count(int task);

// No Task Scheduler class: CoCreateInstance answers REGDB_E_CLASSNOTREG.
void mem_task_set_absent(bool absent);

// Fault code for "S_OK with this value" (counts, types, enabled flags).
int64_t mem_task_value(int32_t value);

// Leak and misuse checks: objects and BSTRs handed out and not yet given
// back, releases of unknown or null handles and of unknown BSTRs, calls
// made through a released or wrong handle.
int mem_task_live_objects();
int mem_task_live_bstrs();
int mem_task_bad_releases();
int mem_task_bad_uses();

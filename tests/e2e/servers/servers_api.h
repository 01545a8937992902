// What the end-to-end tests script and read of test_servers.dll, the
// in-process COM servers registered in the test prefix: a Task Scheduler
// whose tasks and answers the test sets, and a counting wrapper around the
// system's Shell Link. The test program loads the same file that COM loads
// and calls these on it.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

struct server_counts {
    LONG objects;        // Task Scheduler objects alive
    LONG bstrs;          // BSTRs the Task Scheduler handed out, not yet freed
    LONG links;          // Shell Link objects alive
    LONG links_made;     // Shell Link objects made since the last reset
    LONG late_releases;  // Release calls made on a thread outside COM
};

// An empty root folder and no other, no faults, call and release counts at zero. The
// live counts are not reset: they tell what outlived earlier calls.
void ts_reset(void);
// A root-folder task; returns its 1-based place in the folder. `enabled`
// is what get_Enabled answers.
int ts_add_task(const WCHAR *name, const WCHAR *path, short enabled);
// A folder below `parent` (1 the root) with the full path it answers
// get_Path with; returns its number, listed by GetFolders in the order added.
int ts_add_folder(int parent, const WCHAR *path);
// Moves the task into `folder`, hidden (listed only with TASK_ENUM_HIDDEN) or not.
void ts_place_task(int task, int folder, int hidden);
void ts_add_trigger(int task, int type);
void ts_add_action(int task, int type, const WCHAR *path, const WCHAR *arguments);
// Makes `call` ("Interface::Method") answer `hr` and give nothing: no
// object, a null BSTR, no value written, nothing changed. `task` 0 matches
// every task, `item` 0 every trigger or action (1-based otherwise); a call
// that concerns no task (the service's) matches any `task`, a folder's
// call (GetTasks, GetFolders, get_Path and the two lists' calls) the
// folder's number, a folder list's get_Item the number of the folder given.
void ts_fault(const char *call, int task, int item, LONG hr);
// How often `call` was made since the last reset.
int ts_calls(const char *call);
// The task's flag as put_Enabled left it.
short ts_enabled(int task);
void ts_counts(struct server_counts *out);

#ifdef __cplusplus
}
#endif

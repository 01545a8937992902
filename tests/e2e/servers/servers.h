// Shared by the servers of test_servers.dll: the counts, and the plain
// object that every scripted Task Scheduler interface is.
#pragma once

#define COBJMACROS
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "servers_api.h"

extern struct server_counts counts;
extern HMODULE server_module;

// Every Release goes through here: one made on a thread that has left COM
// (or never entered it) is counted, since on Windows its apartment, and the
// object's, may be gone by then.
void note_release(void);

// BSTRs made here are told apart from every other allocation of the task
// allocator, which the malloc spy watches.
BSTR server_bstr(const WCHAR *text);
void watch_bstrs(void);

// One slot filler for the methods a server does not implement: on x64
// every COM method is called the same way, whatever its arguments.
void fill_not_implemented(void *vtbl, size_t size);

HRESULT task_scheduler_create(IUnknown *outer, REFIID riid, void **out);
HRESULT shell_link_create(IUnknown *outer, REFIID riid, void **out);
void task_server_init(void);

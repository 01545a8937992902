// test_servers.dll: the entry points COM and regsvr32 call, the counts,
// and the malloc spy that sees BSTRs come and go.
#include "servers.h"

struct server_counts counts;
HMODULE server_module;

static const CLSID clsid_task_scheduler = {0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
static const CLSID clsid_shell_link = {0x00021401, 0, 0, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};

void note_release(void) {
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    HRESULT hr = CoGetApartmentType(&type, &qualifier);
    if (hr == CO_E_NOTINITIALIZED || (SUCCEEDED(hr) && qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA))
        InterlockedIncrement(&counts.late_releases);
}

static HRESULT STDMETHODCALLTYPE not_implemented(void *self) {
    (void)self;
    return E_NOTIMPL;
}

void fill_not_implemented(void *vtbl, size_t size) {
    void **slot = vtbl;
    for (size_t i = 0; i < size / sizeof *slot; i++) slot[i] = (void *)not_implemented;
}

// ---- BSTRs: the blocks allocated while server_bstr runs ----

#define MAX_BSTRS 256
static CRITICAL_SECTION bstr_lock;
static void *bstr_blocks[MAX_BSTRS];
static __thread BOOL making_bstr;

BSTR server_bstr(const WCHAR *text) {
    making_bstr = TRUE;
    BSTR made = SysAllocString(text);
    making_bstr = FALSE;
    return made;
}

// Moves a block into (old_block null) or out of (new_block null) the table.
// A block that finds the table full still counts, and so never seems freed.
static void track(void *old_block, void *new_block) {
    EnterCriticalSection(&bstr_lock);
    int i = 0;
    while (i < MAX_BSTRS && bstr_blocks[i] != old_block) i++;
    if (i < MAX_BSTRS) bstr_blocks[i] = new_block;
    if (i < MAX_BSTRS || new_block) InterlockedAdd(&counts.bstrs, new_block ? 1 : -1);
    LeaveCriticalSection(&bstr_lock);
}

static HRESULT STDMETHODCALLTYPE spy_query(IMallocSpy *self, REFIID riid, void **out) {
    if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_IMallocSpy)) {
        *out = NULL;
        return E_NOINTERFACE;
    }
    *out = self;
    return S_OK;
}
static ULONG STDMETHODCALLTYPE spy_ref(IMallocSpy *self) { (void)self; return 1; }
static SIZE_T STDMETHODCALLTYPE spy_pre_alloc(IMallocSpy *self, SIZE_T size) { (void)self; return size; }
static void *STDMETHODCALLTYPE spy_post_alloc(IMallocSpy *self, void *block) {
    (void)self;
    if (making_bstr && block) track(NULL, block);
    return block;
}
static void *STDMETHODCALLTYPE spy_pre_free(IMallocSpy *self, void *block, BOOL spyed) {
    (void)self;
    if (spyed && block) track(block, NULL);
    return block;
}
static void STDMETHODCALLTYPE spy_post_free(IMallocSpy *self, BOOL spyed) { (void)self, (void)spyed; }
static SIZE_T STDMETHODCALLTYPE spy_pre_realloc(IMallocSpy *self, void *block, SIZE_T size, void **new_request,
                                                BOOL spyed) {
    (void)self, (void)spyed;
    *new_request = block;
    return size;
}
static void *STDMETHODCALLTYPE spy_post_realloc(IMallocSpy *self, void *block, BOOL spyed) {
    (void)self, (void)spyed;
    return block;
}
static void *STDMETHODCALLTYPE spy_pre_size(IMallocSpy *self, void *block, BOOL spyed) {
    (void)self, (void)spyed;
    return block;
}
static SIZE_T STDMETHODCALLTYPE spy_post_size(IMallocSpy *self, SIZE_T size, BOOL spyed) {
    (void)self, (void)spyed;
    return size;
}
static void *STDMETHODCALLTYPE spy_pre_did_alloc(IMallocSpy *self, void *block, BOOL spyed) {
    (void)self, (void)spyed;
    return block;
}
static int STDMETHODCALLTYPE spy_post_did_alloc(IMallocSpy *self, void *block, BOOL spyed, int actual) {
    (void)self, (void)block, (void)spyed;
    return actual;
}
static void STDMETHODCALLTYPE spy_heap_minimize(IMallocSpy *self) { (void)self; }

static IMallocSpyVtbl spy_vtbl = {spy_query,        spy_ref,           spy_ref,           spy_pre_alloc,
                                  spy_post_alloc,   spy_pre_free,      spy_post_free,     spy_pre_realloc,
                                  spy_post_realloc, spy_pre_size,      spy_post_size,     spy_pre_did_alloc,
                                  spy_post_did_alloc, spy_heap_minimize, spy_heap_minimize};
static IMallocSpy spy = {&spy_vtbl};

void SetOaNoCache(void);

// Once per process: without the cache every SysAllocString and
// SysFreeString reaches the task allocator, and so the spy.
void watch_bstrs(void) {
    static BOOL watching;
    if (watching) return;
    SetOaNoCache();
    watching = SUCCEEDED(CoRegisterMallocSpy(&spy));
}

// ---- class factories ----

struct factory {
    IClassFactory iface;
    HRESULT (*create)(IUnknown *outer, REFIID riid, void **out);
};

static HRESULT STDMETHODCALLTYPE factory_query(IClassFactory *self, REFIID riid, void **out) {
    if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_IClassFactory)) {
        *out = NULL;
        return E_NOINTERFACE;
    }
    *out = self;
    return S_OK;
}
// The factories are static: COM's own references to them are not counted.
static ULONG STDMETHODCALLTYPE factory_ref(IClassFactory *self) { (void)self; return 1; }
static HRESULT STDMETHODCALLTYPE factory_create(IClassFactory *self, IUnknown *outer, REFIID riid, void **out) {
    return ((struct factory *)self)->create(outer, riid, out);
}
static HRESULT STDMETHODCALLTYPE factory_lock(IClassFactory *self, BOOL lock) {
    (void)self, (void)lock;
    return S_OK;
}

static IClassFactoryVtbl factory_vtbl = {factory_query, factory_ref, factory_ref, factory_create, factory_lock};
static struct factory task_factory = {{&factory_vtbl}, task_scheduler_create};
static struct factory link_factory = {{&factory_vtbl}, shell_link_create};

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void **out) {
    *out = NULL;
    if (IsEqualCLSID(clsid, &clsid_task_scheduler)) return factory_query(&task_factory.iface, riid, out);
    if (IsEqualCLSID(clsid, &clsid_shell_link)) return factory_query(&link_factory.iface, riid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

// The test program keeps the module loaded; COM need not unload it.
HRESULT WINAPI DllCanUnloadNow(void) { return S_FALSE; }

static LSTATUS set_text(HKEY key, const WCHAR *name, const WCHAR *text) {
    return RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)((lstrlenW(text) + 1) * sizeof(WCHAR)));
}

// Both classes are served from this file. The Task Scheduler's objects
// work in any apartment; the Shell Link keeps the system's threading model.
HRESULT WINAPI DllRegisterServer(void) {
    static const struct {
        const WCHAR *key, *threading;
    } classes[] = {
        {L"CLSID\\{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}\\InprocServer32", L"Both"},
        {L"CLSID\\{00021401-0000-0000-C000-000000000046}\\InprocServer32", NULL},
    };
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(server_module, path, MAX_PATH);
    if (!n || n == MAX_PATH) return SELFREG_E_CLASS;
    for (size_t i = 0; i < sizeof classes / sizeof classes[0]; i++) {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, classes[i].key, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL))
            return SELFREG_E_CLASS;
        LSTATUS status = set_text(key, NULL, path);
        if (!status && classes[i].threading) status = set_text(key, L"ThreadingModel", classes[i].threading);
        RegCloseKey(key);
        if (status) return SELFREG_E_CLASS;
    }
    return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        server_module = instance;
        InitializeCriticalSection(&bstr_lock);
        task_server_init();
    }
    return TRUE;
}

void ts_counts(struct server_counts *out) { *out = counts; }

// A counting Shell Link: each object made here wraps one made by shell32's
// own class factory and hands every call of IShellLinkW and IPersistFile on
// to it, so that the test sees how many real shell links are alive and
// whether one was released after its thread left COM.
#include "servers.h"
#include <shlobj.h>

struct link {
    IShellLinkW link_iface;
    IPersistFile file_iface;
    LONG refs;
    IShellLinkW *inner;
    IPersistFile *inner_file;
};

static struct link *from_link(IShellLinkW *iface) { return CONTAINING_RECORD(iface, struct link, link_iface); }
static struct link *from_file(IPersistFile *iface) { return CONTAINING_RECORD(iface, struct link, file_iface); }

// Interfaces other than these two are not served: the library and its
// tests use no others.
static HRESULT query(struct link *l, REFIID riid, void **out) {
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IShellLinkW))
        *out = &l->link_iface;
    else if (IsEqualIID(riid, &IID_IPersistFile))
        *out = &l->file_iface;
    else {
        *out = NULL;
        return E_NOINTERFACE;
    }
    InterlockedIncrement(&l->refs);
    return S_OK;
}

static ULONG release(struct link *l) {
    note_release();
    ULONG left = InterlockedDecrement(&l->refs);
    if (!left) {
        IPersistFile_Release(l->inner_file);
        IShellLinkW_Release(l->inner);
        HeapFree(GetProcessHeap(), 0, l);
        InterlockedDecrement(&counts.links);
    }
    return left;
}

static HRESULT STDMETHODCALLTYPE link_query(IShellLinkW *self, REFIID riid, void **out) {
    return query(from_link(self), riid, out);
}
static ULONG STDMETHODCALLTYPE link_add_ref(IShellLinkW *self) { return InterlockedIncrement(&from_link(self)->refs); }
static ULONG STDMETHODCALLTYPE link_release(IShellLinkW *self) { return release(from_link(self)); }

#define INNER from_link(self)->inner
static HRESULT STDMETHODCALLTYPE link_get_path(IShellLinkW *self, LPWSTR file, int n, WIN32_FIND_DATAW *fd,
                                               DWORD flags) {
    return IShellLinkW_GetPath(INNER, file, n, fd, flags);
}
static HRESULT STDMETHODCALLTYPE link_get_id_list(IShellLinkW *self, LPITEMIDLIST *list) {
    return IShellLinkW_GetIDList(INNER, list);
}
static HRESULT STDMETHODCALLTYPE link_set_id_list(IShellLinkW *self, LPCITEMIDLIST list) {
    return IShellLinkW_SetIDList(INNER, list);
}
static HRESULT STDMETHODCALLTYPE link_get_description(IShellLinkW *self, LPWSTR text, int n) {
    return IShellLinkW_GetDescription(INNER, text, n);
}
static HRESULT STDMETHODCALLTYPE link_set_description(IShellLinkW *self, LPCWSTR text) {
    return IShellLinkW_SetDescription(INNER, text);
}
static HRESULT STDMETHODCALLTYPE link_get_working_directory(IShellLinkW *self, LPWSTR dir, int n) {
    return IShellLinkW_GetWorkingDirectory(INNER, dir, n);
}
static HRESULT STDMETHODCALLTYPE link_set_working_directory(IShellLinkW *self, LPCWSTR dir) {
    return IShellLinkW_SetWorkingDirectory(INNER, dir);
}
static HRESULT STDMETHODCALLTYPE link_get_arguments(IShellLinkW *self, LPWSTR args, int n) {
    return IShellLinkW_GetArguments(INNER, args, n);
}
static HRESULT STDMETHODCALLTYPE link_set_arguments(IShellLinkW *self, LPCWSTR args) {
    return IShellLinkW_SetArguments(INNER, args);
}
static HRESULT STDMETHODCALLTYPE link_get_hotkey(IShellLinkW *self, WORD *key) {
    return IShellLinkW_GetHotkey(INNER, key);
}
static HRESULT STDMETHODCALLTYPE link_set_hotkey(IShellLinkW *self, WORD key) {
    return IShellLinkW_SetHotkey(INNER, key);
}
static HRESULT STDMETHODCALLTYPE link_get_show_cmd(IShellLinkW *self, int *cmd) {
    return IShellLinkW_GetShowCmd(INNER, cmd);
}
static HRESULT STDMETHODCALLTYPE link_set_show_cmd(IShellLinkW *self, int cmd) {
    return IShellLinkW_SetShowCmd(INNER, cmd);
}
static HRESULT STDMETHODCALLTYPE link_get_icon_location(IShellLinkW *self, LPWSTR path, int n, int *icon) {
    return IShellLinkW_GetIconLocation(INNER, path, n, icon);
}
static HRESULT STDMETHODCALLTYPE link_set_icon_location(IShellLinkW *self, LPCWSTR path, int icon) {
    return IShellLinkW_SetIconLocation(INNER, path, icon);
}
static HRESULT STDMETHODCALLTYPE link_set_relative_path(IShellLinkW *self, LPCWSTR path, DWORD reserved) {
    return IShellLinkW_SetRelativePath(INNER, path, reserved);
}
static HRESULT STDMETHODCALLTYPE link_resolve(IShellLinkW *self, HWND window, DWORD flags) {
    return IShellLinkW_Resolve(INNER, window, flags);
}
static HRESULT STDMETHODCALLTYPE link_set_path(IShellLinkW *self, LPCWSTR file) {
    return IShellLinkW_SetPath(INNER, file);
}
#undef INNER

static HRESULT STDMETHODCALLTYPE file_query(IPersistFile *self, REFIID riid, void **out) {
    return query(from_file(self), riid, out);
}
static ULONG STDMETHODCALLTYPE file_add_ref(IPersistFile *self) { return InterlockedIncrement(&from_file(self)->refs); }
static ULONG STDMETHODCALLTYPE file_release(IPersistFile *self) { return release(from_file(self)); }

#define INNER from_file(self)->inner_file
static HRESULT STDMETHODCALLTYPE file_get_class_id(IPersistFile *self, CLSID *clsid) {
    return IPersistFile_GetClassID(INNER, clsid);
}
static HRESULT STDMETHODCALLTYPE file_is_dirty(IPersistFile *self) { return IPersistFile_IsDirty(INNER); }
static HRESULT STDMETHODCALLTYPE file_load(IPersistFile *self, LPCOLESTR name, DWORD mode) {
    return IPersistFile_Load(INNER, name, mode);
}
static HRESULT STDMETHODCALLTYPE file_save(IPersistFile *self, LPCOLESTR name, BOOL remember) {
    return IPersistFile_Save(INNER, name, remember);
}
static HRESULT STDMETHODCALLTYPE file_save_completed(IPersistFile *self, LPCOLESTR name) {
    return IPersistFile_SaveCompleted(INNER, name);
}
static HRESULT STDMETHODCALLTYPE file_get_cur_file(IPersistFile *self, LPOLESTR *name) {
    return IPersistFile_GetCurFile(INNER, name);
}
#undef INNER

static IShellLinkWVtbl link_vtbl = {
    .QueryInterface = link_query,
    .AddRef = link_add_ref,
    .Release = link_release,
    .GetPath = link_get_path,
    .GetIDList = link_get_id_list,
    .SetIDList = link_set_id_list,
    .GetDescription = link_get_description,
    .SetDescription = link_set_description,
    .GetWorkingDirectory = link_get_working_directory,
    .SetWorkingDirectory = link_set_working_directory,
    .GetArguments = link_get_arguments,
    .SetArguments = link_set_arguments,
    .GetHotkey = link_get_hotkey,
    .SetHotkey = link_set_hotkey,
    .GetShowCmd = link_get_show_cmd,
    .SetShowCmd = link_set_show_cmd,
    .GetIconLocation = link_get_icon_location,
    .SetIconLocation = link_set_icon_location,
    .SetRelativePath = link_set_relative_path,
    .Resolve = link_resolve,
    .SetPath = link_set_path,
};
static IPersistFileVtbl file_vtbl = {
    .QueryInterface = file_query,
    .AddRef = file_add_ref,
    .Release = file_release,
    .GetClassID = file_get_class_id,
    .IsDirty = file_is_dirty,
    .Load = file_load,
    .Save = file_save,
    .SaveCompleted = file_save_completed,
    .GetCurFile = file_get_cur_file,
};

// The real object, made as shell32 makes it when no registration is involved.
static HRESULT make_inner(IShellLinkW **out) {
    typedef HRESULT(WINAPI * get_class_object)(REFCLSID, REFIID, void **);
    HMODULE shell32 = GetModuleHandleW(L"shell32.dll");
    if (!shell32) shell32 = LoadLibraryW(L"shell32.dll");
    get_class_object get = shell32 ? (get_class_object)(void *)GetProcAddress(shell32, "DllGetClassObject") : NULL;
    if (!get) return CLASS_E_CLASSNOTAVAILABLE;
    IClassFactory *factory;
    HRESULT hr = get(&CLSID_ShellLink, &IID_IClassFactory, (void **)&factory);
    if (FAILED(hr)) return hr;
    hr = IClassFactory_CreateInstance(factory, NULL, &IID_IShellLinkW, (void **)out);
    IClassFactory_Release(factory);
    return hr;
}

HRESULT shell_link_create(IUnknown *outer, REFIID riid, void **out) {
    *out = NULL;
    if (outer) return CLASS_E_NOAGGREGATION;
    struct link *l = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *l);
    if (!l) return E_OUTOFMEMORY;
    HRESULT hr = make_inner(&l->inner);
    if (SUCCEEDED(hr)) hr = IShellLinkW_QueryInterface(l->inner, &IID_IPersistFile, (void **)&l->inner_file);
    if (FAILED(hr)) {
        if (l->inner) IShellLinkW_Release(l->inner);
        HeapFree(GetProcessHeap(), 0, l);
        return hr;
    }
    l->link_iface.lpVtbl = &link_vtbl;
    l->file_iface.lpVtbl = &file_vtbl;
    l->refs = 1;
    InterlockedIncrement(&counts.links);
    InterlockedIncrement(&counts.links_made);
    hr = query(l, riid, out);
    release(l);
    return hr;
}

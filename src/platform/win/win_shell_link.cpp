// The Shell Link object over COM: the handles are the interface pointers.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "../platform_shell_link.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide text");

namespace {

IShellLinkW *link_of(plat_shell_link link) { return reinterpret_cast<IShellLinkW *>(link); }
IPersistFile *file_of(plat_persist_file file) { return reinterpret_cast<IPersistFile *>(file); }

}  // namespace

plat_hresult plat_create_shell_link(plat_shell_link *link) {
    *link = nullptr;
    IShellLinkW *made = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void **>(&made));
    if (SUCCEEDED(hr)) *link = reinterpret_cast<plat_shell_link>(made);
    return (plat_hresult)hr;
}

plat_hresult plat_shell_link_query_persist_file(plat_shell_link link, plat_persist_file *file) {
    *file = nullptr;
    IPersistFile *found = nullptr;
    HRESULT hr = link_of(link)->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&found));
    if (SUCCEEDED(hr)) *file = reinterpret_cast<plat_persist_file>(found);
    return (plat_hresult)hr;
}

plat_hresult plat_persist_file_load(plat_persist_file file, const char16_t *path, uint32_t mode) {
    return (plat_hresult)file_of(file)->Load(reinterpret_cast<LPCOLESTR>(path), mode);
}

plat_hresult plat_shell_link_get_path(plat_shell_link link, char16_t *path, int capacity, uint32_t flags) {
    WIN32_FIND_DATAW found;  // asked for by the call, not read
    return (plat_hresult)link_of(link)->GetPath(reinterpret_cast<LPWSTR>(path), capacity, &found, flags);
}

plat_hresult plat_shell_link_get_arguments(plat_shell_link link, char16_t *arguments, int capacity) {
    return (plat_hresult)link_of(link)->GetArguments(reinterpret_cast<LPWSTR>(arguments), capacity);
}

void plat_persist_file_release(plat_persist_file file) { file_of(file)->Release(); }

void plat_shell_link_release(plat_shell_link link) { link_of(link)->Release(); }

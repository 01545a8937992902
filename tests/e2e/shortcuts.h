// Saving real shortcuts for the end-to-end tests, with the Shell Link
// object of the platform.
#pragma once

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

// Spelled out, so that the test program needs no import library for them.
inline const GUID clsid_shell_link = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline const GUID iid_shell_link_w = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline const GUID iid_persist_file = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Saves a shortcut at `path`; COM is entered and left here, so the thread
// has none when the library is called. True when the file is there.
inline bool save_shortcut(const std::wstring &path, const wchar_t *target, const wchar_t *arguments) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW *link = nullptr;
    IPersistFile *file = nullptr;
    HRESULT hr = CoCreateInstance(clsid_shell_link, nullptr, CLSCTX_INPROC_SERVER, iid_shell_link_w, (void **)&link);
    if (SUCCEEDED(hr)) hr = link->SetPath(target);
    if (SUCCEEDED(hr)) hr = link->SetArguments(arguments);
    if (SUCCEEDED(hr)) hr = link->QueryInterface(iid_persist_file, (void **)&file);
    if (SUCCEEDED(hr)) hr = file->Save(path.c_str(), TRUE);
    if (file) file->Release();
    if (link) link->Release();
    if (SUCCEEDED(init)) CoUninitialize();
    return SUCCEEDED(hr) && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

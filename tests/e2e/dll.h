// The built quorvel.dll as a host sees it, for end-to-end tests over the
// real platform (Wine's registry, files, shell links, Task Scheduler).
//
// It is loaded with LoadLibrary from the test program's own folder (the
// build puts both in bin/) and called only through GetProcAddress, so a
// test exercises exactly what a host gets; the test program's statically
// linked copy of the library runs over the in-memory machine instead.
//
//   #include "e2e/dll.h"
//   TEST(E2eRunKeys, ...) {
//       const quorvel_dll &dll = the_dll();
//       ASSERT_TRUE(dll.ok()) << dll.failure;
//       std::string json = dll.list_text();          // copy, DLL's text freed
//       EXPECT_EQ(dll.set_enabled(id, 0), 1) << dll.last_error();
//   }
//
// Name end-to-end suites E2e<Area> so that ctest's "e2e" area runs them.
#pragma once

#include <windows.h>

#include <string>

struct quorvel_dll {
    HMODULE module = nullptr;
    std::string failure;  // why loading failed; empty when ok()

    char *(*list)(void) = nullptr;
    int (*set_enabled)(const char *id, int enabled) = nullptr;
    const char *(*last_error)(void) = nullptr;
    void (*free_string)(char *text) = nullptr;

    bool ok() const { return failure.empty(); }

    // The listing as a std::string, the DLL's text released with its own
    // free_string; "<null>" when the DLL gave none. Each listing is also
    // appended, as one line, to the file that QUORVEL_LISTING_LOG names,
    // where ctest's listing_schema test validates them all.
    std::string list_text() const {
        char *text = list();
        std::string s = text ? text : "<null>";
        free_string(text);
        log_listing(s);
        return s;
    }

    static void log_listing(const std::string &s) {
        char path[MAX_PATH];
        DWORD n = GetEnvironmentVariableA("QUORVEL_LISTING_LOG", path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        HANDLE f = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) return;
        std::string line = s + "\n";
        DWORD written = 0;
        WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(f);
    }
};

// Loads the DLL at `path` and resolves the four functions. The result says
// what failed in `failure`; the module stays loaded until unload_dll.
inline quorvel_dll load_dll(const std::wstring &path) {
    quorvel_dll d;
    // Dependencies are searched beside the DLL, not beside the test program.
    d.module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!d.module) {
        d.failure = "LoadLibrary failed with error " + std::to_string(GetLastError());
        return d;
    }
    struct export_slot {
        const char *name;
        FARPROC *slot;
    } slots[] = {
        {"quorvel_list", reinterpret_cast<FARPROC *>(&d.list)},
        {"quorvel_set_enabled", reinterpret_cast<FARPROC *>(&d.set_enabled)},
        {"quorvel_last_error", reinterpret_cast<FARPROC *>(&d.last_error)},
        {"quorvel_free_string", reinterpret_cast<FARPROC *>(&d.free_string)},
    };
    for (const export_slot &e : slots) {
        *e.slot = GetProcAddress(d.module, e.name);
        if (!*e.slot) d.failure += std::string(d.failure.empty() ? "" : ", ") + "no export " + e.name;
    }
    return d;
}

inline void unload_dll(quorvel_dll *d) {
    if (d->module) FreeLibrary(d->module);
    *d = quorvel_dll{};
}

// The folder of the running test program, with a trailing backslash.
inline std::wstring test_program_folder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

// True under Wine, where a few answers of the real platform differ from
// Windows; tests name each such difference where they allow for it.
inline bool on_wine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The build's quorvel.dll, loaded once and kept loaded for the whole test
// program, as a host would.
inline const quorvel_dll &the_dll() {
    static const quorvel_dll dll = load_dll(test_program_folder() + L"quorvel.dll");
    return dll;
}

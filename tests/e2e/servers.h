// The test servers (e2e/servers/) as the test program sees them: the same
// test_servers.dll that COM loads for the Task Scheduler and the Shell Link,
// loaded from the test program's folder so that the test scripts and reads
// the very objects the library gets.
//
//   const test_servers &s = the_servers();
//   ASSERT_TRUE(s.ok()) << s.failure;
//   s.reset();
//   int t = s.add_task(L"Sync", L"\\Sync", VARIANT_TRUE);
#pragma once

#include <windows.h>

#include <string>

#include "e2e/dll.h"
#include "e2e/servers/servers_api.h"

struct test_servers {
    HMODULE module = nullptr;
    std::string failure;  // why they cannot be used; empty when ok()

    decltype(&ts_reset) reset = nullptr;
    decltype(&ts_add_task) add_task = nullptr;
    decltype(&ts_add_folder) add_folder = nullptr;
    decltype(&ts_place_task) place_task = nullptr;
    decltype(&ts_add_trigger) add_trigger = nullptr;
    decltype(&ts_add_action) add_action = nullptr;
    decltype(&ts_fault) fault = nullptr;
    decltype(&ts_calls) calls = nullptr;
    decltype(&ts_enabled) enabled = nullptr;
    decltype(&ts_counts) read_counts = nullptr;

    bool ok() const { return failure.empty(); }
    server_counts counts() const {
        server_counts c{};
        read_counts(&c);
        return c;
    }
};

// The module COM is to load for `clsid`, as the prefix registers it.
inline std::wstring registered_server(const wchar_t *clsid) {
    std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size)) return L"";
    return path;
}

inline test_servers load_servers() {
    test_servers s;
    std::wstring file = test_program_folder() + L"test_servers.dll";
    s.module = LoadLibraryW(file.c_str());
    if (!s.module) {
        s.failure = "cannot load test_servers.dll: error " + std::to_string(GetLastError());
        return s;
    }
    wchar_t loaded[MAX_PATH];
    GetModuleFileNameW(s.module, loaded, MAX_PATH);
    for (const wchar_t *clsid :
         {L"{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}", L"{00021401-0000-0000-C000-000000000046}"}) {
        if (lstrcmpiW(registered_server(clsid).c_str(), loaded))
            s.failure = "test_servers.dll is not registered in this prefix (regsvr32 /s test_servers.dll)";
    }
    struct slot {
        const char *name;
        FARPROC *to;
    } slots[] = {
        {"ts_reset", reinterpret_cast<FARPROC *>(&s.reset)},
        {"ts_add_task", reinterpret_cast<FARPROC *>(&s.add_task)},
        {"ts_add_folder", reinterpret_cast<FARPROC *>(&s.add_folder)},
        {"ts_place_task", reinterpret_cast<FARPROC *>(&s.place_task)},
        {"ts_add_trigger", reinterpret_cast<FARPROC *>(&s.add_trigger)},
        {"ts_add_action", reinterpret_cast<FARPROC *>(&s.add_action)},
        {"ts_fault", reinterpret_cast<FARPROC *>(&s.fault)},
        {"ts_calls", reinterpret_cast<FARPROC *>(&s.calls)},
        {"ts_enabled", reinterpret_cast<FARPROC *>(&s.enabled)},
        {"ts_counts", reinterpret_cast<FARPROC *>(&s.read_counts)},
    };
    for (const slot &e : slots) {
        *e.to = GetProcAddress(s.module, e.name);
        if (!*e.to) s.failure = std::string("no export ") + e.name;
    }
    if (s.ok()) s.reset();
    return s;
}

// Loaded once and kept for the whole test program, like the DLL.
inline const test_servers &the_servers() {
    static const test_servers s = load_servers();
    return s;
}

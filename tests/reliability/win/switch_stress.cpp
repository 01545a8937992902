// Switches on a real prefix while the switching process is killed, or while
// a second process switches the same items.
//
//   switch_stress kill KILLS SECONDS   kill a switching child KILLS times
//   switch_stress race SECONDS         two children switch at once
//   switch_stress loop SECONDS SLOT    (the child) switch every item, again and again
//
// After every kill, and after the race, nothing may be lost: each item's
// type and bytes under at least one of its names or places, every copy
// listed; and one switch on by a listed identifier must leave one copy,
// on, with no off record. Exit status 0 when all held.
#include <shlobj.h>
#include <windows.h>
#include <yyjson.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e/dll.h"

namespace {

const wchar_t run_path[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t records_run[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t records_run32[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
const wchar_t records_folder[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";

// The two Startup folders, as the library finds them.
std::wstring folder_of(int csidl, const wchar_t *below) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, 0, path) != S_OK) return L"";
    return std::wstring(path) + below;
}
const std::wstring user_folder =
    folder_of(CSIDL_PROFILE, L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
const std::wstring common_folder = folder_of(CSIDL_COMMON_STARTUP, L"");

// One item: a run value (key in `view`) or a shortcut file in `folder`.
struct item {
    HKEY hive;
    REGSAM view;            // run values only
    const wchar_t *folder;  // shortcuts only (null for run values)
    const wchar_t *name;    // the on name
    const wchar_t *records;
    DWORD type;
    std::vector<BYTE> bytes;
};

std::vector<BYTE> wide_bytes(const std::wstring &s) {
    const BYTE *p = (const BYTE *)s.c_str();
    return std::vector<BYTE>(p, p + (s.size() + 1) * sizeof(wchar_t));
}

std::vector<item> items() {
    std::vector<BYTE> link(300);
    for (size_t i = 0; i < link.size(); i++) link[i] = (BYTE)(i * 7 + 1);
    return {
        {HKEY_CURRENT_USER, KEY_WOW64_64KEY, nullptr, L"QvStressA", records_run, REG_EXPAND_SZ,
         wide_bytes(L"%ProgramFiles%\\\u2603\\a.exe --tray")},
        {HKEY_CURRENT_USER, KEY_WOW64_64KEY, nullptr, L"QvStress\u00e9\u2604", records_run, REG_SZ,
         wide_bytes(L"C:\\b.exe")},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, nullptr, L"QvStress32", records_run32, REG_SZ,
         wide_bytes(L"C:\\Program Files (x86)\\c.exe")},
        {HKEY_CURRENT_USER, 0, user_folder.c_str(), L"QvStress.lnk", records_folder, 0, link},
        {HKEY_LOCAL_MACHINE, 0, common_folder.c_str(), L"QvStressCommon.lnk", records_folder, 0, link},
    };
}

std::string utf8(const std::wstring &s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring off_name(const item &it) { return std::wstring(it.name) + L"disabled"; }
std::wstring place(const item &it, bool off) {
    return std::wstring(it.folder) + (off ? L"\\disabled\\" : L"\\") + it.name;
}

// ---- the machine ----

bool read_value(const item &it, const std::wstring &name, DWORD *type, std::vector<BYTE> *bytes) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(it.hive, run_path, 0, KEY_READ | it.view, &key)) return false;
    DWORD size = 0;
    bool found = RegQueryValueExW(key, name.c_str(), nullptr, type, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
        bytes->assign(size + 2, 0);
        found = RegQueryValueExW(key, name.c_str(), nullptr, type, bytes->data(), &size) == ERROR_SUCCESS;
        bytes->resize(size);
    }
    RegCloseKey(key);
    return found;
}

bool read_file(const std::wstring &path, std::vector<BYTE> *bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    bytes->assign(4096, 0);
    DWORD got = 0;
    bool ok = ReadFile(f, bytes->data(), (DWORD)bytes->size(), &got, nullptr) != 0;
    bytes->resize(got);
    CloseHandle(f);
    return ok;
}

bool record_off(const item &it, const std::wstring &name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(it.hive, it.records, 0, KEY_READ | KEY_WOW64_64KEY, &key)) return false;
    BYTE data[64] = {};
    DWORD type = 0, size = sizeof data;
    bool off = RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &size) == ERROR_SUCCESS &&
               type == REG_BINARY && size > 0 && (data[0] & 1);
    RegCloseKey(key);
    return off;
}

void delete_everywhere(const item &it) {
    if (it.folder) {
        DeleteFileW(place(it, false).c_str());
        DeleteFileW(place(it, true).c_str());
        RemoveDirectoryW((std::wstring(it.folder) + L"\\disabled").c_str());
    } else {
        HKEY key = nullptr;
        if (!RegOpenKeyExW(it.hive, run_path, 0, KEY_SET_VALUE | it.view, &key)) {
            RegDeleteValueW(key, it.name);
            RegDeleteValueW(key, off_name(it).c_str());
            RegCloseKey(key);
        }
    }
    HKEY key = nullptr;
    if (!RegOpenKeyExW(it.hive, it.records, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key)) {
        RegDeleteValueW(key, it.name);
        RegDeleteValueW(key, off_name(it).c_str());
        RegCloseKey(key);
    }
}

bool set_up(const std::vector<item> &all) {
    for (const item &it : all) {
        delete_everywhere(it);
        if (it.folder) {
            // A fresh prefix has no user Startup folder: make it and its parents.
            std::wstring dir = it.folder;
            for (size_t i = 3; i <= dir.size(); i++)
                if (i == dir.size() || dir[i] == L'\\') CreateDirectoryW(dir.substr(0, i).c_str(), nullptr);
            HANDLE f = CreateFileW(place(it, false).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD put = 0;
            bool ok = f != INVALID_HANDLE_VALUE && WriteFile(f, it.bytes.data(), (DWORD)it.bytes.size(), &put, nullptr);
            if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
            if (!ok) return false;
        } else {
            HKEY key = nullptr;
            if (RegCreateKeyExW(it.hive, run_path, 0, nullptr, 0, KEY_SET_VALUE | it.view, nullptr, &key, nullptr))
                return false;
            LONG e = RegSetValueExW(key, it.name, 0, it.type, it.bytes.data(), (DWORD)it.bytes.size());
            RegCloseKey(key);
            if (e) return false;
        }
    }
    return true;
}

// The item's copies: for each of its on and off names or places, whether it
// is there; false (with a message) when a copy differs from the original.
bool copies_of(const item &it, bool present[2], std::string *why) {
    for (int off = 0; off < 2; off++) {
        DWORD type = 0;
        std::vector<BYTE> bytes;
        present[off] = it.folder ? read_file(place(it, off), &bytes)
                                 : read_value(it, off ? off_name(it) : std::wstring(it.name), &type, &bytes);
        if (present[off] && (bytes != it.bytes || (!it.folder && type != it.type))) {
            *why = utf8(it.name) + (off ? " (off)" : " (on)") + " changed";
            return false;
        }
    }
    if (!present[0] && !present[1]) *why = utf8(it.name) + " is lost";
    return present[0] || present[1];
}

// ---- the listing ----

struct listed {
    std::string id, name;
    bool enabled;
};

std::vector<listed> list_items(const quorvel_dll &dll) {
    std::string text = dll.list_text();
    std::vector<listed> out;
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    size_t i, n;
    yyjson_val *obj;
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, obj) {
        const char *id = yyjson_get_str(yyjson_obj_get(obj, "id"));
        const char *name = yyjson_get_str(yyjson_obj_get(obj, "name"));
        if (id && name) out.push_back({id, name, yyjson_get_bool(yyjson_obj_get(obj, "enabled"))});
    }
    yyjson_doc_free(doc);
    return out;
}

std::vector<const listed *> copies_listed(const std::vector<listed> &all, const item &it) {
    std::string on = utf8(it.name), off = it.folder ? on : utf8(off_name(it));
    std::vector<const listed *> out;
    for (const listed &e : all)
        if ((e.id.compare(0, 7, "runkey:") == 0) == !it.folder && (e.name == on || e.name == off)) out.push_back(&e);
    return out;
}

// Nothing lost, every copy listed; then one switch on finishes the job.
bool check_and_recover(const quorvel_dll &dll, const std::vector<item> &all, std::string *why) {
    std::vector<listed> shown = list_items(dll);
    for (const item &it : all) {
        bool present[2];
        if (!copies_of(it, present, why)) return false;
        std::vector<const listed *> copies = copies_listed(shown, it);
        if (copies.size() != (size_t)(present[0] + present[1])) {
            *why = utf8(it.name) + ": " + std::to_string(copies.size()) + " listed for " +
                   std::to_string(present[0] + present[1]) + " copies";
            return false;
        }
        if (dll.set_enabled(copies[0]->id.c_str(), 1) != 1) {
            *why = utf8(it.name) + ": switching on failed: " + dll.last_error();
            return false;
        }
        if (!copies_of(it, present, why)) return false;
        if (!present[0] || present[1] || record_off(it, it.name)) {
            *why = utf8(it.name) + ": not one copy, on, after the switch";
            return false;
        }
    }
    return true;
}

// ---- the child ----

// Shared with the driver: per child, whether it is inside a switch now, and
// its counts.
struct shared_state {
    volatile LONG inside[2];
    volatile LONG started[2];
    volatile LONG calls, failures, bad;
};

shared_state *open_shared(bool create) {
    HANDLE h = create ? CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(shared_state),
                                           L"Local\\quorvel-switch-stress")
                      : OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"Local\\quorvel-switch-stress");
    return h ? (shared_state *)MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(shared_state)) : nullptr;
}

bool known_message(const char *m) {
    for (const char *prefix : {"runkey: ", "startup: ", "OOM"})
        if (strncmp(m, prefix, strlen(prefix)) == 0) return true;
    return false;
}

int loop(const quorvel_dll &dll, double seconds, int slot) {
    shared_state *s = open_shared(false);
    if (!s) return 4;
    std::vector<item> all = items();
    ULONGLONG end = GetTickCount64() + (ULONGLONG)(seconds * 1000);
    while (GetTickCount64() < end) {
        std::vector<listed> shown = list_items(dll);
        InterlockedExchange(&s->started[slot], 1);
        for (const item &it : all)
            for (const listed *e : copies_listed(shown, it)) {
                InterlockedExchange(&s->inside[slot], 1);
                int r = dll.set_enabled(e->id.c_str(), e->enabled ? 0 : 1);
                InterlockedExchange(&s->inside[slot], 0);
                InterlockedIncrement(&s->calls);
                if (r == 0) InterlockedIncrement(&s->failures);
                if ((r != 0 && r != 1) || (r == 0 && !known_message(dll.last_error()))) InterlockedIncrement(&s->bad);
            }
    }
    return 0;
}

// ---- the driver ----

PROCESS_INFORMATION start_child(double seconds, int slot) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" loop " + std::to_wstring(seconds) + L" " +
                           std::to_wstring(slot);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) pi.hProcess = 0;
    return pi;
}

void end_child(PROCESS_INFORMATION *pi) {
    WaitForSingleObject(pi->hProcess, 30000);
    CloseHandle(pi->hThread);
    CloseHandle(pi->hProcess);
}

int kill_run(const quorvel_dll &dll, int kills, double seconds) {
    shared_state *s = open_shared(true);
    std::vector<item> all = items();
    if (!s || !set_up(all)) return fprintf(stderr, "kill: cannot set up\n"), 1;
    ULONGLONG end = GetTickCount64() + (ULONGLONG)(seconds * 1000);
    int done = 0, inside = 0;
    srand((unsigned)GetTickCount64());
    std::string why;
    while (done < kills && GetTickCount64() < end) {
        s->started[0] = s->inside[0] = 0;
        // Under Wine a process start now and then fails while the last
        // killed one is still being cleaned up: try again a little later.
        PROCESS_INFORMATION pi = start_child(60, 0);
        for (int tries = 0; !pi.hProcess && tries < 20; tries++) {
            Sleep(100);
            pi = start_child(60, 0);
        }
        if (!pi.hProcess) return fprintf(stderr, "kill: cannot start the child (error %lu)\n", GetLastError()), 1;
        for (int i = 0; i < 5000 && !s->started[0]; i++) Sleep(1);
        Sleep((DWORD)(rand() % 60));
        TerminateProcess(pi.hProcess, 9);
        end_child(&pi);
        done++;
        inside += s->inside[0] != 0;
        if (!check_and_recover(dll, all, &why)) {
            fprintf(stderr, "kill %d (%s a switch): %s\n", done, s->inside[0] ? "inside" : "outside", why.c_str());
            return 1;
        }
    }
    printf("kill: %d kills, %d inside a switch, %ld switches, nothing lost\n", done, inside, (long)s->calls);
    for (const item &it : all) delete_everywhere(it);
    if (done < kills) return fprintf(stderr, "kill: only %d kills in %.0f s\n", done, seconds), 1;
    return 0;
}

int race_run(const quorvel_dll &dll, double seconds) {
    shared_state *s = open_shared(true);
    std::vector<item> all = items();
    if (!s || !set_up(all)) return fprintf(stderr, "race: cannot set up\n"), 1;
    PROCESS_INFORMATION a = start_child(seconds, 0), b = start_child(seconds, 1);
    if (!a.hProcess || !b.hProcess) return fprintf(stderr, "race: cannot start the children\n"), 1;
    end_child(&a);
    end_child(&b);
    std::string why;
    if (!check_and_recover(dll, all, &why)) return fprintf(stderr, "race: %s\n", why.c_str()), 1;
    printf("race: %ld switches by two processes, %ld refused with a message, %ld without, nothing lost\n",
           (long)s->calls, (long)s->failures, (long)s->bad);
    for (const item &it : all) delete_everywhere(it);
    return s->bad || s->calls == 0 ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    const quorvel_dll &dll = the_dll();
    if (!dll.ok()) return fprintf(stderr, "%s\n", dll.failure.c_str()), 1;
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"loop" && argc == 4) return loop(dll, _wtof(argv[2]), _wtoi(argv[3]) & 1);
    if (mode == L"kill" && argc == 4) return kill_run(dll, _wtoi(argv[2]), _wtof(argv[3]));
    if (mode == L"race" && argc == 3) return race_run(dll, _wtof(argv[2]));
    fprintf(stderr, "usage: switch_stress kill KILLS SECONDS | race SECONDS\n");
    return 2;
}

// Windows benchmark, run under Wine: fills the user's Run key with 1 000
// values and the user's Startup folder with 200 shortcuts, each starting a
// program of its own (a hard link to this program, which carries a version
// resource), then lists them alternately through the DLL and through a
// bare loop that makes the same Win32 calls as the providers and nothing
// else, and prints the medians.
//
//   quorvel_win_bench [rounds]    key=value lines on stdout
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <initguid.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <taskschd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorvel.h"

namespace {

const int run_values = 1000;
const int shortcuts = 200;
const char run_subkey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct run_row {
    HKEY root;
    const char *subkey;
    REGSAM view;
    const char *records;  // null: none
};
#define RECORDS "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\"
const run_row run_rows[] = {
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", KEY_WOW64_64KEY, RECORDS "Run"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", KEY_WOW64_64KEY, RECORDS "Run"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", KEY_WOW64_32KEY, RECORDS "Run32"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", KEY_WOW64_64KEY, nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", KEY_WOW64_64KEY, nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", KEY_WOW64_32KEY, nullptr},
};

double now_ms() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / (double)freq.QuadPart;
}

void user_startup_folder(wchar_t *out) {
    wchar_t profile[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, profile);
    swprintf(out, 2048, L"%ls\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", profile);
}

// ---- set-up: idempotent, so a prefix can be reused ----

// The program an item starts: a hard link to this program, in a folder of
// its own, so that each item has a distinct image with a version resource.
bool make_image(const wchar_t *path) {
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return true;
    wchar_t folder[2048], self[MAX_PATH];
    wcscpy(folder, path);
    *wcsrchr(folder, L'\\') = 0;
    SHCreateDirectoryExW(nullptr, folder, nullptr);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return CreateHardLinkW(path, self, nullptr) || CopyFileW(self, path, TRUE);
}

bool fill_run_key() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, run_subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr))
        return false;
    for (int i = 0; i < run_values; i++) {
        char name[64], data[256];
        snprintf(name, sizeof name, "BenchTool%04d", i);
        snprintf(data, sizeof data, "C:\\Program Files\\Vendor\\Tool%04d\\tool%04d.exe --tray --quiet", i, i);
        RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)data, (DWORD)strlen(data) + 1);
        wchar_t image[256];
        swprintf(image, 256, L"C:\\Program Files\\Vendor\\Tool%04d\\tool%04d.exe", i, i);
        if (!make_image(image)) return false;
    }
    RegCloseKey(key);
    return true;
}

bool fill_startup_folder() {
    wchar_t folder[2048];
    user_startup_folder(folder);
    SHCreateDirectoryExW(nullptr, folder, nullptr);
    for (int i = 0; i < shortcuts; i++) {
        wchar_t path[2048], target[256], args[64];
        swprintf(path, 2048, L"%ls\\BenchShortcut%03d.lnk", folder, i);
        swprintf(target, 256, L"C:\\Program Files\\Vendor\\App%03d\\app%03d.exe", i, i);
        if (!make_image(target)) return false;
        if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) continue;
        swprintf(args, 64, L"--minimized --id %d", i);
        IShellLinkW *link = nullptr;
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    (void **)&link)))
            return false;
        IPersistFile *file = nullptr;
        link->SetPath(target);
        link->SetArguments(args);
        HRESULT hr = link->QueryInterface(IID_IPersistFile, (void **)&file);
        if (SUCCEEDED(hr)) {
            hr = file->Save(path, TRUE);
            file->Release();
        }
        link->Release();
        if (FAILED(hr)) return false;
    }
    return true;
}

// ---- the bare listing ----

// What utf8_to_utf16 / utf16_to_utf8 ask of the platform: a size, then the
// conversion, into new heap memory.
wchar_t *to_wide(const char *text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    wchar_t *w = (wchar_t *)malloc((size_t)n * sizeof(wchar_t));
    MultiByteToWideChar(CP_UTF8, 0, text, -1, w, n);
    return w;
}

char *to_utf8(const wchar_t *text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    char *s = (char *)malloc((size_t)n);
    WideCharToMultiByte(CP_UTF8, 0, text, -1, s, n, nullptr, nullptr);
    return s;
}

// ---- item details, as the library reads them ----

bool details_asked = false;  // the folders, asked once per listing

// A text asked for with a buffer of 260 units, then with one of its size.
template <typename Ask>
void ask_text(Ask ask) {
    wchar_t fixed[260];
    UINT got = ask(fixed, 260);
    if (got < 260) {
        free(wcsdup(fixed));
        return;
    }
    wchar_t *heap = (wchar_t *)malloc(got * sizeof(wchar_t));
    ask(heap, got);
    free(heap);
}

void details_context() {
    if (details_asked) return;
    details_asked = true;
    ask_text([](wchar_t *b, UINT n) { return GetSystemDirectoryW(b, n); });
    ask_text([](wchar_t *b, UINT n) { return GetWindowsDirectoryW(b, n); });
    ask_text([](wchar_t *b, UINT n) { return GetEnvironmentVariableW(L"PATH", b, n); });
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
}

wchar_t *expand(const wchar_t *text) {
    wchar_t fixed[1040];
    DWORD got = ExpandEnvironmentStringsW(text, fixed, 1040);
    return wcsdup(got && got <= 1040 ? fixed : text);
}

char *version_text(const void *block, const wchar_t *query) {
    void *found = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(block, query, &found, &len) || !len) return nullptr;
    wchar_t *copy = (wchar_t *)malloc((len + 1) * sizeof(wchar_t));
    memcpy(copy, found, len * sizeof(wchar_t));
    copy[len] = 0;
    char *text = to_utf8(copy);
    free(copy);
    return text;
}

// An image not read before in this listing: its path as UTF-8, whether it
// is a file, and its version block's two texts (the first translation's
// table holds them).
void read_image(const wchar_t *image) {
    free(to_utf8(image));
    if (GetFileAttributesW(image) == INVALID_FILE_ATTRIBUTES) return;
    DWORD size = GetFileVersionInfoSizeW(image, nullptr);
    if (!size) return;
    void *block = malloc(size);
    if (GetFileVersionInfoW(image, 0, size, block)) {
        void *translation = nullptr;
        UINT len = 0;
        VerQueryValueW(block, L"\\VarFileInfo\\Translation", &translation, &len);
        free(version_text(block, L"\\StringFileInfo\\040904B0\\CompanyName"));
        free(version_text(block, L"\\StringFileInfo\\040904B0\\FileDescription"));
    }
    free(block);
}

// A run value's command, "C:\\Program Files\\…\\toolN.exe --tray --quiet":
// expanded, split where a file is found (the text before the first space
// as written and with ".exe", then the text before the second), then read.
void command_details(const wchar_t *command) {
    details_context();
    wchar_t *text = expand(command);
    wchar_t program[1040];
    size_t space = wcschr(text, L' ') - text;
    wcsncpy(program, text, space);
    program[space] = 0;
    GetFileAttributesW(program);
    wcscpy(program + space, L".exe");
    GetFileAttributesW(program);
    size_t end = wcschr(text + space + 1, L' ') - text;
    wcsncpy(program, text, end);
    program[end] = 0;
    GetFileAttributesW(program);
    read_image(program);
    free(text);
}

// A shortcut's target and arguments: both expanded, the target read.
void program_details(const wchar_t *program, const wchar_t *arguments) {
    details_context();
    wchar_t *p = expand(program), *a = expand(arguments);
    read_image(p);
    free(p);
    free(a);
}

// What naming one value costs the listing: its 8-bit form and back (for
// the identifier), then the name and the data as UTF-8.
void name_value(const wchar_t *name, const wchar_t *data) {
    BOOL used = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, nullptr, 0, nullptr, &used);
    char *ansi = (char *)malloc((size_t)bytes);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, ansi, bytes, nullptr, &used);
    int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    wchar_t *back = (wchar_t *)malloc((size_t)units * sizeof(wchar_t));
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, units);
    free(back);
    free(ansi);
    free(to_utf8(name));
    free(to_utf8(data));
}

int bare_run_keys() {
    int items = 0;
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);  // the two 32-bit rows ask whether there is a 32-bit view
    static wchar_t name[16384];
    for (const run_row &row : run_rows) {
        HKEY key, records = nullptr;
        if (RegOpenKeyExA(row.root, row.subkey, 0, KEY_READ | row.view, &key)) continue;
        if (row.records && RegOpenKeyExA(row.root, row.records, 0, KEY_READ | KEY_WOW64_64KEY, &records))
            records = nullptr;
        for (DWORD i = 0;; i++) {
            alignas(wchar_t) BYTE data[1042];
            DWORD name_len = 16384, data_len = 1040, type = 0;
            if (RegEnumValueW(key, i, name, &name_len, nullptr, &type, data, &data_len)) break;
            if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
            data[data_len & ~1u] = data[(data_len & ~1u) + 1] = 0;
            name_value(name, (const wchar_t *)data);
            DWORD record_type = 0, record_size = 0;
            if (records) RegQueryValueExW(records, name, nullptr, &record_type, nullptr, &record_size);
            command_details((const wchar_t *)data);
            items++;
        }
        if (records) RegCloseKey(records);
        RegCloseKey(key);
    }
    return items;
}

// As the library does: initialise COM at its first use in a listing, and
// undo it at the end only if that initialisation was its own.
bool com_owned = false;

void enter_com() {
    if (!com_owned) com_owned = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_OK;
}

void bare_read_shortcut(const wchar_t *path) {
    IShellLinkW *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&link)) ||
        !link)
        return;
    IPersistFile *file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        HRESULT loaded = file->Load(path, STGM_READ);
        file->Release();
        if (SUCCEEDED(loaded)) {
            static wchar_t target[2048], args[1024];
            WIN32_FIND_DATAW fd;
            if (SUCCEEDED(link->GetPath(target, 2048, &fd, 0x200))) {
                args[0] = 0;
                link->GetArguments(args, 1024);
                free(to_utf8(target));
                free(to_utf8(args));
                link->Release();
                program_details(target, args);
                return;
            }
        }
    }
    link->Release();
}

int bare_pass(const wchar_t *folder, bool disabled) {
    int items = 0;
    wchar_t pattern[2048];
    swprintf(pattern, 2048, disabled ? L"%ls\\disabled\\*" : L"%ls\\*", folder);
    WIN32_FIND_DATAW fd;
    HANDLE search = FindFirstFileW(pattern, &fd);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        wchar_t full[2048];
        swprintf(full, 2048, disabled ? L"%ls\\disabled\\%ls" : L"%ls\\%ls", folder, fd.cFileName);
        char *utf8 = to_utf8(full);
        enter_com();
        wchar_t *wide = to_wide(utf8);
        bare_read_shortcut(wide);
        free(wide);
        free(utf8);
        items++;
    } while (FindNextFileW(search, &fd));
    FindClose(search);
    return items;
}

int bare_startup() {
    int items = 0;
    char *folders[2];
    int count = 0;
    wchar_t profile[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, profile) == S_OK) {
        char *p = to_utf8(profile);
        char path[2048];
        snprintf(path, sizeof path, "%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", p);
        free(p);
        folders[count++] = _strdup(path);
    }
    PWSTR common = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_CommonStartup, 0, nullptr, &common))) {
        folders[count++] = to_utf8(common);
        CoTaskMemFree(common);
    }
    for (int f = 0; f < count; f++) {
        // The folder's StartupApproved records, looked for at its first shortcut.
        HKEY records = nullptr;
        if (!RegOpenKeyExA(f ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, RECORDS "StartupFolder", 0,
                           KEY_READ | KEY_WOW64_64KEY, &records))
            RegCloseKey(records);
        wchar_t *wide = to_wide(folders[f]);
        items += bare_pass(wide, false);
        // The subfolder is read only when it is no link.
        std::wstring disabled = std::wstring(wide) + L"\\disabled";
        DWORD attributes = GetFileAttributesW(disabled.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            items += bare_pass(wide, true);
        free(wide);
        free(folders[f]);
    }
    return items;
}

int bare_tasks() {
    enter_com();
    ITaskService *service = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_ALL, IID_ITaskService, (void **)&service)) ||
        !service)
        return 0;
    VARIANT none[4];
    for (VARIANT &v : none) VariantInit(&v);
    int items = 0;
    ITaskFolder *folder = nullptr;
    if (SUCCEEDED(service->Connect(none[0], none[1], none[2], none[3])) &&
        SUCCEEDED(service->GetFolder(nullptr, &folder)) && folder) {
        IRegisteredTaskCollection *tasks = nullptr;
        LONG count = 0;
        if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, &tasks)) && tasks) {
            if (SUCCEEDED(tasks->get_Count(&count))) items = (int)count;  // Wine answers E_NOTIMPL
            tasks->Release();
        }
        // Then the root's subfolders (none in the benchmark's prefix).
        ITaskFolderCollection *folders = nullptr;
        if (SUCCEEDED(folder->GetFolders(0, &folders)) && folders) {
            folders->get_Count(&count);
            folders->Release();
        }
        folder->Release();
    }
    service->Release();
    return items;
}

int bare_listing() {
    details_asked = false;
    int items = bare_run_keys();
    // The policy Run keys: the benchmark's prefix holds none.
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY key = nullptr;
        if (!RegOpenKeyExA(root, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", 0,
                           KEY_READ | KEY_WOW64_64KEY, &key))
            RegCloseKey(key);
    }
    items += bare_startup();
    items += bare_tasks();
    // The packages' key: the benchmark's prefix registers none.
    HKEY packages = nullptr;
    if (!RegOpenKeyExA(HKEY_CURRENT_USER,
                       "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\"
                       "Repository\\Packages",
                       0, KEY_READ, &packages))
        RegCloseKey(packages);
    if (com_owned) CoUninitialize();
    com_owned = false;
    return items;
}

int dll_listing() {
    char *text = quorvel_list();
    int items = 0;
    for (const char *p = text; (p = strstr(p, "{\"id\":")); p++) items++;
    quorvel_free_string(text);
    return items;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 15;
    if (rounds < 1) rounds = 1;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool ready = fill_run_key() && fill_startup_folder();
    CoUninitialize();
    if (!ready) {
        fprintf(stderr, "win_bench: set-up failed\n");
        return 1;
    }
    int items_dll = dll_listing(), items_bare = bare_listing();  // warm both
    std::vector<double> dll, bare;
    // Alternating which goes first spreads any drift of the prefix evenly.
    for (int r = 0; r < rounds; r++) {
        for (int turn = 0; turn < 2; turn++) {
            bool through_dll = (turn == 0) == (r % 2 == 0);
            double t0 = now_ms();
            if (through_dll)
                items_dll = dll_listing();
            else
                items_bare = bare_listing();
            (through_dll ? dll : bare).push_back(now_ms() - t0);
        }
    }
    double d = median(dll), b = median(bare);
    printf("rounds=%d\nitems_dll=%d\nitems_bare=%d\ndll_ms=%.3f\nbare_ms=%.3f\nratio=%.3f\n", rounds, items_dll,
           items_bare, d, b, d / b);
    return 0;
}

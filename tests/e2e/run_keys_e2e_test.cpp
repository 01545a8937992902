// The run-key provider through the DLL on the real registry (Wine's, in the
// test prefix). Values are set with both the 8-bit and the wide calls,
// listed and switched through the exports, and read back with the wide
// calls. Every value a test makes, in either hive, is removed at its end,
// with the StartupApproved records of the same names.
#include <windows.h>
#include <yyjson.h>

#include <cstring>
#include <string>
#include <vector>

#include "e2e/dll.h"
#include "providers/run_keys.h"
#include "test_support.h"

namespace {

const wchar_t *const run_path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t *const runonce_path = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const wchar_t *const approved_path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const char *const run_path_a = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char *const approved_path_a = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t *const policy_path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
const wchar_t *const approved32_path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";

struct stored {
    bool found = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

// Reads a value with the wide call into a buffer of exactly its size.
stored read_value(HKEY root, const wchar_t *path, const std::wstring &name, REGSAM view = KEY_WOW64_64KEY) {
    stored s;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | view, &key)) return s;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &s.type, nullptr, &size) == ERROR_SUCCESS) {
        s.data.resize(size);
        s.found = RegQueryValueExW(key, name.c_str(), nullptr, &s.type, size ? s.data.data() : nullptr, &size) ==
                  ERROR_SUCCESS;
        s.data.resize(size);
    }
    RegCloseKey(key);
    return s;
}

bool write_w(HKEY root, const std::wstring &name, DWORD type, const void *data, DWORD size,
             const wchar_t *path = run_path, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr)) return false;
    bool ok = RegSetValueExW(key, name.c_str(), 0, type, (const BYTE *)data, size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool write_a(HKEY root, const char *name, DWORD type, const void *data, DWORD size, const char *path = run_path_a) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr))
        return false;
    bool ok = RegSetValueExA(key, name, 0, type, (const BYTE *)data, size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

std::vector<BYTE> wide_bytes(const std::wstring &text, bool terminated = true) {
    const BYTE *p = (const BYTE *)text.c_str();
    return std::vector<BYTE>(p, p + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}

// Deletes the named values and their "disabled" forms from both Run keys,
// and their records, when the test ends.
struct cleanup {
    std::vector<std::wstring> names;
    explicit cleanup(std::vector<std::wstring> n) : names(std::move(n)) { remove(); }
    ~cleanup() { remove(); }
    void remove() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
                for (const wchar_t *path : {run_path, runonce_path, approved_path, approved32_path, policy_path}) {
                    HKEY key = nullptr;
                    if (RegOpenKeyExW(root, path, 0, KEY_SET_VALUE | view, &key)) continue;
                    for (const std::wstring &n : names) {
                        RegDeleteValueW(key, n.c_str());
                        RegDeleteValueW(key, (n + L"disabled").c_str());
                    }
                    RegCloseKey(key);
                }
    }
};

struct entry {
    std::string id, source, name, command;
    bool enabled = false;
};

// The listing's entries; `parsed` is false when the text is no JSON array.
std::vector<entry> list_entries(const quorvel_dll &dll, bool *parsed = nullptr) {
    std::string text = dll.list_text();
    std::vector<entry> out;
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    if (parsed) *parsed = doc && yyjson_is_arr(yyjson_doc_get_root(doc));
    size_t i, n;
    yyjson_val *obj;
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, obj) {
        entry e;
        auto text_of = [&](const char *k) {
            const char *s = yyjson_get_str(yyjson_obj_get(obj, k));
            return std::string(s ? s : "");
        };
        e.id = text_of("id");
        e.source = text_of("source");
        e.name = text_of("name");
        e.command = text_of("command");
        e.enabled = yyjson_get_bool(yyjson_obj_get(obj, "enabled"));
        out.push_back(e);
    }
    yyjson_doc_free(doc);
    return out;
}

const entry *find_entry(const std::vector<entry> &entries, const std::string &name, const char *source = "runkey") {
    for (const entry &e : entries)
        if (e.name == name && e.source == source) return &e;
    return nullptr;
}

std::string run_id(int per_user, const char *name) {
    char id[64];
    std::string key_text = "runkey|d" + std::to_string(per_user) + "|" + run_path_a + "|" + name;
    snprintf(id, sizeof id, "runkey:%016llx", (unsigned long long)expected_hash(key_text));
    return id;
}

uint64_t file_time_now() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

// The record switching off wrote: 03 00 00 00 and a FILETIME in [before, after].
void expect_off_record(HKEY root, const std::wstring &name, uint64_t before, uint64_t after) {
    stored r = read_value(root, approved_path, name);
    ASSERT_TRUE(r.found) << "no StartupApproved record";
    EXPECT_EQ(r.type, (DWORD)REG_BINARY);
    ASSERT_EQ(r.data.size(), 12u);
    EXPECT_EQ(std::vector<BYTE>(r.data.begin(), r.data.begin() + 4), (std::vector<BYTE>{3, 0, 0, 0}));
    uint64_t t = 0;
    for (int i = 7; i >= 0; i--) t = (t << 8) | r.data[4 + i];
    EXPECT_GE(t, before);
    EXPECT_LE(t, after);
}

}  // namespace

TEST(E2eRunKeys, ListsValuesSetWithBothApis) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvAnsi", L"QvWide", L"QvDword", L"QvBinary", L"QvMachine"});
    const char ansi[] = "C:\\a\\a.exe /x";
    std::wstring wide = L"%SystemRoot%\\w.exe";
    DWORD number = 42;
    BYTE blob[4] = {1, 2, 3, 4};
    std::vector<BYTE> wb = wide_bytes(wide);
    ASSERT_TRUE(write_a(HKEY_CURRENT_USER, "QvAnsi", REG_SZ, ansi, sizeof ansi));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvWide", REG_EXPAND_SZ, wb.data(), (DWORD)wb.size()));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvDword", REG_DWORD, &number, sizeof number));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvBinary", REG_BINARY, blob, sizeof blob));
    ASSERT_TRUE(write_a(HKEY_LOCAL_MACHINE, "QvMachine", REG_SZ, ansi, sizeof ansi));

    std::vector<entry> entries = list_entries(dll);
    const entry *a = find_entry(entries, "QvAnsi"), *w = find_entry(entries, "QvWide");
    const entry *m = find_entry(entries, "QvMachine");
    ASSERT_TRUE(a && w && m);
    EXPECT_EQ(a->id, run_id(1, "QvAnsi"));
    EXPECT_EQ(a->command, ansi);
    EXPECT_TRUE(a->enabled);
    EXPECT_EQ(w->command, "%SystemRoot%\\w.exe") << "not expanded";
    EXPECT_EQ(m->id, run_id(0, "QvMachine"));
    EXPECT_FALSE(find_entry(entries, "QvDword"));
    EXPECT_FALSE(find_entry(entries, "QvBinary"));
}

// Off and on again: data and type byte for byte (a character outside the
// ANSI code page included), the StartupApproved record written and removed.
TEST(E2eRunKeys, SwitchesOffAndOnKeepingBytes) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvSwitch"});
    std::vector<BYTE> data = wide_bytes(L"C:\\Programs\\\u2603\\app.exe");
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvSwitch", REG_EXPAND_SZ, data.data(), (DWORD)data.size()));

    const entry *e = nullptr;
    std::vector<entry> entries = list_entries(dll);
    ASSERT_TRUE((e = find_entry(entries, "QvSwitch")));
    EXPECT_EQ(e->command, "C:\\Programs\\\xe2\x98\x83\\app.exe") << "as Windows holds it";
    std::string old_id = e->id;
    uint64_t before = file_time_now();
    ASSERT_EQ(dll.set_enabled(old_id.c_str(), 0), 1) << dll.last_error();
    uint64_t after = file_time_now();

    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, run_path, L"QvSwitch").found);
    stored off = read_value(HKEY_CURRENT_USER, run_path, L"QvSwitchdisabled");
    ASSERT_TRUE(off.found);
    EXPECT_EQ(off.type, (DWORD)REG_EXPAND_SZ);
    EXPECT_EQ(off.data, data);
    expect_off_record(HKEY_CURRENT_USER, L"QvSwitchdisabled", before, after);

    entries = list_entries(dll);
    ASSERT_TRUE((e = find_entry(entries, "QvSwitchdisabled")));
    EXPECT_FALSE(e->enabled);
    EXPECT_EQ(dll.set_enabled(old_id.c_str(), 1), 0);
    EXPECT_STREQ(dll.last_error(), "runkey: entry no longer exists");

    ASSERT_EQ(dll.set_enabled(e->id.c_str(), 1), 1) << dll.last_error();
    stored on = read_value(HKEY_CURRENT_USER, run_path, L"QvSwitch");
    ASSERT_TRUE(on.found);
    EXPECT_EQ(on.type, (DWORD)REG_EXPAND_SZ);
    EXPECT_EQ(on.data, data);
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, run_path, L"QvSwitchdisabled").found);
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, approved_path, L"QvSwitchdisabled").found);
    entries = list_entries(dll);
    ASSERT_TRUE((e = find_entry(entries, "QvSwitch")));
    EXPECT_EQ(e->id, old_id) << "switching back restores the identifier";
}

TEST(E2eRunKeys, UnterminatedAndLongDataSurvive) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvOpen", L"QvLong", L"QvLongz"});
    // A unit after the counted bytes that is not NUL, or the write would add a terminator.
    std::vector<BYTE> open = wide_bytes(L"C:\\open.exeX", false);
    open.resize(open.size() - sizeof(wchar_t));
    std::wstring long_text(2000, L'L');
    std::vector<BYTE> long_bytes = wide_bytes(long_text);
    std::vector<BYTE> open_buffer = wide_bytes(L"C:\\open.exeX", false);
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvOpen", REG_SZ, open_buffer.data(), (DWORD)open.size()));
    ASSERT_EQ(read_value(HKEY_CURRENT_USER, run_path, L"QvOpen").data, open) << "stored unterminated";
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvLong", REG_SZ, long_bytes.data(), (DWORD)long_bytes.size()));
    ASSERT_TRUE(write_a(HKEY_CURRENT_USER, "QvLongz", REG_SZ, "z", 2));

    std::vector<entry> entries = list_entries(dll);
    const entry *o = find_entry(entries, "QvOpen"), *l = find_entry(entries, "QvLong");
    ASSERT_TRUE(o && l);
    EXPECT_EQ(o->command, "C:\\open.exe");
    EXPECT_EQ(l->command, std::string(2000, 'L')) << "listed whole";
    EXPECT_TRUE(find_entry(entries, "QvLongz")) << "the value after a long one is listed";

    ASSERT_EQ(dll.set_enabled(o->id.c_str(), 0), 1) << dll.last_error();
    stored off = read_value(HKEY_CURRENT_USER, run_path, L"QvOpendisabled");
    EXPECT_EQ(off.data, open) << "no terminator added by the copy";
    ASSERT_EQ(dll.set_enabled(l->id.c_str(), 0), 1) << dll.last_error();
    EXPECT_EQ(read_value(HKEY_CURRENT_USER, run_path, L"QvLongdisabled").data, long_bytes);
}

// Names outside code page 1252 are listed exactly and switched both ways,
// data byte-exact; two that differ only there are two items, each switched
// by its own identifier (hashed as UTF-8 under "runkey-w|").
TEST(E2eRunKeys, NamesOutsideTheCodePageSwitchExactly) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"Caf\u00e9\u2603", L"Caf\u00e9\u2604"});
    std::vector<BYTE> snow = wide_bytes(L"C:\\Programs\\\u2603\\app.exe"), comet = wide_bytes(L"C:\\comet.exe");
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"Caf\u00e9\u2603", REG_SZ, snow.data(), (DWORD)snow.size()));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"Caf\u00e9\u2604", REG_SZ, comet.data(), (DWORD)comet.size()));
    std::vector<entry> entries = list_entries(dll);
    const entry *s1 = find_entry(entries, "Caf\xc3\xa9\xe2\x98\x83"), *s2 = find_entry(entries, "Caf\xc3\xa9\xe2\x98\x84");
    ASSERT_TRUE(s1 && s2);
    EXPECT_EQ(s1->id, "runkey:2fd0a31d8fea84e3");
    EXPECT_EQ(s2->id, "runkey:2fd0a81d8fea8d62");
    EXPECT_EQ(s1->command, "C:\\Programs\\\xe2\x98\x83\\app.exe");

    ASSERT_EQ(dll.set_enabled("runkey:2fd0a81d8fea8d62", 0), 1) << dll.last_error();
    EXPECT_TRUE(read_value(HKEY_CURRENT_USER, run_path, L"Caf\u00e9\u2603").found) << "the other one untouched";
    EXPECT_EQ(read_value(HKEY_CURRENT_USER, run_path, L"Caf\u00e9\u2604disabled").data, comet);
    ASSERT_EQ(dll.set_enabled("runkey:2fd0a31d8fea84e3", 0), 1) << dll.last_error();
    EXPECT_EQ(read_value(HKEY_CURRENT_USER, run_path, L"Caf\u00e9\u2603disabled").data, snow);
    EXPECT_TRUE(read_value(HKEY_CURRENT_USER, approved_path, L"Caf\u00e9\u2603disabled").found);
    entries = list_entries(dll);
    const entry *off = find_entry(entries, "Caf\xc3\xa9\xe2\x98\x83" "disabled");
    ASSERT_TRUE(off);
    EXPECT_FALSE(off->enabled);
    ASSERT_EQ(dll.set_enabled(off->id.c_str(), 1), 1) << dll.last_error();
    stored on = read_value(HKEY_CURRENT_USER, run_path, L"Caf\u00e9\u2603");
    EXPECT_EQ(on.data, snow);
    EXPECT_EQ(on.type, (DWORD)REG_SZ);
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, approved_path, L"Caf\u00e9\u2603disabled").found);
    EXPECT_TRUE(read_value(HKEY_CURRENT_USER, run_path, L"Caf\u00e9\u2604disabled").found);
}

// Both registry views of the machine hive, in the listing's order; a value
// of the 32-bit view is switched within it, its record kept in Run32.
TEST(E2eRunKeys, BothRegistryViews) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvLegacy32", L"QvNative", L"QvOnce32", L"QvUser"});
    std::vector<BYTE> legacy = wide_bytes(L"C:\\Program Files (x86)\\legacy.exe"), other = wide_bytes(L"C:\\n.exe");
    ASSERT_TRUE(write_w(HKEY_LOCAL_MACHINE, L"QvOnce32", REG_SZ, other.data(), (DWORD)other.size(), runonce_path,
                        KEY_WOW64_32KEY));
    ASSERT_TRUE(write_w(HKEY_LOCAL_MACHINE, L"QvLegacy32", REG_SZ, legacy.data(), (DWORD)legacy.size(), run_path,
                        KEY_WOW64_32KEY));
    ASSERT_TRUE(write_w(HKEY_LOCAL_MACHINE, L"QvNative", REG_SZ, other.data(), (DWORD)other.size()));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvUser", REG_SZ, other.data(), (DWORD)other.size()));
    ASSERT_TRUE(read_value(HKEY_LOCAL_MACHINE, L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                           L"QvLegacy32")
                    .found);
    ASSERT_FALSE(read_value(HKEY_LOCAL_MACHINE, run_path, L"QvLegacy32").found) << "not in the native view";

    std::vector<entry> entries = list_entries(dll);
    std::vector<std::string> order;
    for (const entry &e : entries)
        if (e.name.compare(0, 2, "Qv") == 0) order.push_back(e.name);
    EXPECT_EQ(order, (std::vector<std::string>{"QvUser", "QvNative", "QvLegacy32", "QvOnce32"}));
    const entry *l = find_entry(entries, "QvLegacy32");
    ASSERT_TRUE(l);
    EXPECT_EQ(l->id, "runkey:e0a5d464cae55c0e");
    EXPECT_TRUE(find_entry(entries, "QvOnce32", "runonce"));
    EXPECT_EQ(find_entry(entries, "QvOnce32", "runonce")->id, "runonce:ea9b2bffe0c14e9f");

    ASSERT_EQ(dll.set_enabled(l->id.c_str(), 0), 1) << dll.last_error();
    EXPECT_EQ(read_value(HKEY_LOCAL_MACHINE, run_path, L"QvLegacy32disabled", KEY_WOW64_32KEY).data, legacy);
    EXPECT_FALSE(read_value(HKEY_LOCAL_MACHINE, run_path, L"QvLegacy32disabled").found);
    EXPECT_TRUE(read_value(HKEY_LOCAL_MACHINE, approved32_path, L"QvLegacy32disabled").found);
    EXPECT_FALSE(read_value(HKEY_LOCAL_MACHINE, approved_path, L"QvLegacy32disabled").found);
    entries = list_entries(dll);
    const entry *off = find_entry(entries, "QvLegacy32disabled");
    ASSERT_TRUE(off);
    EXPECT_FALSE(off->enabled);
    ASSERT_EQ(dll.set_enabled(off->id.c_str(), 1), 1) << dll.last_error();
    EXPECT_EQ(read_value(HKEY_LOCAL_MACHINE, run_path, L"QvLegacy32", KEY_WOW64_32KEY).data, legacy);
    EXPECT_FALSE(read_value(HKEY_LOCAL_MACHINE, approved32_path, L"QvLegacy32disabled").found);
}

// Records as Windows' own tools write them: 03 and 07 off, 02 and 06 on;
// switching on clears an off one and keeps the name.
TEST(E2eRunKeys, RecordsOfWindowsToolsDecideTheState) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvRec3", L"QvRec7", L"QvRec2", L"QvRec6", L"QvRec32"});
    struct row {
        HKEY root;
        const wchar_t *name, *records;
        REGSAM view;
        BYTE first;
        bool on;
    } rows[] = {
        {HKEY_CURRENT_USER, L"QvRec3", approved_path, KEY_WOW64_64KEY, 3, false},
        {HKEY_CURRENT_USER, L"QvRec7", approved_path, KEY_WOW64_64KEY, 7, false},
        {HKEY_CURRENT_USER, L"QvRec2", approved_path, KEY_WOW64_64KEY, 2, true},
        {HKEY_LOCAL_MACHINE, L"QvRec6", approved_path, KEY_WOW64_64KEY, 6, true},
        {HKEY_LOCAL_MACHINE, L"QvRec32", approved32_path, KEY_WOW64_32KEY, 7, false},
    };
    std::vector<BYTE> data = wide_bytes(L"C:\\r.exe");
    for (const row &r : rows) {
        const BYTE record[12] = {r.first, 0, 0, 0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x01};
        ASSERT_TRUE(write_w(r.root, r.name, REG_SZ, data.data(), (DWORD)data.size(), run_path, r.view));
        ASSERT_TRUE(write_w(r.root, r.name, REG_BINARY, record, sizeof record, r.records));
    }
    std::vector<entry> entries = list_entries(dll);
    for (const row &r : rows) {
        std::string name(r.name, r.name + wcslen(r.name));
        const entry *e = find_entry(entries, name);
        ASSERT_TRUE(e) << name;
        EXPECT_EQ(e->enabled, r.on) << name;
        ASSERT_EQ(dll.set_enabled(e->id.c_str(), 1), 1) << name << ": " << dll.last_error();
        EXPECT_EQ(read_value(r.root, r.records, r.name).found, r.on) << name << ": only an off record goes";
        EXPECT_TRUE(read_value(r.root, run_path, r.name, r.view).found) << name;
    }
    entries = list_entries(dll);
    for (const row &r : rows) EXPECT_TRUE(find_entry(entries, std::string(r.name, r.name + wcslen(r.name)))->enabled);
}

TEST(E2eRunKeys, RefusesAnExistingTargetBothWays) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvPair"});
    ASSERT_TRUE(write_a(HKEY_CURRENT_USER, "QvPair", REG_SZ, "1", 2));
    ASSERT_TRUE(write_a(HKEY_CURRENT_USER, "QvPairdisabled", REG_SZ, "2", 2));
    EXPECT_EQ(dll.set_enabled(run_id(1, "QvPair").c_str(), 0), 0);
    EXPECT_STREQ(dll.last_error(), "runkey: cannot disable \xe2\x80\x94 'QvPairdisabled' already exists");
    EXPECT_EQ(dll.set_enabled(run_id(1, "QvPairdisabled").c_str(), 1), 0);
    EXPECT_STREQ(dll.last_error(), "runkey: cannot enable \xe2\x80\x94 'QvPair' already exists");
    EXPECT_TRUE(read_value(HKEY_CURRENT_USER, run_path, L"QvPair").found);
    EXPECT_TRUE(read_value(HKEY_CURRENT_USER, run_path, L"QvPairdisabled").found);
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, approved_path, L"QvPairdisabled").found);
}

// The machine hive: its record goes to the machine's StartupApproved key.
TEST(E2eRunKeys, MachineValueSwitchesInItsOwnHive) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvHklm"});
    DWORD number = 7;
    ASSERT_TRUE(write_a(HKEY_LOCAL_MACHINE, "QvHklm", REG_DWORD, &number, sizeof number));
    ASSERT_EQ(dll.set_enabled(run_id(0, "QvHklm").c_str(), 0), 1) << dll.last_error();
    stored off = read_value(HKEY_LOCAL_MACHINE, run_path, L"QvHklmdisabled");
    EXPECT_EQ(off.type, (DWORD)REG_DWORD);
    EXPECT_EQ(off.data, (std::vector<BYTE>{7, 0, 0, 0}));
    EXPECT_TRUE(read_value(HKEY_LOCAL_MACHINE, approved_path, L"QvHklmdisabled").found);
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, approved_path, L"QvHklmdisabled").found);
    ASSERT_EQ(dll.set_enabled(run_id(0, "QvHklmdisabled").c_str(), 1), 1) << dll.last_error();
    EXPECT_TRUE(read_value(HKEY_LOCAL_MACHINE, run_path, L"QvHklm").found);
    EXPECT_FALSE(read_value(HKEY_LOCAL_MACHINE, approved_path, L"QvHklmdisabled").found);
}

// The documented identifiers, from the real registry through the DLL.
TEST(E2eRunKeys, KnownIdentifiers) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"ExampleTool", L"ExampleSetup", L"Updater"});
    const char *once = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    struct row {
        HKEY root;
        const char *path, *name, *source, *id;
    } rows[] = {
        {HKEY_CURRENT_USER, run_path_a, "ExampleTool", "runkey", "runkey:ff3ae558395561a6"},
        {HKEY_LOCAL_MACHINE, once, "ExampleSetup", "runonce", "runonce:d86f47e2ac1c319b"},
        {HKEY_CURRENT_USER, run_path_a, "Updater", "runkey", "runkey:666f6c80186f1dab"},
        {HKEY_LOCAL_MACHINE, run_path_a, "Updater", "runkey", "runkey:f136c1eb4e5436e0"},
        {HKEY_CURRENT_USER, once, "Updater", "runonce", "runonce:18da1d5100b6bb9e"},
    };
    for (const row &r : rows) ASSERT_TRUE(write_a(r.root, r.name, REG_SZ, "C:\\x.exe", 9, r.path)) << r.id;
    std::vector<entry> entries = list_entries(dll);
    for (const row &r : rows) {
        bool found = false;
        for (const entry &e : entries) found = found || (e.id == r.id && e.name == r.name && e.source == r.source);
        EXPECT_TRUE(found) << r.id;
    }
}

// Policy values of both hives: listed after the RunOnce values, always on,
// by their UTF-8 names; a switch is refused both ways and writes nothing.
TEST(E2eRunKeys, PolicyValuesAreListedNeverSwitched) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    const std::wstring snowman = L"Caf\u00e9 \u2603";
    cleanup guard({L"ExamplePolicy", snowman, L"QvPolicyDword", L"QvOnce"});
    std::wstring command = L"%SystemRoot%\\system32\\notepad.exe";
    std::vector<BYTE> data = wide_bytes(command);
    DWORD one = 1;
    ASSERT_TRUE(
        write_w(HKEY_LOCAL_MACHINE, L"ExamplePolicy", REG_EXPAND_SZ, data.data(), (DWORD)data.size(), policy_path));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"ExamplePolicy", REG_SZ, data.data(), (DWORD)data.size(), policy_path));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, snowman, REG_SZ, data.data(), (DWORD)data.size(), policy_path));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvPolicyDword", REG_DWORD, &one, sizeof one, policy_path));
    ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvOnce", REG_SZ, data.data(), (DWORD)data.size(), runonce_path));
    std::vector<entry> entries = list_entries(dll);
    struct row {
        const char *name, *id;
    } rows[] = {
        // The user's hive first, each key's values in the registry's order (by name).
        {"Caf\xc3\xa9 \xe2\x98\x83", "policy:cff8d506595cfa14"},
        {"ExamplePolicy", "policy:6c3ff1ca16edbe0d"},
        {"ExamplePolicy", "policy:52046a381549ca9e"},
    };
    size_t once_at = entries.size(), at = 0;
    for (size_t i = 0; i < entries.size(); i++)
        if (entries[i].source == "runonce" && entries[i].name == "QvOnce") once_at = i;
    ASSERT_LT(once_at, entries.size());
    std::vector<entry> policies;
    for (size_t i = 0; i < entries.size(); i++)
        if (entries[i].source == "policy") {
            policies.push_back(entries[i]);
            if (!at) at = i;
        }
    ASSERT_EQ(policies.size(), 3u);
    EXPECT_GT(at, once_at);
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(policies[i].name, rows[i].name);
        EXPECT_EQ(policies[i].id, rows[i].id);
        EXPECT_EQ(policies[i].command, "%SystemRoot%\\system32\\notepad.exe");
        EXPECT_TRUE(policies[i].enabled);
    }
    for (const row &r : rows)
        for (int enabled : {0, 1}) {
            EXPECT_EQ(dll.set_enabled(r.id, enabled), 0);
            EXPECT_EQ(std::string(dll.last_error()),
                      "policy entries are set by an administrator's policy and cannot be toggled");
        }
    stored kept = read_value(HKEY_LOCAL_MACHINE, policy_path, L"ExamplePolicy");
    EXPECT_TRUE(kept.found && kept.type == REG_EXPAND_SZ && kept.data == data);
    EXPECT_TRUE(read_value(HKEY_CURRENT_USER, policy_path, snowman).found);
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, policy_path, snowman + L"disabled").found);
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, approved_path, L"ExamplePolicy").found);
}

// A current user's string value with a StartupApproved record beside it.
static bool put_with_record(const char *name, const char *command, const BYTE (&record)[12]) {
    return write_a(HKEY_CURRENT_USER, name, REG_SZ, command, (DWORD)strlen(command) + 1) &&
           write_a(HKEY_CURRENT_USER, name, REG_BINARY, record, sizeof record, approved_path_a);
}

// A value whose name is on but whose record marks it off (as the system's
// own switch leaves it) starts again once switched on: the record goes.
TEST(E2eRunKeys, OnRemovesAnOffRecordOfAnEnabledName) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvMarked"});
    const BYTE off[12] = {3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 1};
    ASSERT_TRUE(put_with_record("QvMarked", "C:\\m.exe", off));
    ASSERT_TRUE(read_value(HKEY_CURRENT_USER, approved_path, L"QvMarked").found);
    ASSERT_EQ(dll.set_enabled(run_id(1, "QvMarked").c_str(), 1), 1) << dll.last_error();
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, approved_path, L"QvMarked").found);
    EXPECT_TRUE(read_value(HKEY_CURRENT_USER, run_path, L"QvMarked").found);
}

// A value already named off whose record says on (the system's own switch
// set it on again) gets an off record when switched off.
TEST(E2eRunKeys, OffWritesAMissingOffRecordOfADisabledName) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    cleanup guard({L"QvNamedOffdisabled"});
    const BYTE on[12] = {2};
    ASSERT_TRUE(put_with_record("QvNamedOffdisabled", "C:\\n.exe", on));
    uint64_t before = file_time_now();
    ASSERT_EQ(dll.set_enabled(run_id(1, "QvNamedOffdisabled").c_str(), 0), 1) << dll.last_error();
    uint64_t after = file_time_now();
    expect_off_record(HKEY_CURRENT_USER, L"QvNamedOffdisabled", before, after);
    EXPECT_TRUE(read_value(HKEY_CURRENT_USER, run_path, L"QvNamedOffdisabled").found);
}

// Run values list and switch, byte-exact, whatever the ANSI code page: a
// name it holds exactly keeps the identifier of its 8-bit form, any other
// the wide one. ctest runs this once more in a prefix whose code page is
// UTF-8 (65001); QUORVEL_EXPECT_ACP names the code page a run must have.
TEST(E2eRunKeys, NamesListAndSwitchOnAnyCodePage) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    if (const char *want = getenv("QUORVEL_EXPECT_ACP")) {
        ASSERT_EQ(GetACP(), (UINT)atoi(want));
    }
    bool utf8 = GetACP() == CP_UTF8;
    cleanup guard({L"QvPlain", L"QvCaf\u00e9", L"QvSnow\u2603"});
    struct row {
        std::wstring name;
        const char *utf8, *cp1252;  // cp1252 null: not in that code page
    } rows[] = {
        {L"QvPlain", "QvPlain", "QvPlain"},
        {L"QvCaf\u00e9", "QvCaf\xc3\xa9", "QvCaf\xe9"},
        {L"QvSnow\u2603", "QvSnow\xe2\x98\x83", nullptr},
    };
    for (const row &r : rows) {
        std::vector<BYTE> data = wide_bytes(L"C:\\" + r.name + L".exe");
        ASSERT_TRUE(write_w(HKEY_CURRENT_USER, r.name, REG_SZ, data.data(), (DWORD)data.size()));
        std::string key_text = utf8 ? std::string("runkey|d1|") + run_path_a + "|" + r.utf8
                               : r.cp1252 ? std::string("runkey|d1|") + run_path_a + "|" + r.cp1252
                                          : std::string("runkey-w|d1|") + run_path_a + "|" + r.utf8;
        char id[64];
        snprintf(id, sizeof id, "runkey:%016llx", (unsigned long long)expected_hash(key_text));
        std::vector<entry> entries = list_entries(dll);
        const entry *e = find_entry(entries, r.utf8);
        ASSERT_TRUE(e) << r.utf8;
        EXPECT_EQ(e->id, id) << r.utf8;
        EXPECT_EQ(e->command, "C:\\" + std::string(r.utf8) + ".exe");
        ASSERT_EQ(dll.set_enabled(id, 0), 1) << dll.last_error();
        entries = list_entries(dll);
        const entry *off = find_entry(entries, std::string(r.utf8) + "disabled");
        ASSERT_TRUE(off) << r.utf8;
        ASSERT_EQ(dll.set_enabled(off->id.c_str(), 1), 1) << dll.last_error();
        EXPECT_EQ(read_value(HKEY_CURRENT_USER, run_path, r.name).data, data) << r.utf8;
    }
}

// A record written into a StartupApproved key that the switch had to create
// survives a restart of the registry's server: the key is not volatile.
// ctest runs this in two steps around `wineserver -k` (QUORVEL_RESTART_STEP
// "write", then "check"); alone it takes both steps in one run.
TEST(E2eRunKeys, RecordInACreatedKeySurvivesARestart) {
    const char *step_env = getenv("QUORVEL_RESTART_STEP");
    std::string step = step_env ? step_env : "";
    if (step != "check") {
        const quorvel_dll &dll = the_dll();
        ASSERT_TRUE(dll.ok()) << dll.failure;
        cleanup({L"QvRestart"});
        RegDeleteTreeW(HKEY_CURRENT_USER, approved_path);
        HKEY key = nullptr;
        ASSERT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, approved_path, 0, KEY_READ, &key), ERROR_SUCCESS);
        ASSERT_TRUE(write_w(HKEY_CURRENT_USER, L"QvRestart", REG_SZ, L"C:\\r.exe", 18));
        ASSERT_EQ(dll.set_enabled(run_id(1, "QvRestart").c_str(), 0), 1) << dll.last_error();
    }
    if (step != "write") {
        stored record = read_value(HKEY_CURRENT_USER, approved_path, L"QvRestartdisabled");
        cleanup guard({L"QvRestart"});
        ASSERT_TRUE(record.found);
        EXPECT_EQ(record.data.size(), 12u);
        EXPECT_EQ(record.data[0], 3);
    }
}

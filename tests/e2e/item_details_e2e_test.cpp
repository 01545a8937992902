// What each item is, through the DLL on the real platform: run values of
// every form, a shortcut and a scripted task start copies of two files
// built with version resources (detail_app.exe, detail_lib.dll), one built
// without (test_servers.dll) and files that are not there. Every value,
// file and folder a test makes is removed at its end.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>
#include <yyjson.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/dll.h"
#include "e2e/servers.h"
#include "e2e/shortcuts.h"
#include "test_support.h"

namespace {

const wchar_t run_path[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t root[] = L"C:\\quorvel-details";
const wchar_t common_startup[] = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";
const wchar_t link_name[] = L"QvDetailLink.lnk";

struct made {
    std::string location, scope, image;
    bool exists;
    std::string publisher, description;
    bool operator==(const made &o) const {
        return location == o.location && scope == o.scope && image == o.image && exists == o.exists &&
               publisher == o.publisher && description == o.description;
    }
};

std::ostream &operator<<(std::ostream &os, const made &m) {
    return os << "{" << m.location << " | " << m.scope << " | " << m.image << " | " << m.exists << " | "
              << m.publisher << " | " << m.description << "}";
}

// Each listed item's details by name, and the members' order of the first.
std::map<std::string, made> details_by_name(const std::string &text, std::string *order) {
    std::map<std::string, made> out;
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    size_t i, n;
    yyjson_val *obj;
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, obj) {
        auto text_of = [&](const char *key) {
            const char *s = yyjson_get_str(yyjson_obj_get(obj, key));
            return std::string(s ? s : "<none>");
        };
        yyjson_val *exists = yyjson_obj_get(obj, "image_exists");
        out[text_of("name")] = {text_of("location"),  text_of("scope"),     text_of("image"),
                                yyjson_is_true(exists), text_of("publisher"), text_of("description")};
        if (order->empty()) {
            yyjson_obj_iter it = yyjson_obj_iter_with(obj);
            for (yyjson_val *key; (key = yyjson_obj_iter_next(&it));) *order += std::string(yyjson_get_str(key)) + ",";
        }
    }
    yyjson_doc_free(doc);
    return out;
}

bool set_value(HKEY hive, REGSAM view, const wchar_t *name, const wchar_t *command) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(hive, run_path, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr)) return false;
    DWORD bytes = (DWORD)((wcslen(command) + 1) * sizeof(wchar_t));
    bool ok = RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)command, bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

void delete_value(HKEY hive, REGSAM view, const wchar_t *name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, run_path, 0, KEY_SET_VALUE | view, &key)) return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

// A run value per form: name, hive, view and command.
struct run_item {
    const wchar_t *name;
    HKEY hive;
    REGSAM view;
    const wchar_t *command;
};

const run_item run_items[] = {
    {L"QvQuoted", HKEY_CURRENT_USER, KEY_WOW64_64KEY,
     L"\"C:\\quorvel-details\\Acme Tool\\app.exe\" --tray"},
    {L"QvSpaces", HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"C:\\quorvel-details\\Acme Tool\\app.exe --tray"},
    {L"QvPrefix", HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"C:\\quorvel-details\\Prefix Dir\\tool.exe /x"},
    {L"QvVariable", HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"%QUORVEL_DETAILS%\\Acme Tool\\app.exe"},
    {L"QvBare", HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"qvdetail --start"},
    {L"QvBareMissing", HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"qvnosuchprogram --start"},
    {L"QvRundllQuoted", HKEY_CURRENT_USER, KEY_WOW64_64KEY,
     L"rundll32.exe \"C:\\quorvel-details\\Lib Dir\\detail lib.dll\",Entry 1"},
    {L"QvRundll", HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY,
     L"RUNDLL32 C:\\quorvel-details\\detail_lib.dll,Entry"},
    {L"QvScript", HKEY_CURRENT_USER, KEY_WOW64_64KEY,
     L"wscript.exe //B /nologo C:\\quorvel-details\\job.vbs arg"},
    {L"QvGone", HKEY_CURRENT_USER, KEY_WOW64_64KEY, L"C:\\quorvel-details\\gone\\gone.exe /x"},
};

class E2eDetails : public ::testing::Test {
  protected:
    const quorvel_dll &dll = the_dll();
    const test_servers &server = the_servers();
    wchar_t system[MAX_PATH] = {};

    std::wstring at(const wchar_t *rest) { return std::wstring(root) + L"\\" + rest; }
    std::wstring built(const wchar_t *file) { return test_program_folder() + file; }
    std::wstring bare_copy() { return std::wstring(system) + L"\\qvdetail.exe"; }

    void SetUp() override {
        ASSERT_TRUE(dll.ok()) << dll.failure;
        ASSERT_TRUE(server.ok()) << server.failure;
        server.reset();
        TearDown();
        GetSystemDirectoryW(system, MAX_PATH);
        // A 32-bit test program writes through Sysnative, so that the file
        // lands in the real system folder, where a run value's bare name is
        // looked up (a plain write would be redirected to SysWOW64).
        BOOL wow64 = FALSE;
        if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
            GetWindowsDirectoryW(system, MAX_PATH);
            wcscat_s(system, MAX_PATH, L"\\Sysnative");
        }
        for (const wchar_t *dir : {L"", L"Acme Tool", L"Prefix Dir", L"Lib Dir"})
            CreateDirectoryW(*dir ? at(dir).c_str() : root, nullptr);
        ASSERT_TRUE(CopyFileW(built(L"detail_app.exe").c_str(), at(L"Acme Tool\\app.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(built(L"test_servers.dll").c_str(), at(L"Prefix.exe").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(built(L"detail_lib.dll").c_str(), at(L"Lib Dir\\detail lib.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(built(L"detail_lib.dll").c_str(), at(L"detail_lib.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(built(L"detail_app.exe").c_str(), bare_copy().c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(built(L"test_servers.dll").c_str(), at(L"job.vbs").c_str(), FALSE));
        SetEnvironmentVariableW(L"QUORVEL_DETAILS", root);
        for (const run_item &r : run_items) ASSERT_TRUE(set_value(r.hive, r.view, r.name, r.command));
        ASSERT_TRUE(save_shortcut(std::wstring(common_startup) + L"\\" + link_name, at(L"Acme Tool\\app.exe").c_str(),
                                  L"--from-link"));
        int task = server.add_task(L"QvTask", L"\\QvTask", VARIANT_TRUE);
        server.add_trigger(task, 9);  // logon
        server.add_action(task, 0, L"\"%QUORVEL_DETAILS%\\Lib Dir\\detail lib.dll\"", L"-t");
    }

    void TearDown() override {
        for (const run_item &r : run_items) delete_value(r.hive, r.view, r.name);
        DeleteFileW((std::wstring(common_startup) + L"\\" + link_name).c_str());
        for (const wchar_t *file : {L"Acme Tool\\app.exe", L"Prefix.exe", L"Lib Dir\\detail lib.dll",
                                    L"detail_lib.dll", L"job.vbs"})
            DeleteFileW(at(file).c_str());
        if (system[0]) DeleteFileW(bare_copy().c_str());
        for (const wchar_t *dir : {L"Acme Tool", L"Prefix Dir", L"Lib Dir"}) RemoveDirectoryW(at(dir).c_str());
        RemoveDirectoryW(root);
        SetEnvironmentVariableW(L"QUORVEL_DETAILS", nullptr);
        if (server.ok()) server.reset();
    }
};

}  // namespace

TEST_F(E2eDetails, EveryFormOfItemTellsWhatItStarts) {
    const std::string hkcu = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string hklm = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string hklm32 = "HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string werk = "Werkst\xc3\xa4tten \xe2\x98\x83 GmbH", program = "Detail test program";
    const std::string labs = "Quorvel Test Labs", library = "Detail test library";
    const std::string app = "C:\\quorvel-details\\Acme Tool\\app.exe";
    struct row {
        const char *name;
        made expected;
    } rows[] = {
        {"QvQuoted", {hkcu, "user", app, true, werk, program}},
        {"QvSpaces", {hkcu, "user", app, true, werk, program}},
        {"QvPrefix", {hkcu, "user", "C:\\quorvel-details\\Prefix.exe", true, "", ""}},
        {"QvVariable", {hklm, "machine", app, true, werk, program}},
        {"QvBare", {hkcu, "user", "C:\\windows\\system32\\qvdetail.exe", true, werk, program}},
        {"QvBareMissing", {hkcu, "user", "qvnosuchprogram", false, "", ""}},
        {"QvRundllQuoted", {hkcu, "user", "C:\\quorvel-details\\Lib Dir\\detail lib.dll", true, labs, library}},
        {"QvRundll", {hklm32, "machine", "C:\\quorvel-details\\detail_lib.dll", true, labs, library}},
        {"QvScript", {hkcu, "user", "C:\\quorvel-details\\job.vbs", true, "", ""}},
        {"QvGone", {hkcu, "user", "C:\\quorvel-details\\gone\\gone.exe", false, "", ""}},
        {"QvDetailLink.lnk",
         {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp", "machine", app, true, werk, program}},
        {"QvTask", {"\\", "machine", "C:\\quorvel-details\\Lib Dir\\detail lib.dll", true, labs, library}},
    };
    std::string order;
    std::string text = dll.list_text();
    std::map<std::string, made> got = details_by_name(text, &order);
    EXPECT_EQ(order, "id,source,name,command,enabled,location,scope,image,image_exists,publisher,description,");
    for (const row &r : rows) {
        auto it = got.find(r.name);
        ASSERT_NE(it, got.end()) << r.name << " not listed: " << text;
        EXPECT_EQ(it->second, r.expected) << r.name;
    }
}

// The startup-folder provider through the DLL on real files: shortcuts
// saved with IShellLinkW + IPersistFile in the user's and the all-users
// Startup folders, listed, switched off and on, and checked on disk after
// every step. Every test removes what it made. The prefix serves the Shell
// Link through a counting wrapper (e2e/servers/), so each listing also
// shows that no shell link it made outlives it.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>
#include <yyjson.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/dll.h"
#include "e2e/servers.h"
#include "e2e/shortcuts.h"
#include "interface/entry_id.h"
#include "test_support.h"
#include "wine_links.h"

namespace {

const wchar_t user_suffix[] = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const wchar_t notepad[] = L"C:\\windows\\system32\\notepad.exe";

// Spelled out, so that the test program needs no import library for it.
const GUID folderid_common_startup = {0x82A5EA35, 0xD9CD, 0x47C5, {0x96, 0x29, 0xE1, 0x5D, 0x2F, 0x71, 0x4E, 0x6E}};

std::string utf8(const std::wstring &text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

// The folders as the library spells them.
std::wstring user_startup() {
    wchar_t profile[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, 0, profile) != S_OK) return L"";
    return std::wstring(profile) + user_suffix;
}

std::wstring common_startup() {
    PWSTR path = nullptr;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(folderid_common_startup, 0, nullptr, &path))) out = path;
    CoTaskMemFree(path);
    return out;
}

bool exists(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool write_file(const std::wstring &path, const char *bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes, (DWORD)strlen(bytes), &written, nullptr);
    CloseHandle(h);
    return ok && written == strlen(bytes);
}

// Everything a test made in one Startup folder, removed again at the end:
// the names in the folder and in its "disabled" subfolder (wherever the
// library left them), and the subfolder when the test brought it about.
struct folder_guard {
    std::wstring folder;
    bool had_disabled;
    bool made_ini = false;
    std::vector<std::wstring> names, dirs;

    explicit folder_guard(const std::wstring &f) : folder(f), had_disabled(exists(f + L"\\disabled")) {}
    ~folder_guard() {
        for (const auto &n : names) {
            DeleteFileW((folder + L"\\" + n).c_str());
            DeleteFileW((folder + L"\\disabled\\" + n).c_str());
        }
        for (const auto &d : dirs) RemoveDirectoryW((folder + L"\\" + d).c_str());
        if (made_ini) DeleteFileW((folder + L"\\desktop.ini").c_str());
        if (!had_disabled) RemoveDirectoryW((folder + L"\\disabled").c_str());
    }
    std::wstring path(const std::wstring &rest) const { return folder + L"\\" + rest; }
    std::wstring off(const std::wstring &name) const { return folder + L"\\disabled\\" + name; }

    bool shortcut(const std::wstring &name, const wchar_t *arguments, bool disabled = false) {
        names.push_back(name);
        if (disabled) CreateDirectoryW((folder + L"\\disabled").c_str(), nullptr);
        return save_shortcut(disabled ? off(name) : path(name), notepad, arguments);
    }
    bool garbage(const std::wstring &name, const char *bytes) {
        names.push_back(name);
        return write_file(path(name), bytes);
    }
    // The folder's desktop.ini, as Explorer keeps it; one already there stays.
    bool desktop_ini() {
        if (exists(path(L"desktop.ini"))) return true;
        made_ini = write_file(path(L"desktop.ini"), "[.ShellClassInfo]\r\nLocalizedResourceName=Startup\r\n");
        return made_ini;
    }
    bool directory(const std::wstring &name) {
        dirs.push_back(name);
        return CreateDirectoryW(path(name).c_str(), nullptr) != 0;
    }
};

struct entry {
    std::string id, source, name, command;
    bool has_command, enabled;
    std::string image;
};

std::vector<entry> parse(const std::string &text) {
    std::vector<entry> out;
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    size_t i, n;
    yyjson_val *obj;
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, obj) {
        auto text_of = [&](const char *key) {
            const char *s = yyjson_get_str(yyjson_obj_get(obj, key));
            return std::string(s ? s : "");
        };
        out.push_back({text_of("id"), text_of("source"), text_of("name"), text_of("command"),
                       yyjson_obj_get(obj, "command") != nullptr, yyjson_get_bool(yyjson_obj_get(obj, "enabled")),
                       text_of("image")});
    }
    yyjson_doc_free(doc);
    return out;
}

std::string id_of(const std::wstring &full_path) {
    char id[ENTRY_ID_SIZE];
    snprintf(id, sizeof id, "startup:%016llx", (unsigned long long)expected_hash(utf8(full_path), true));
    return id;
}

// Index of the startup entry with that identifier, or -1.
int find(const std::vector<entry> &entries, const std::wstring &full_path) {
    std::string id = id_of(full_path);
    for (size_t i = 0; i < entries.size(); i++)
        if (entries[i].source == "startup" && entries[i].id == id) return (int)i;
    return -1;
}

bool thread_without_com() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == S_OK;
}

class E2eStartup : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(the_dll().ok()) << the_dll().failure;
        ASSERT_FALSE(user_startup().empty());
        ASSERT_FALSE(common_startup().empty());
        ASSERT_TRUE(exists(user_startup())) << utf8(user_startup());
        ASSERT_TRUE(thread_without_com());
        ASSERT_TRUE(the_servers().ok()) << the_servers().failure;
    }
    std::vector<entry> list() const {
        std::vector<entry> entries = parse(the_dll().list_text());
        server_counts c = the_servers().counts();
        EXPECT_EQ(c.links, 0) << "shell links alive after a listing";
        EXPECT_EQ(c.late_releases, 0) << "released after leaving COM";
        return entries;
    }
    int set(const std::wstring &full_path, int enabled) const {
        return the_dll().set_enabled(id_of(full_path).c_str(), enabled);
    }
    std::string error() const { return the_dll().last_error(); }
};

}  // namespace

TEST_F(E2eStartup, ListsBothFoldersAndTheirDisabledSubfolders) {
    folder_guard user(user_startup()), common(common_startup());
    ASSERT_TRUE(user.shortcut(L"qv-Notes.lnk", L"/a \"b c\""));
    ASSERT_TRUE(user.shortcut(L"qv-Caf\u00e9.lnk", L""));
    ASSERT_TRUE(user.shortcut(L"qv-\u2603.lnk", L"-\u2603"));
    ASSERT_TRUE(user.garbage(L"qv-broken.lnk", "not a shortcut at all"));
    ASSERT_TRUE(user.garbage(L"qv-readme.txt", "hello"));
    ASSERT_TRUE(user.directory(L"qv-Tools.lnk"));
    ASSERT_TRUE(user.shortcut(L"qv-Old.lnk", L"--old", true));
    ASSERT_TRUE(common.shortcut(L"qv-Common.lnk", L"--all"));
    ASSERT_TRUE(common.shortcut(L"qv-CommonOff.lnk", L"", true));
    ASSERT_TRUE(user.garbage(L"qv-Tidy.bat", "@echo off\r\n"));
    ASSERT_TRUE(common.garbage(L"qv-Site.url", "[InternetShortcut]\r\nURL=http://localhost/\r\n"));
    ASSERT_TRUE(user.desktop_ini());
    ASSERT_TRUE(common.desktop_ini());

    the_servers().reset();
    auto entries = list();
    EXPECT_EQ(the_servers().counts().links_made, 7);  // one per .lnk file read, none for the others
    struct row {
        std::wstring path;
        const char *name;
        std::string command;
        bool enabled;
    } rows[] = {
        {user.path(L"qv-Notes.lnk"), "qv-Notes.lnk", utf8(notepad) + " /a \"b c\"", true},
        {user.path(L"qv-Caf\u00e9.lnk"), "qv-Caf\xc3\xa9.lnk", utf8(notepad), true},
        {user.path(L"qv-\u2603.lnk"), "qv-\xe2\x98\x83.lnk", utf8(notepad) + " -\xe2\x98\x83", true},
        {user.path(L"qv-broken.lnk"), "qv-broken.lnk", "", true},
        {user.off(L"qv-Old.lnk"), "qv-Old.lnk", utf8(notepad) + " --old", false},
        {common.path(L"qv-Common.lnk"), "qv-Common.lnk", utf8(notepad) + " --all", true},
        {common.off(L"qv-CommonOff.lnk"), "qv-CommonOff.lnk", utf8(notepad), false},
    };
    std::vector<int> at;
    for (const row &r : rows) {
        int i = find(entries, r.path);
        at.push_back(i);
        ASSERT_GE(i, 0) << r.name;
        EXPECT_EQ(entries[i].name, r.name);
        EXPECT_TRUE(entries[i].has_command) << r.name;
        EXPECT_EQ(entries[i].command, r.command) << r.name;
        EXPECT_EQ(entries[i].enabled, r.enabled) << r.name;
    }
    // Folder order: the user's, its subfolder, the all-users', its subfolder.
    for (int i = 0; i < 4; i++) EXPECT_LT(at[i], at[4]);
    EXPECT_LT(at[4], at[5]);
    EXPECT_LT(at[5], at[6]);
    // Any other file is its own command and image, and exists.
    for (const std::wstring &path :
         {user.path(L"qv-readme.txt"), user.path(L"qv-Tidy.bat"), common.path(L"qv-Site.url")}) {
        int i = find(entries, path);
        ASSERT_GE(i, 0) << utf8(path);
        EXPECT_EQ(entries[i].command, utf8(path));
        EXPECT_EQ(entries[i].image, utf8(path));
        EXPECT_TRUE(entries[i].enabled) << utf8(path);
    }
    for (const auto &e : entries) {
        EXPECT_NE(e.name, "qv-Tools.lnk");
        EXPECT_FALSE(e.source == "startup" && (e.name == "desktop.ini" || e.name == "disabled")) << e.name;
    }
    EXPECT_TRUE(thread_without_com());
}

TEST_F(E2eStartup, SwitchesOffAndOnWithFilesOnDisk) {
    folder_guard user(user_startup()), common(common_startup());
    ASSERT_FALSE(user.had_disabled) << "a disabled subfolder is already there";
    std::vector<std::pair<const folder_guard *, std::wstring>> items = {
        {&user, L"qv-Notes.lnk"}, {&user, L"qv-Caf\u00e9.lnk"}, {&user, L"qv-\u2603.lnk"},
        {&user, L"qv-broken.lnk"}, {&common, L"qv-Common.lnk"}, {&user, L"qv-Tidy.bat"},
        {&user, L"qv-Site.url"},  {&common, L"qv-Sync.bat"},    {&common, L"qv-Page.url"}};
    ASSERT_TRUE(user.desktop_ini());
    ASSERT_TRUE(common.desktop_ini());
    for (const auto &item : items) {
        bool link = item.second.size() > 4 && item.second.substr(item.second.size() - 4) == L".lnk";
        if (item.second == L"qv-broken.lnk" || !link) {
            ASSERT_TRUE((item.first == &user ? user : common).garbage(item.second, "\x01\x02garbage"));
        } else {
            ASSERT_TRUE((item.first == &user ? user : common).shortcut(item.second, L"-x"));
        }
    }
    for (const auto &item : items) {
        const folder_guard &f = *item.first;
        std::string name = utf8(item.second);
        ASSERT_EQ(set(f.path(item.second), 0), 1) << name << ": " << error();
        EXPECT_FALSE(exists(f.path(item.second))) << name;
        EXPECT_TRUE(exists(f.off(item.second))) << name;
        auto entries = list();
        int i = find(entries, f.off(item.second));
        ASSERT_GE(i, 0) << name;
        EXPECT_FALSE(entries[i].enabled) << name;
        EXPECT_EQ(find(entries, f.path(item.second)), -1) << name;
        EXPECT_EQ(set(f.path(item.second), 1), 0) << name;
        EXPECT_EQ(error(), "startup: entry no longer exists");

        ASSERT_EQ(set(f.off(item.second), 1), 1) << name << ": " << error();
        EXPECT_TRUE(exists(f.path(item.second))) << name;
        EXPECT_FALSE(exists(f.off(item.second))) << name;
        entries = list();
        i = find(entries, f.path(item.second));
        ASSERT_GE(i, 0) << name;
        EXPECT_TRUE(entries[i].enabled) << name;
    }
    // Switching on left the user's subfolder empty, so it went; desktop.ini
    // was never moved.
    EXPECT_FALSE(exists(user.path(L"disabled")));
    EXPECT_TRUE(exists(user.path(L"desktop.ini")));
    EXPECT_TRUE(exists(common.path(L"desktop.ini")));
    // Already in the wanted state: nothing to do.
    EXPECT_EQ(set(user.path(L"qv-Notes.lnk"), 1), 1) << error();
    EXPECT_FALSE(exists(user.path(L"disabled")));
}

TEST_F(E2eStartup, SubfolderWithOtherFilesStays) {
    folder_guard user(user_startup());
    ASSERT_TRUE(user.shortcut(L"qv-Keep.lnk", L"", true));
    ASSERT_TRUE(user.shortcut(L"qv-Back.lnk", L"", true));
    ASSERT_EQ(set(user.off(L"qv-Back.lnk"), 1), 1) << error();
    EXPECT_TRUE(exists(user.path(L"qv-Back.lnk")));
    EXPECT_TRUE(exists(user.off(L"qv-Keep.lnk")));
}

TEST_F(E2eStartup, DisabledNameTakenRefusesBothWays) {
    folder_guard user(user_startup());
    ASSERT_TRUE(user.shortcut(L"qv-Dup.lnk", L"--new"));
    ASSERT_TRUE(user.shortcut(L"qv-Dup.lnk", L"--old", true));
    EXPECT_EQ(set(user.path(L"qv-Dup.lnk"), 0), 0);
    EXPECT_EQ(error(), "startup: cannot disable \xe2\x80\x94 '" + utf8(user.off(L"qv-Dup.lnk")) + "' already exists");
    EXPECT_EQ(set(user.off(L"qv-Dup.lnk"), 1), 0);
    EXPECT_EQ(error(), "startup: cannot enable \xe2\x80\x94 '" + utf8(user.path(L"qv-Dup.lnk")) + "' already exists");
    auto entries = list();
    int on = find(entries, user.path(L"qv-Dup.lnk")), off = find(entries, user.off(L"qv-Dup.lnk"));
    ASSERT_GE(on, 0);
    ASSERT_GE(off, 0);
    EXPECT_EQ(entries[on].command, utf8(notepad) + " --new");
    EXPECT_EQ(entries[off].command, utf8(notepad) + " --old");
}

namespace {

// Points the profile folders of the machine elsewhere for one test and
// puts the old value back, whatever the test does.
struct profiles_directory_override {
    HKEY key = nullptr;
    wchar_t old[MAX_PATH] = {};
    DWORD old_size = sizeof old, old_type = 0;
    bool set = false;

    explicit profiles_directory_override(const std::wstring &folder) {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, &key))
            return;
        if (RegQueryValueExW(key, L"ProfilesDirectory", nullptr, &old_type, (BYTE *)old, &old_size)) return;
        set = !RegSetValueExW(key, L"ProfilesDirectory", 0, REG_SZ, (const BYTE *)folder.c_str(),
                              (DWORD)((folder.size() + 1) * sizeof(wchar_t)));
    }
    ~profiles_directory_override() {
        if (set) RegSetValueExW(key, L"ProfilesDirectory", 0, old_type, (const BYTE *)old, old_size);
        if (key) RegCloseKey(key);
    }
};

// Directories made for one test, removed (when empty) in reverse order.
struct directories_guard {
    std::vector<std::wstring> made;
    bool make(const std::wstring &d) {
        made.push_back(d);
        return CreateDirectoryW(d.c_str(), nullptr) || exists(d);
    }
    ~directories_guard() {
        for (auto d = made.rbegin(); d != made.rend(); ++d) RemoveDirectoryW(d->c_str());
    }
};

}  // namespace

// Wine builds the profile path from the ProfileList's ProfilesDirectory and
// answers only when that folder exists; pointing it at a folder with
// non-ASCII letters for one test gives such a profile.
TEST_F(E2eStartup, NonAsciiProfilePath) {
    const std::wstring profiles = L"C:\\users\\qv-Zo\u00eb";
    wchar_t user_name[256];
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user_name, &size));
    {
        directories_guard dirs;
        std::wstring folder = profiles;
        ASSERT_TRUE(dirs.make(folder));
        for (const wchar_t *part : {L"", L"\\AppData", L"\\Roaming", L"\\Microsoft", L"\\Windows", L"\\Start Menu",
                                    L"\\Programs", L"\\Startup"}) {
            folder += *part ? std::wstring(part) : L"\\" + std::wstring(user_name);
            ASSERT_TRUE(dirs.make(folder)) << utf8(folder);
        }
        profiles_directory_override override_profiles(profiles);
        ASSERT_TRUE(override_profiles.set);
        folder_guard user(folder);
        ASSERT_EQ(user_startup(), folder);
        ASSERT_TRUE(user.shortcut(L"Caf\u00e9.lnk", L"-p"));
        ASSERT_TRUE(user.shortcut(L"\u2603.lnk", L""));
        auto entries = list();
        for (const wchar_t *name : {L"Caf\u00e9.lnk", L"\u2603.lnk"}) {
            int i = find(entries, user.path(name));
            ASSERT_GE(i, 0) << utf8(name);
            EXPECT_EQ(entries[i].name, utf8(name));
            EXPECT_TRUE(entries[i].enabled);
            EXPECT_EQ(set(user.path(name), 0), 1) << error();
            EXPECT_TRUE(exists(user.off(name))) << utf8(name);
            EXPECT_EQ(set(user.off(name), 1), 1) << error();
            EXPECT_TRUE(exists(user.path(name))) << utf8(name);
        }
        EXPECT_FALSE(exists(user.path(L"disabled")));
    }
    EXPECT_FALSE(exists(profiles));
    EXPECT_EQ(utf8(user_startup()).find("qv-"), std::string::npos);
}

// An off StartupFolder record (written as Windows' tools write it) lists a
// shortcut of its folder as off; switching on removes it, in place or
// after the move back, and leaves an on record alone.
TEST_F(E2eStartup, StartupFolderRecordsDecideTheState) {
    folder_guard user(user_startup()), common(common_startup());
    const wchar_t *records = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
    struct row {
        const folder_guard *folder;
        HKEY hive;
        const wchar_t *name;
        BYTE first;
        bool in_disabled;
    } rows[] = {
        {&user, HKEY_CURRENT_USER, L"qv-Rec3.lnk", 3, false},
        {&common, HKEY_LOCAL_MACHINE, L"qv-Rec7.lnk", 7, false},
        {&user, HKEY_CURRENT_USER, L"qv-Rec2.lnk", 2, false},
        {&user, HKEY_CURRENT_USER, L"qv-RecOff.lnk", 3, true},
    };
    auto record_of = [&](HKEY hive, const wchar_t *name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(hive, records, 0, KEY_READ | KEY_WOW64_64KEY, &key)) return false;
        bool found = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        return found;
    };
    for (const row &r : rows) {
        ASSERT_TRUE((r.folder == &user ? user : common).shortcut(r.name, L"", r.in_disabled));
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(r.hive, records, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                                  nullptr), 0);
        const BYTE record[12] = {r.first, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 1};
        RegSetValueExW(key, r.name, 0, REG_BINARY, record, sizeof record);
        RegCloseKey(key);
    }
    auto entries = list();
    for (const row &r : rows) {
        std::wstring at = r.in_disabled ? r.folder->off(r.name) : r.folder->path(r.name);
        int i = find(entries, at);
        ASSERT_GE(i, 0) << utf8(r.name);
        EXPECT_EQ(entries[i].enabled, r.first == 2) << utf8(r.name);
        ASSERT_EQ(set(at, 1), 1) << utf8(r.name) << ": " << error();
        EXPECT_TRUE(exists(r.folder->path(r.name))) << utf8(r.name);
        EXPECT_EQ(record_of(r.hive, r.name), r.first == 2) << utf8(r.name);
    }
    entries = list();
    for (const row &r : rows) EXPECT_TRUE(entries[find(entries, r.folder->path(r.name))].enabled) << utf8(r.name);
    for (const row &r : rows) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(r.hive, records, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key)) continue;
        RegDeleteValueW(key, r.name);
        RegCloseKey(key);
    }
}

namespace {

// The names in a folder, sorted, "." and ".." left out.
std::vector<std::wstring> names_in(const std::wstring &folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// The user's "disabled" subfolder swapped for a link to a folder outside
// the profile: its files are not listed, and no switch moves a file into
// or out of it.
TEST_F(E2eStartup, ALinkedSubfolderIsNeverSwitchedThrough) {
    folder_guard user(user_startup());
    ASSERT_FALSE(user.had_disabled);
    directories_guard dirs;
    ASSERT_TRUE(dirs.make(L"C:\\qv-victim"));
    folder_guard victim(L"C:\\qv-victim");
    ASSERT_TRUE(victim.shortcut(L"qv-Prot.lnk", L"--protected"));
    ASSERT_TRUE(user.shortcut(L"qv-Evil.lnk", L"--evil"));
    folder_link link(user.path(L"disabled"), L"C:\\qv-victim");  // gone before the guards clean up
    ASSERT_TRUE(link.made);
    ASSERT_EQ(GetFileAttributesW(user.path(L"disabled").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT,
              (DWORD)FILE_ATTRIBUTE_REPARSE_POINT);

    auto entries = list();
    EXPECT_GE(find(entries, user.path(L"qv-Evil.lnk")), 0);
    EXPECT_EQ(find(entries, user.off(L"qv-Prot.lnk")), -1);
    const std::string disabled = utf8(user.path(L"disabled"));
    EXPECT_EQ(error(), "startup: '" + disabled + "' is a link (reparse point); its files are not listed");
    const std::string refused = "startup: refused \xe2\x80\x94 '" + disabled + "' is a link (reparse point)";
    EXPECT_EQ(set(user.path(L"qv-Evil.lnk"), 0), 0);
    EXPECT_EQ(error(), refused);
    EXPECT_EQ(set(user.path(L"qv-Evil.lnk"), 1), 0);
    EXPECT_EQ(error(), refused);
    EXPECT_EQ(set(user.off(L"qv-Prot.lnk"), 1), 0);
    EXPECT_EQ(error(), "startup: entry no longer exists");
    EXPECT_TRUE(exists(user.path(L"qv-Evil.lnk")));
    EXPECT_FALSE(exists(user.path(L"qv-Prot.lnk")));
    EXPECT_EQ(names_in(L"C:\\qv-victim"), std::vector<std::wstring>{L"qv-Prot.lnk"});
}

// A Startup folder that is a link is listed as Windows starts it, but its
// shortcuts are not switched: nothing moves and nothing is made there.
TEST_F(E2eStartup, AStartupFolderThatIsALinkIsListedNotSwitched) {
    const std::wstring profiles = L"C:\\users\\qv-linked";
    wchar_t user_name[256];
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user_name, &size));
    directories_guard dirs;
    std::wstring programs = profiles;
    ASSERT_TRUE(dirs.make(programs));
    for (const wchar_t *part :
         {L"", L"\\AppData", L"\\Roaming", L"\\Microsoft", L"\\Windows", L"\\Start Menu", L"\\Programs"}) {
        programs += *part ? std::wstring(part) : L"\\" + std::wstring(user_name);
        ASSERT_TRUE(dirs.make(programs)) << utf8(programs);
    }
    ASSERT_TRUE(dirs.make(L"C:\\qv-elsewhere"));
    folder_guard elsewhere(L"C:\\qv-elsewhere");
    ASSERT_TRUE(elsewhere.shortcut(L"qv-Linked.lnk", L"-l"));
    ASSERT_TRUE(elsewhere.shortcut(L"qv-LinkedOff.lnk", L"", true));
    profiles_directory_override override_profiles(profiles);
    ASSERT_TRUE(override_profiles.set);
    folder_link link(programs + L"\\Startup", L"C:\\qv-elsewhere");
    ASSERT_TRUE(link.made);
    const std::wstring folder = user_startup();
    ASSERT_EQ(folder, programs + L"\\Startup");

    auto entries = list();
    int on = find(entries, folder + L"\\qv-Linked.lnk"), off = find(entries, folder + L"\\disabled\\qv-LinkedOff.lnk");
    ASSERT_GE(on, 0);
    ASSERT_GE(off, 0);
    EXPECT_TRUE(entries[on].enabled);
    EXPECT_FALSE(entries[off].enabled);
    const std::string refused = "startup: refused \xe2\x80\x94 '" + utf8(folder) + "' is a link (reparse point)";
    EXPECT_EQ(set(folder + L"\\qv-Linked.lnk", 0), 0);
    EXPECT_EQ(error(), refused);
    EXPECT_EQ(set(folder + L"\\disabled\\qv-LinkedOff.lnk", 1), 0);
    EXPECT_EQ(error(), refused);
    EXPECT_EQ(names_in(L"C:\\qv-elsewhere"), (std::vector<std::wstring>{L"disabled", L"qv-Linked.lnk"}));
    EXPECT_EQ(names_in(L"C:\\qv-elsewhere\\disabled"), std::vector<std::wstring>{L"qv-LinkedOff.lnk"});
}

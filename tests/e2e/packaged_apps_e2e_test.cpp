// Packaged apps' startup tasks through the DLL on Wine's registry and
// files: a package registered in the prefix with a manifest on disk is
// listed, switched both ways through its State values, and a policy's
// state is refused.
#include <windows.h>

#include <string>
#include <vector>

#include "e2e/dll.h"
#include "providers/packaged_apps_support.h"
#include "test_support.h"

namespace {

const char appmodel[] = "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel";
const char full_name[] = "Contoso.Chat_2.4.0.0_x64__8wekyb3d8bbwe";
const char folder[] = "C:\\QuorvelPackages\\Contoso.Chat_2.4.0.0_x64__8wekyb3d8bbwe";
// package|Contoso.Chat_8wekyb3d8bbwe|ChatStartup and ...|TrayStartup, folded and hashed.
const char chat_id[] = "package:8d736c4eb995554f";
const char tray_id[] = "package:e2f80fe802d4e95d";

const char manifest[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Package xmlns=\"http://schemas.microsoft.com/appx/manifest/foundation/windows10\"\r\n"
    "  xmlns:uap5=\"http://schemas.microsoft.com/appx/manifest/uap/windows10/5\"\r\n"
    "  xmlns:desktop=\"http://schemas.microsoft.com/appx/manifest/desktop/windows10\">\r\n"
    "  <Properties><DisplayName>Contoso Chat</DisplayName>\r\n"
    "    <PublisherDisplayName>Contoso Ltd</PublisherDisplayName></Properties>\r\n"
    "  <Applications><Application Id=\"App\" Executable=\"Chat\\Chat.exe\"><Extensions>\r\n"
    "    <uap5:Extension Category=\"windows.startupTask\">\r\n"
    "      <uap5:StartupTask TaskId=\"ChatStartup\" Enabled=\"true\" DisplayName=\"Contoso Chat\"/>\r\n"
    "    </uap5:Extension>\r\n"
    "    <desktop:Extension Category=\"windows.startupTask\" Executable=\"Tray\\Tray.exe\">\r\n"
    "      <desktop:StartupTask TaskId=\"TrayStartup\" Enabled=\"false\" DisplayName=\"ms-resource:TrayName\"/>\r\n"
    "    </desktop:Extension>\r\n"
    "  </Extensions></Application></Applications>\r\n"
    "</Package>\r\n";

std::string state_key(const char *task) {
    return std::string(appmodel) + "\\SystemAppData\\Contoso.Chat_8wekyb3d8bbwe\\" + task;
}

bool write_file(const std::string &path, const std::string &bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(f, bytes.data(), (DWORD)bytes.size(), &written, nullptr) && written == bytes.size();
    CloseHandle(f);
    return ok;
}

// The package registered with its folder, manifest and program for one
// test, and all of it gone afterwards.
struct package_guard {
    bool made = false;
    package_guard() {
        std::string key = std::string(appmodel) + "\\Repository\\Packages\\" + full_name;
        HKEY k = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr))
            return;
        LONG e = RegSetValueExA(k, "PackageRootFolder", 0, REG_SZ, (const BYTE *)folder, sizeof folder);
        RegCloseKey(k);
        CreateDirectoryA("C:\\QuorvelPackages", nullptr);
        CreateDirectoryA(folder, nullptr);
        CreateDirectoryA((std::string(folder) + "\\Chat").c_str(), nullptr);
        made = e == ERROR_SUCCESS && write_file(std::string(folder) + "\\AppxManifest.xml", manifest) &&
               write_file(std::string(folder) + "\\Chat\\Chat.exe", "MZ");
    }
    ~package_guard() {
        RegDeleteTreeA(HKEY_CURRENT_USER, appmodel);
        DeleteFileA((std::string(folder) + "\\AppxManifest.xml").c_str());
        DeleteFileA((std::string(folder) + "\\Chat\\Chat.exe").c_str());
        RemoveDirectoryA((std::string(folder) + "\\Chat").c_str());
        RemoveDirectoryA(folder);
        RemoveDirectoryA("C:\\QuorvelPackages");
    }
};

// The State value, or -1 when there is none.
long long state_of(const char *task) {
    DWORD value = 0, size = sizeof value, type = 0;
    LONG e = RegGetValueA(HKEY_CURRENT_USER, state_key(task).c_str(), "State", RRF_RT_ANY, &type, &value, &size);
    return e == ERROR_SUCCESS && type == REG_DWORD ? (long long)value : -1;
}

void put_state(const char *task, DWORD state) {
    RegSetKeyValueA(HKEY_CURRENT_USER, state_key(task).c_str(), "State", REG_DWORD, &state, sizeof state);
}

std::vector<package_row> package_rows(const quorvel_dll &dll) { return package_rows_of(dll.list_text()); }

}  // namespace

TEST(E2ePackages, ListedAndSwitchedThroughState) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    EXPECT_TRUE(package_rows(dll).empty());
    package_guard package;
    ASSERT_TRUE(package.made);

    std::vector<package_row> rows = package_rows(dll);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].id, chat_id);
    EXPECT_EQ(rows[0].name, "Contoso Chat");
    EXPECT_EQ(rows[0].command, std::string(folder) + "\\Chat\\Chat.exe");
    EXPECT_EQ(rows[0].image, rows[0].command);
    EXPECT_TRUE(rows[0].image_exists);
    EXPECT_TRUE(rows[0].enabled);
    EXPECT_EQ(rows[0].location, "Contoso.Chat_8wekyb3d8bbwe");
    EXPECT_EQ(rows[0].scope, "user");
    EXPECT_EQ(rows[0].publisher, "Contoso Ltd");
    EXPECT_EQ(rows[0].description, "Contoso Chat");
    EXPECT_EQ(rows[1].id, tray_id);
    EXPECT_EQ(rows[1].name, "TrayStartup");  // Wine has no package resources to resolve it in
    EXPECT_EQ(rows[1].command, std::string(folder) + "\\Tray\\Tray.exe");
    EXPECT_FALSE(rows[1].image_exists);
    EXPECT_FALSE(rows[1].enabled);

    EXPECT_EQ(dll.set_enabled(chat_id, 0), 1) << dll.last_error();
    EXPECT_EQ(state_of("ChatStartup"), 1);
    EXPECT_EQ(dll.set_enabled(tray_id, 1), 1) << dll.last_error();
    EXPECT_EQ(state_of("TrayStartup"), 2);
    rows = package_rows(dll);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_FALSE(rows[0].enabled);
    EXPECT_TRUE(rows[1].enabled);
    EXPECT_EQ(dll.set_enabled(chat_id, 1), 1) << dll.last_error();
    EXPECT_EQ(state_of("ChatStartup"), 2);

    put_state("TrayStartup", 3);
    EXPECT_EQ(dll.set_enabled(tray_id, 1), 0);
    EXPECT_STREQ(dll.last_error(), "package: 'TrayStartup' is set by policy and cannot be switched");
    EXPECT_EQ(state_of("TrayStartup"), 3);
    EXPECT_FALSE(package_rows(dll)[1].enabled);
}

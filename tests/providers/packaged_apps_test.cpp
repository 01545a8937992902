// Packaged apps' startup tasks over the in-memory machine: what a listed
// task holds, its State against the manifest's Enabled, switching both
// ways, and the manifest forms that contribute nothing but cost nothing.
#include <cstring>
#include <vector>

#include "platform/last_error.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_packages.h"
#include "platform/mem/mem_registry.h"
#include "providers/package_manifest.h"
#include "providers/packaged_apps_support.h"
#include "test_support.h"

namespace {

const std::string appmodel = "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel";
const std::string packages = appmodel + "\\Repository\\Packages\\";
const char chat_full[] = "Contoso.Chat_2.4.0.0_x64__8wekyb3d8bbwe";
const char chat_folder[] = "C:\\Program Files\\WindowsApps\\Contoso.Chat_2.4.0.0_x64__8wekyb3d8bbwe";
const char chat_id[] = "package:8d736c4eb995554f";  // package|Contoso.Chat_8wekyb3d8bbwe|ChatStartup, folded
const char tray_id[] = "package:e2f80fe802d4e95d";  // ...|TrayStartup
const char music_id[] = "package:2473666af69417cd";  // package|Fabrikam.Music_1a2b3c4d5e6f7|MusicStartup

std::vector<package_row> package_rows() { return package_rows_of(list_text()); }

std::string chat_task(const char *id, const char *enabled, const char *name = "Contoso Chat",
                      const char *exe = "") {
    return std::string("<uap5:Extension Category=\"windows.startupTask\"") + (*exe ? " Executable=\"" : "") + exe +
           (*exe ? "\"" : "") + "><uap5:StartupTask TaskId=\"" + id + "\" Enabled=\"" + enabled +
           "\" DisplayName=\"" + name + "\"/></uap5:Extension>";
}

std::string manifest(const std::string &extensions, const char *app_exe = "Chat\\Chat.exe") {
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                       "<Package xmlns=\"http://schemas.microsoft.com/appx/manifest/foundation/windows10\" "
                       "xmlns:uap5=\"http://schemas.microsoft.com/appx/manifest/uap/windows10/5\">"
                       "<Properties><DisplayName>Contoso Chat</DisplayName>"
                       "<PublisherDisplayName>Contoso Ltd</PublisherDisplayName></Properties>"
                       "<Applications><Application Id=\"App\" Executable=\"") +
           app_exe + "\"><Extensions>" + extensions + "</Extensions></Application></Applications></Package>";
}

void add_package(const char *full, const char *folder, const std::string *bytes) {
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, (packages + full).c_str(), "PackageRootFolder", folder);
    if (bytes) mem_files_add_data((std::string(folder) + "\\AppxManifest.xml").c_str(), *bytes);
}

std::string state_key(const char *task, const char *family = "Contoso.Chat_8wekyb3d8bbwe") {
    return appmodel + "\\SystemAppData\\" + family + "\\" + task;
}

void put_state(const char *task, uint32_t state) {
    mem_reg_put_a(PLAT_HKEY_CURRENT_USER, state_key(task).c_str(), "State", PLAT_REG_DWORD, &state, 4);
}

// The State value, or -1 when there is none.
int64_t state_of(const char *task) {
    mem_reg_value v;
    if (!mem_reg_find(PLAT_HKEY_CURRENT_USER, state_key(task).c_str(), "State", &v) || v.data.size() != 4) return -1;
    return v.data[0] | v.data[1] << 8 | v.data[2] << 16 | (int64_t)v.data[3] << 24;
}

}  // namespace

using PackageTest = MachineTest;

TEST_F(PackageTest, ListsEachTaskWithItsMembers) {
    std::string chat = manifest(chat_task("ChatStartup", "true") +
                                chat_task("TrayStartup", "false", "ms-resource:TrayName", "Tray/tray.exe"));
    std::string music = manifest(chat_task("MusicStartup", "true", "ms-resource:Missing"), "Music.exe");
    add_package("Fabrikam.Music_1.0.0.0_neutral_~_1a2b3c4d5e6f7", "D:\\Apps\\Music", &music);
    add_package(chat_full, chat_folder, &chat);
    mem_files_add_file((std::string(chat_folder) + "\\Chat\\Chat.exe").c_str());
    mem_packages_set_indirect("@{Contoso.Chat_2.4.0.0_x64__8wekyb3d8bbwe?ms-resource:TrayName}", "Chat in the tray");
    std::vector<package_row> rows = package_rows();
    ASSERT_EQ(rows.size(), 3u);
    // Packages in the registry's order (by upper-case name), tasks in manifest order.
    EXPECT_EQ(rows[0].id, chat_id);
    EXPECT_EQ(rows[0].name, "Contoso Chat");
    EXPECT_EQ(rows[0].command, std::string(chat_folder) + "\\Chat\\Chat.exe");
    EXPECT_EQ(rows[0].image, rows[0].command);
    EXPECT_TRUE(rows[0].image_exists);
    EXPECT_TRUE(rows[0].enabled);
    EXPECT_EQ(rows[0].location, "Contoso.Chat_8wekyb3d8bbwe");
    EXPECT_EQ(rows[0].scope, "user");
    EXPECT_EQ(rows[0].publisher, "Contoso Ltd");
    EXPECT_EQ(rows[0].description, "Contoso Chat");
    EXPECT_EQ(rows[1].id, tray_id);
    EXPECT_EQ(rows[1].name, "Chat in the tray");
    EXPECT_EQ(rows[1].command, std::string(chat_folder) + "\\Tray\\tray.exe");
    EXPECT_FALSE(rows[1].image_exists);
    EXPECT_FALSE(rows[1].enabled);
    EXPECT_EQ(rows[2].id, music_id);
    EXPECT_EQ(rows[2].name, "MusicStartup");  // the reference does not resolve
    EXPECT_EQ(rows[2].command, "D:\\Apps\\Music\\Music.exe");
    EXPECT_EQ(rows[2].location, "Fabrikam.Music_1a2b3c4d5e6f7");
    EXPECT_EQ(mem_files_open_handles(), 0);
    EXPECT_EQ(mem_reg_open_handles(), 0);
}

TEST_F(PackageTest, StateDecidesElseTheManifest) {
    struct {
        int64_t state;  // -1: no State value
        const char *manifest_enabled;
        bool listed;
    } rows[] = {{-1, "true", true}, {-1, "false", false}, {-1, "1", true}, {-1, "yes", false},
                {0, "true", false}, {1, "true", false},   {2, "false", true}, {3, "true", false},
                {4, "false", true}, {7, "true", true},    {7, "false", false}};
    for (auto &r : rows) {
        mem_reset();
        std::string m = manifest(chat_task("ChatStartup", r.manifest_enabled));
        add_package(chat_full, chat_folder, &m);
        if (r.state >= 0) put_state("ChatStartup", (uint32_t)r.state);
        std::vector<package_row> listed = package_rows();
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].enabled, r.listed) << r.state << " " << r.manifest_enabled;
    }
}

TEST_F(PackageTest, SwitchWritesStateOnlyWhenItChanges) {
    struct {
        int64_t before;
        const char *manifest_enabled;
        int wanted;
        int result;
        int64_t after;
        const char *message;
    } rows[] = {
        {-1, "false", 1, 1, 2, "before"},  {-1, "true", 0, 1, 1, "before"},  {-1, "true", 1, 1, -1, "before"},
        {-1, "false", 0, 1, -1, "before"}, {1, "true", 1, 1, 2, "before"},   {2, "false", 0, 1, 1, "before"},
        {2, "false", 1, 1, 2, "before"},   {0, "true", 0, 1, 0, "before"},   {0, "true", 1, 1, 2, "before"},
        {3, "true", 1, 0, 3, "package: 'Contoso Chat' is set by policy and cannot be switched"},
        {4, "true", 0, 0, 4, "package: 'Contoso Chat' is set by policy and cannot be switched"},
    };
    for (auto &r : rows) {
        mem_reset();
        std::string m = manifest(chat_task("ChatStartup", r.manifest_enabled));
        add_package(chat_full, chat_folder, &m);
        if (r.before >= 0) put_state("ChatStartup", (uint32_t)r.before);
        set_last_error("before");
        std::string where = std::to_string(r.before) + r.manifest_enabled + "->" + std::to_string(r.wanted);
        EXPECT_EQ(quorvel_set_enabled(chat_id, r.wanted), r.result) << where;
        EXPECT_EQ(state_of("ChatStartup"), r.after) << where;
        EXPECT_STREQ(quorvel_last_error(), r.message) << where;
        EXPECT_EQ(mem_calls("RegSetValueExW"), r.after != r.before ? 1 : 0) << where;
        EXPECT_EQ(package_rows()[0].id, chat_id) << where;
    }
}

TEST_F(PackageTest, GoneOrUnwritableAnswersWhy) {
    EXPECT_EQ(quorvel_set_enabled(chat_id, 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "package: entry no longer exists");
    std::string m = manifest(chat_task("Other", "true"));
    add_package(chat_full, chat_folder, &m);
    EXPECT_EQ(quorvel_set_enabled(chat_id, 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "package: entry no longer exists");
    EXPECT_EQ(quorvel_set_enabled("package:8D736C4EB995554F", 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "bad id format");
    m = manifest(chat_task("ChatStartup", "true"));
    add_package(chat_full, chat_folder, &m);
    mem_reg_deny_writes(PLAT_HKEY_CURRENT_USER, (appmodel + "\\SystemAppData").c_str());
    EXPECT_EQ(quorvel_set_enabled(chat_id, 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "package: writing State access denied");
    EXPECT_EQ(state_of("ChatStartup"), -1);
    EXPECT_EQ(mem_reg_open_handles(), 0);
}

// Each form of a broken or odd manifest: how many tasks it gives and what
// the last-error record says; the good package beside it is always listed.
TEST_F(PackageTest, ManifestForms) {
    std::string good = chat_task("ChatStartup", "true");
    std::string utf16 = "\xFF\xFE";
    for (char c : manifest(good)) utf16 += std::string(1, c) + '\0';
    std::string big = manifest(good);
    big.insert(big.find("<Properties>"), std::string(PACKAGE_MANIFEST_MAX_BYTES, ' '));
    const char *ns = "<desktop:Extension Category=\"windows.startupTask\" Executable=\"d.exe\">"
                     "<desktop:StartupTask TaskId=\"Desk\" Enabled=\"true\" DisplayName=\"D\"/></desktop:Extension>";
    struct {
        const char *what;
        std::string bytes;
        bool present;
        size_t tasks;
        const char *error;
    } rows[] = {
        {"missing", "", false, 0, "package: 'Z.App_1.0.0.0_x64__zzz': cannot open the manifest (3)"},
        {"empty", "", true, 0, "package: 'Z.App_1.0.0.0_x64__zzz': manifest is not well-formed XML"},
        {"malformed", manifest(good).substr(0, 200), true, 0,
         "package: 'Z.App_1.0.0.0_x64__zzz': manifest is not well-formed XML"},
        {"too large", big, true, 0, "package: 'Z.App_1.0.0.0_x64__zzz': manifest too large"},
        {"other root", "<Other/>", true, 0, "package: 'Z.App_1.0.0.0_x64__zzz': manifest has no Package element"},
        {"utf-16", utf16, true, 1, "before"},
        {"other prefix", manifest(ns), true, 1, "before"},
        {"no task id", manifest(chat_task("", "true")), true, 0, "before"},
        {"no program", manifest(good, ""), true, 0, "before"},
        {"not UTF-8", manifest(chat_task("N", "true", "Caf\xe9")), true, 0,
         "package: 'Z.App_1.0.0.0_x64__zzz': manifest text is not UTF-8"},
        {"overlong", manifest(chat_task("N", "true", "\xc0\xaf")), true, 0,
         "package: 'Z.App_1.0.0.0_x64__zzz': manifest text is not UTF-8"},
        {"encoded surrogate", manifest(chat_task("N", "true", "\xed\xa0\x80")), true, 0,
         "package: 'Z.App_1.0.0.0_x64__zzz': manifest text is not UTF-8"},
        {"task id with backslash", manifest(chat_task("a\\b", "true")), true, 0, "before"},
        {"other category",
         manifest("<Extension Category=\"windows.protocol\"><StartupTask TaskId=\"P\" Enabled=\"true\"/></Extension>"),
         true, 0, "before"},
        {"entity bomb",
         "<?xml version=\"1.0\"?><!DOCTYPE Package [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">"
         "<!ENTITY x SYSTEM \"file:///C:/secret\">]>" +
             manifest(chat_task("E", "true", "&b;&x;")).substr(38),
         true, 1, "before"},
    };
    for (auto &r : rows) {
        mem_reset();
        std::string m = manifest(good);
        add_package(chat_full, chat_folder, &m);
        add_package("Z.App_1.0.0.0_x64__zzz", "C:\\Z", r.present ? &r.bytes : nullptr);
        set_last_error("before");
        std::vector<package_row> listed = package_rows();
        ASSERT_EQ(listed.size(), 1 + r.tasks) << r.what;
        EXPECT_EQ(listed[0].id, chat_id) << r.what;
        EXPECT_STREQ(quorvel_last_error(), r.error) << r.what;
        if (!strcmp(r.what, "entity bomb")) {
            EXPECT_EQ(listed[1].name, "&b;&x;");  // left as written, never expanded
        }
    }
}

// Names that are no full name, and paths that would not fit, are skipped:
// a cut path could name another program.
TEST_F(PackageTest, SkippedPackages) {
    std::string m = manifest(chat_task("ChatStartup", "true"));
    std::string long_folder = "C:\\" + std::string(2030, 'f');
    add_package("NoFields", "C:\\N", &m);
    add_package("Four_1.0_x64_pub", "C:\\F", &m);
    add_package("Caf\xe9_1_x64__p", "C:\\C", &m);
    add_package("Long_1_x64__p", long_folder.c_str(), &m);
    mem_reg_add_key(PLAT_HKEY_CURRENT_USER, (packages + "NoFolder_1_x64__p").c_str());
    std::string exe_too_long = manifest(chat_task("T", "true", "T", std::string(2043, 'e').c_str()));
    add_package("Deep_1_x64__p", "C:\\D", &exe_too_long);
    add_package(chat_full, chat_folder, &m);
    std::vector<package_row> listed = package_rows();
    ASSERT_EQ(listed.size(), 1u) << listed.back().location;
    EXPECT_EQ(listed[0].id, chat_id);
}

// Listing the Startup folders over the in-memory machine.
#include <cstdlib>

#include "platform/mem/mem_com.h"
#include "platform/platform_com.h"
#include "platform/platform_files.h"
#include "providers/startup_folders.h"
#include "startup_folders_test.h"

namespace {

class StartupList : public MachineTest {};

std::vector<std::string> names_of(const std::vector<listed_shortcut> &entries) {
    std::vector<std::string> names;
    for (const auto &e : entries) names.push_back(e.name + (e.enabled ? "" : " (off)"));
    return names;
}

}  // namespace

TEST_F(StartupList, IdentifiersOfKnownPaths) {
    struct row {
        std::string path;
        const char *id;
    } rows[] = {
        {user_path("Notes.lnk"), "startup:ccb99b50d64564d3"},
        {user_path("ZZ-Top.lnk"), "startup:30c40353c0732e62"},  // Z folds too
        {user_path("disabled\\Notes.lnk"), "startup:a62477d68f6b3745"},
        {common_path("Notes.lnk"), "startup:d4b3c1f2dd79b6f4"},
    };
    for (const row &r : rows) add_shortcut(r.path);
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 4u);
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(entries[i].id, rows[i].id) << rows[i].path;
        EXPECT_EQ(startup_id(rows[i].path), rows[i].id);
    }
    std::string lower = rows[0].path;
    for (char &c : lower) c = (char)tolower((unsigned char)c);
    EXPECT_EQ(startup_id(lower), "startup:ccb99b50d64564d3");
}

// Every file is listed, not only shortcuts: directories and desktop.ini
// (in any case) are not; any other file is its own command.
TEST_F(StartupList, OrderSkipsDirectoriesAndDesktopIni) {
    add_shortcut(common_path("disabled\\Zeta.lnk"));
    add_shortcut(common_path("Common.lnk"));
    add_shortcut(user_path("disabled\\Old.lnk"));
    add_shortcut(user_path("b.lnk"));
    add_shortcut(user_path("a.lnk"));
    ASSERT_TRUE(mem_files_add_dir(user_path("Tools.lnk").c_str()));
    ASSERT_TRUE(mem_files_add_file(user_path("readme.txt").c_str()));
    ASSERT_TRUE(mem_files_add_file(user_path("x.lnkx").c_str()));
    ASSERT_TRUE(mem_files_add_dir(user_path("disabled\\Nested.lnk").c_str()));
    ASSERT_TRUE(mem_files_add_file(user_path("desktop.ini").c_str()));
    ASSERT_TRUE(mem_files_add_file(user_path("disabled\\Desktop.INI").c_str()));
    ASSERT_TRUE(mem_files_add_file(common_path("DESKTOP.INI").c_str()));
    ASSERT_TRUE(mem_files_add_file(common_path("desktop.ini.bat").c_str()));
    add_shortcut(user_path("UPPER.LNK"));
    auto entries = list_shortcuts();
    EXPECT_EQ(names_of(entries), (std::vector<std::string>{"b.lnk", "a.lnk", "readme.txt", "x.lnkx", "UPPER.LNK",
                                                           "Old.lnk (off)", "Common.lnk", "desktop.ini.bat",
                                                           "Zeta.lnk (off)"}));
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries[2].command, user_path("readme.txt"));
    EXPECT_EQ(entries[3].command, user_path("x.lnkx"));
    EXPECT_EQ(entries[7].command, common_path("desktop.ini.bat"));
    EXPECT_EQ(entries[2].id, startup_id(user_path("readme.txt")));
    EXPECT_EQ(mem_files_open_searches(), 0);
}

TEST_F(StartupList, CommandsComeFromTheShortcut) {
    struct row {
        const char *name, *target, *arguments, *command;
    } rows[] = {
        {"args.lnk", "C:\\Tools\\app.exe", "--quiet", "C:\\Tools\\app.exe --quiet"},
        {"spaces.lnk", "C:\\Program Files\\App\\app.exe", "--quiet", "C:\\Program Files\\App\\app.exe --quiet"},
        {"plain.lnk", "C:\\Tools\\app.exe", "", "C:\\Tools\\app.exe"},
        {"nofile.lnk", "", "shell:AppsFolder", " shell:AppsFolder"},
        {"env.lnk", "%WINDIR%\\x.exe", "\"a b\"", "%WINDIR%\\x.exe \"a b\""},
        {"caf\xc3\xa9.lnk", "C:\\Caf\xc3\xa9\\\xe2\x98\x83.exe", "-\xc3\xa9", "C:\\Caf\xc3\xa9\\\xe2\x98\x83.exe -\xc3\xa9"},
    };
    for (const row &r : rows) ASSERT_TRUE(mem_files_add_shortcut(user_path(r.name).c_str(), r.target, r.arguments));
    ASSERT_TRUE(mem_files_add_file(user_path("broken.lnk").c_str()));
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 7u);
    for (size_t i = 0; i < 6; i++) {
        EXPECT_EQ(entries[i].name, rows[i].name);
        EXPECT_EQ(entries[i].command, rows[i].command) << rows[i].name;
    }
    EXPECT_EQ(entries[6].name, "broken.lnk");
    EXPECT_TRUE(entries[6].has_command);
    EXPECT_EQ(entries[6].command, "");
    EXPECT_EQ(mem_shell_link_live(), 0);
}

TEST_F(StartupList, FolderLookupFailures) {
    struct row {
        plat_hresult profile, common;
        std::vector<std::string> names;
    } rows[] = {
        {PLAT_S_OK, PLAT_S_OK, {"u.lnk", "c.lnk"}},
        {PLAT_E_FAIL, PLAT_S_OK, {"c.lnk"}},
        {PLAT_S_FALSE, PLAT_S_OK, {"c.lnk"}},  // only S_OK counts for the profile
        {PLAT_S_OK, PLAT_E_INVALIDARG, {"u.lnk"}},
        {PLAT_S_OK, PLAT_S_FALSE, {"u.lnk", "c.lnk"}},
        {PLAT_E_FAIL, PLAT_E_FAIL, {}},
    };
    for (const row &r : rows) {
        mem_reset();
        add_shortcut(user_path("u.lnk"));
        add_shortcut(common_path("c.lnk"));
        mem_files_set_profile(r.profile, "C:\\Users\\user");
        mem_files_set_common_startup(r.common, COMMON_STARTUP);
        EXPECT_EQ(names_of(list_shortcuts()), r.names) << std::hex << r.profile << " " << r.common;
        EXPECT_EQ(mem_files_task_mem_outstanding(), 0);
        EXPECT_EQ(mem_calls("CoTaskMemFree"), PLAT_FAILED(r.common) ? 0 : 1);
    }
}

TEST_F(StartupList, EnumerationFailuresLoseOnlyTheirPass) {
    add_shortcut(user_path("one.lnk"));
    add_shortcut(user_path("two.lnk"));
    add_shortcut(user_path("disabled\\off.lnk"));
    mem_fail("FindFirstFileW", PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(names_of(list_shortcuts()), (std::vector<std::string>{"off.lnk (off)"}));
    mem_fail("FindNextFileW", PLAT_ERROR_ACCESS_DENIED, 3);  // after ".", ".." and one.lnk
    EXPECT_EQ(names_of(list_shortcuts()), (std::vector<std::string>{"one.lnk", "off.lnk (off)"}));
    mem_fail("MultiByteToWideChar", 0);  // the folder path
    EXPECT_EQ(names_of(list_shortcuts()), std::vector<std::string>{});
    EXPECT_EQ(mem_files_open_searches(), 0);
}

TEST_F(StartupList, ShellLinkFailuresGiveEmptyCommands) {
    struct row {
        const char *op;
        plat_hresult code;
        const char *command;
    } rows[] = {
        {"CoCreateInstance", PLAT_REGDB_E_CLASSNOTREG, ""},
        {"IShellLinkW::QueryInterface", (plat_hresult)0x80004002, ""},
        {"IPersistFile::Load", PLAT_E_FAIL, ""},
        {"IShellLinkW::GetPath", PLAT_E_FAIL, ""},
        {"IShellLinkW::GetArguments", PLAT_E_FAIL, "C:\\a.exe"},
        {"IShellLinkW::GetArguments", PLAT_S_FALSE, "C:\\a.exe"},  // success, no text
    };
    for (const row &r : rows) {
        mem_reset();
        ASSERT_TRUE(mem_files_add_shortcut(user_path("a.lnk").c_str(), "C:\\a.exe", "-x"));
        ASSERT_TRUE(mem_files_add_shortcut(user_path("b.lnk").c_str(), "C:\\b.exe", ""));
        mem_fail(r.op, r.code);
        auto entries = list_shortcuts();
        ASSERT_EQ(entries.size(), 2u) << r.op;
        EXPECT_EQ(entries[0].command, r.command) << r.op;
        EXPECT_EQ(entries[1].command, "C:\\b.exe") << r.op;
        EXPECT_EQ(mem_shell_link_live(), 0) << r.op;
    }
}

TEST_F(StartupList, ComEnteredOnceAtTheFirstShortcut) {
    for (const char *n : {"a.lnk", "b.lnk", "c.lnk"}) add_shortcut(user_path(n));
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].command, "C:\\Apps\\c.lnk");
    EXPECT_EQ(mem_calls("CoInitializeEx"), 1);
    EXPECT_EQ(mem_calls("CoUninitialize"), 1);
    EXPECT_EQ(mem_calls("CoCreateInstance"), 3);
    EXPECT_EQ(mem_com_depth(), 0);
    // The first COM call comes after the searches have begun, not before.
    auto log = mem_call_log();
    size_t first_find = 0, first_com = 0;
    for (size_t i = log.size(); i-- > 0;) {
        if (log[i] == "FindFirstFileW") first_find = i;
        if (log[i] == "CoInitializeEx") first_com = i;
    }
    EXPECT_LT(first_find, first_com);
}

TEST_F(StartupList, NoComStillListsEveryShortcut) {
    add_shortcut(user_path("a.lnk"));
    add_shortcut(common_path("disabled\\b.lnk"));
    mem_fail_always("CoInitializeEx", PLAT_E_OUTOFMEMORY);
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 2u);
    for (const auto &e : entries) {
        EXPECT_TRUE(e.has_command);
        EXPECT_EQ(e.command, "");
    }
    EXPECT_EQ(mem_calls("CoCreateInstance"), 0);
    char *command = resolve_shortcut_command(user_path("a.lnk").c_str());
    EXPECT_STREQ(command, "");
    free(command);
    EXPECT_STREQ(quorvel_last_error(), "com: CoInitializeEx failed (0x8007000e)");
}

TEST_F(StartupList, HostApartmentIsKept) {
    add_shortcut(user_path("a.lnk"));
    ASSERT_EQ(plat_co_initialize_ex(PLAT_COINIT_MULTITHREADED), PLAT_S_OK);
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].command, "C:\\Apps\\a.lnk");
    EXPECT_EQ(mem_calls("CoUninitialize"), 1);
    EXPECT_EQ(mem_com_depth(), 1);
    EXPECT_EQ(mem_com_apartment(), PLAT_COINIT_MULTITHREADED);
}

TEST_F(StartupList, NonAsciiProfileAndNames) {
    const std::string folder = "C:\\Users\\Zo\xc3\xab\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    mem_files_set_profile(PLAT_S_OK, "C:\\Users\\Zo\xc3\xab");
    add_shortcut(folder + "\\Caf\xc3\xa9.lnk");
    add_shortcut(folder + "\\disabled\\\xe2\x98\x83.lnk");
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Caf\xc3\xa9.lnk");
    EXPECT_EQ(entries[0].id, startup_id(folder + "\\Caf\xc3\xa9.lnk"));
    EXPECT_EQ(entries[1].name, "\xe2\x98\x83.lnk");
    EXPECT_EQ(entries[1].id, startup_id(folder + "\\disabled\\\xe2\x98\x83.lnk"));
    EXPECT_FALSE(entries[1].enabled);
}

// A folder path that would not fit its field is left out, not cut: the cut
// text names another folder, whose decoy must not be listed.
TEST_F(StartupList, FolderPathTooLongIsSkipped) {
    std::string base = "C:\\" + std::string(200, 'p');
    std::string folder = base;
    while (folder.size() < 2100) folder += "\\" + std::string(200, 'q');
    ASSERT_GT(folder.size(), 2047u);
    mem_files_set_common_startup(PLAT_S_OK, folder.c_str());
    add_shortcut(folder + "\\real.lnk");
    std::string cut = folder.substr(0, 2047);
    add_shortcut(cut + "\\decoy.lnk");
    add_shortcut(user_path("u.lnk"));
    EXPECT_EQ(names_of(list_shortcuts()), std::vector<std::string>{"u.lnk"});

    startup_folder_list list;
    find_startup_folders(&list);
    ASSERT_EQ(list.count, 1);
    EXPECT_STREQ(list.folders[0].path, USER_STARTUP);
    EXPECT_EQ(list.folders[0].common, 0);
}

// Patterns and full paths count UTF-16 units against 2047: what does not
// fit is skipped, whatever fits is still listed.
TEST_F(StartupList, PatternsAndFullPathsThatDoNotFit) {
    std::string folder = "C:";
    while (folder.size() < 2000) folder += "\\" + std::string(199, 'f');
    folder += "\\" + std::string(2030 - folder.size() - 1, 'g');
    ASSERT_EQ(folder.size(), 2030u);
    mem_files_set_common_startup(PLAT_S_OK, folder.c_str());
    add_shortcut(folder + "\\a.lnk");                          // 2036 units
    add_shortcut(folder + "\\" + std::string(20, 'n') + ".lnk"); // 2055 units
    add_shortcut(folder + "\\disabled\\b.lnk");                // 2045 units
    add_shortcut(folder + "\\disabled\\bb.lnk");               // 2046 units
    add_shortcut(folder + "\\disabled\\bbbb.lnk");             // 2048 units
    EXPECT_EQ(names_of(list_shortcuts()), (std::vector<std::string>{"a.lnk", "b.lnk (off)", "bb.lnk (off)"}));

    std::string longer = folder + std::string(17, 'h');  // 2047: "\*" needs 2049
    mem_files_set_common_startup(PLAT_S_OK, longer.c_str());
    add_shortcut(longer + "\\a.lnk");
    int searches = mem_calls("FindFirstFileW");
    EXPECT_EQ(list_shortcuts().size(), 0u);
    EXPECT_EQ(mem_calls("FindFirstFileW"), searches + 2);  // the user's folder only
}

// A folder path of 2047 bytes is used, one of 2048 skipped, counted in
// bytes of UTF-8 (here mostly three to a character).
TEST_F(StartupList, FolderPathLimitIsExactly2047Bytes) {
    for (size_t bytes : {2047u, 2048u}) {
        mem_reset();
        std::string folder = "C:";
        while (folder.size() + 1 + 3 * 80 <= bytes) {
            folder += "\\";
            for (int i = 0; i < 80; i++) folder += "\xe2\x98\x83";
        }
        folder += "\\" + std::string(bytes - folder.size() - 1, 'x');
        ASSERT_EQ(folder.size(), bytes);
        mem_files_set_common_startup(PLAT_S_OK, folder.c_str());
        add_shortcut(folder + "\\in.lnk");
        add_shortcut(folder.substr(0, 2047) + "\\cut.lnk");  // where a cut path would lead
        std::vector<std::string> expected;
        if (bytes == 2047) expected = {"in.lnk", "cut.lnk"};
        EXPECT_EQ(names_of(list_shortcuts()), expected) << bytes;
    }
}

// A "disabled" subfolder that is a link is not read (the reason is
// recorded); a Startup folder that is a link is read as Windows starts it.
TEST_F(StartupList, LinkedFolders) {
    add_shortcut(user_path("Notes.lnk"));
    ASSERT_TRUE(mem_files_add_shortcut("C:\\Victim\\Prot.lnk", "C:\\p.exe", ""));
    ASSERT_TRUE(mem_files_add_link(user_path("disabled").c_str(), "C:\\Victim"));
    ASSERT_TRUE(mem_files_add_shortcut("C:\\Elsewhere\\Shared.lnk", "C:\\s.exe", ""));
    ASSERT_TRUE(mem_files_add_shortcut("C:\\Elsewhere\\disabled\\Off.lnk", "C:\\o.exe", ""));
    ASSERT_TRUE(mem_files_add_link(COMMON_STARTUP, "C:\\Elsewhere"));
    auto entries = list_shortcuts();
    EXPECT_EQ(names_of(entries), (std::vector<std::string>{"Notes.lnk", "Shared.lnk", "Off.lnk (off)"}));
    EXPECT_STREQ(quorvel_last_error(),
                 ("startup: '" + user_path("disabled") + "' is a link (reparse point); its files are not listed").c_str());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].id, startup_id(common_path("disabled\\Off.lnk")));
}

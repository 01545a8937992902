// The in-memory file operations as the startup-folder provider relies on
// them: wildcard search, case-insensitive names, moves that never replace.
#include <string>

#include "platform/platform_files.h"
#include "platform/platform_shell_link.h"
#include "platform/mem/mem_com.h"
#include "platform/platform_com.h"
#include "startup_folders_test.h"

namespace {

class StartupMemFiles : public MachineTest {};

std::u16string w(const char *ascii) { return std::u16string(ascii, ascii + strlen(ascii)); }

std::vector<std::string> search(const char *pattern) {
    std::vector<std::string> names;
    plat_find_data data = {};
    plat_find s = plat_find_first_file(w(pattern).c_str(), &data);
    if (!s) return {"<error " + std::to_string(plat_get_last_error()) + ">"};
    do {
        std::string name;
        for (const char16_t *c = data.file_name; *c; c++) name += (char)*c;
        names.push_back(name);
    } while (plat_find_next_file(s, &data));
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_NO_MORE_FILES);
    plat_find_close(s);
    return names;
}

}  // namespace

TEST_F(StartupMemFiles, WildcardSearch) {
    for (const char *n : {"b.lnk", "A.LNK", "x.lnkx", "lnk", ".lnk", "a.b.lnk", "readme.txt"})
        ASSERT_TRUE(mem_files_add_file((std::string("C:\\d\\") + n).c_str()));
    struct row {
        const char *pattern;
        std::vector<std::string> names;
    } rows[] = {
        {"C:\\d\\*.lnk", {"b.lnk", "A.LNK", ".lnk", "a.b.lnk"}},
        {"C:/d/?.lnk", {"b.lnk", "A.LNK"}},
        {"c:\\D\\*", {"b.lnk", "A.LNK", "x.lnkx", "lnk", ".lnk", "a.b.lnk", "readme.txt"}},
        {"C:\\d\\*.exe", {"<error 2>"}},
        {"C:\\missing\\*.lnk", {"<error 3>"}},
        {"C:\\d\\readme.txt\\*", {"<error 3>"}},
    };
    for (const row &r : rows) EXPECT_EQ(search(r.pattern), r.names) << r.pattern;
    EXPECT_EQ(mem_files_open_searches(), 0);
}

TEST_F(StartupMemFiles, MovesNeverReplace) {
    ASSERT_TRUE(mem_files_add_shortcut("C:\\d\\a.lnk", "C:\\a.exe", ""));
    ASSERT_TRUE(mem_files_add_shortcut("C:\\d\\b.lnk", "C:\\b.exe", ""));
    struct row {
        const char *from, *to;
        int moved;
        plat_error error;
    } rows[] = {
        {"C:\\d\\a.lnk", "C:\\d\\B.LNK", 0, PLAT_ERROR_ALREADY_EXISTS},
        {"C:\\d\\a.lnk", "C:\\e\\a.lnk", 0, PLAT_ERROR_PATH_NOT_FOUND},
        {"C:\\d\\z.lnk", "C:\\d\\y.lnk", 0, PLAT_ERROR_FILE_NOT_FOUND},
        {"C:\\d", "C:\\d\\sub", 0, PLAT_ERROR_INVALID_PARAMETER},
        {"C:\\d\\A.lnk", "C:\\d\\c.lnk", 1, 0},
    };
    for (const row &r : rows) {
        EXPECT_EQ(plat_move_file(w(r.from).c_str(), w(r.to).c_str()), r.moved) << r.from << " " << r.to;
        if (!r.moved) {
            EXPECT_EQ(plat_get_last_error(), r.error) << r.from << " " << r.to;
        }
    }
    EXPECT_EQ(target_of("C:\\d\\b.lnk"), "C:\\b.exe");
    EXPECT_EQ(mem_files_names("C:\\d"), (std::vector<std::string>{"b.lnk", "c.lnk"}));
    EXPECT_EQ(plat_remove_directory(w("C:\\d").c_str()), 0);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_DIR_NOT_EMPTY);
}

TEST_F(StartupMemFiles, ShellLinkNeedsComAndCountsReferences) {
    plat_shell_link link = nullptr;
    EXPECT_EQ(plat_create_shell_link(&link), PLAT_CO_E_NOTINITIALIZED);
    EXPECT_EQ(link, nullptr);
    ASSERT_EQ(plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED), PLAT_S_OK);
    ASSERT_EQ(plat_create_shell_link(&link), PLAT_S_OK);
    plat_persist_file file = nullptr;
    ASSERT_EQ(plat_shell_link_query_persist_file(link, &file), PLAT_S_OK);
    EXPECT_EQ(plat_persist_file_load(file, w("C:\\none.lnk").c_str(), PLAT_STGM_READ), (plat_hresult)0x80070003);
    plat_persist_file_release(file);
    EXPECT_EQ(mem_shell_link_live(), 1);
    char16_t path[4] = {u'x'};
    EXPECT_EQ(plat_shell_link_get_path(link, path, 4, PLAT_SLGP_DEFAULT), PLAT_S_FALSE);
    EXPECT_EQ(path[0], u'\0');
    plat_shell_link_release(link);
    EXPECT_EQ(mem_shell_link_live(), 0);
    plat_co_uninitialize();
}

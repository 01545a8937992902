// The file-system and shell-folder operations' answers: the folder lookups,
// wildcard search, attributes, names without regard to case, directories
// made and removed, and moves that never replace.
#include <algorithm>

#include "contract/contract.h"

namespace {

using ContractFiles = ContractTest;

std::string narrow(const char16_t *s) {
    std::string out;
    for (; *s; s++) out += *s < 0x80 ? (char)*s : '#';
    return out;
}

// The names a search hands out, sorted (directory order is the file
// system's own), or the error that ended it early.
std::vector<std::string> search(const std::u16string &pattern) {
    plat_find_data data;
    plat_find s = plat_find_first_file(pattern.c_str(), &data);
    if (!s) return {"<error " + std::to_string(plat_get_last_error()) + ">"};
    std::vector<std::string> names;
    do {
        std::string name = narrow(data.file_name);
        if (name != "." && name != "..") names.push_back(name);
    } while (plat_find_next_file(s, &data));
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_NO_MORE_FILES);
    EXPECT_NE(plat_find_close(s), 0);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_F(ContractFiles, FolderLookups) {
    char16_t profile[PLAT_MAX_PATH] = {u'x'};
    ASSERT_EQ(plat_sh_get_folder_path(PLAT_CSIDL_PROFILE, 0, profile), PLAT_S_OK);
    std::string p = narrow(profile);
    std::transform(p.begin(), p.end(), p.begin(), ::tolower);
    EXPECT_EQ(p.rfind("c:\\users\\", 0), 0u) << p;
    EXPECT_NE(p.back(), '\\');
    char16_t *common = nullptr;
    ASSERT_EQ(plat_sh_get_known_folder_path(PLAT_FOLDERID_COMMON_STARTUP, 0, &common), PLAT_S_OK);
    EXPECT_EQ(std::u16string(common), u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
    plat_co_task_mem_free(common);
    plat_co_task_mem_free(nullptr);
}

TEST_F(ContractFiles, WildcardSearch) {
    for (const char16_t *n : {u"b.lnk", u"A.LNK", u"lnk", u".lnk", u"a.b.lnk", u"readme.txt"}) ASSERT_TRUE(add_file(n));
    ASSERT_NE(plat_create_directory(path(u"sub").c_str()), 0);
    struct row {
        std::string pattern;
        std::vector<std::string> names;
    } rows[] = {
        {"\\*.lnk", {".lnk", "A.LNK", "a.b.lnk", "b.lnk"}},
        {"/?.lnk", {"A.LNK", "b.lnk"}},
        {"\\*", {".lnk", "A.LNK", "a.b.lnk", "b.lnk", "lnk", "readme.txt", "sub"}},
        {"\\*.exe", {"<error 2>"}},
        {"\\missing\\*.lnk", {"<error 3>"}},
        {"\\sub\\*", {}},
    };
    for (const row &r : rows) EXPECT_EQ(search(folder + u16(r.pattern)), r.names) << r.pattern;
    // Every search of a directory also hands out its "." and ".." entries.
    plat_find_data data;
    plat_find s = plat_find_first_file(path(u"sub\\*").c_str(), &data);
    ASSERT_NE(s, nullptr);
    std::vector<std::string> dots = {narrow(data.file_name)};
    while (plat_find_next_file(s, &data)) dots.push_back(narrow(data.file_name));
    EXPECT_EQ(dots, (std::vector<std::string>{".", ".."}));
    EXPECT_EQ(data.attributes, PLAT_FILE_ATTRIBUTE_DIRECTORY);
    plat_find_close(s);
}

TEST_F(ContractFiles, AttributesAndNamesWithoutCase) {
    ASSERT_TRUE(add_file(u"Caf\u00e9.lnk"));
    plat_find_data data;
    plat_find s = plat_find_first_file(path(u"*.LNK").c_str(), &data);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::u16string(data.file_name), u"Caf\u00e9.lnk");
    EXPECT_EQ(data.attributes, PLAT_FILE_ATTRIBUTE_ARCHIVE);
    plat_find_close(s);
    struct row {
        const char16_t *name;
        uint32_t attributes;
        plat_error error;
    } rows[] = {
        {u"", PLAT_FILE_ATTRIBUTE_DIRECTORY, 0},
        {u"caf\u00e9.LNK", PLAT_FILE_ATTRIBUTE_ARCHIVE, 0},
        {u"CAF\u00c9.lnk", PLAT_FILE_ATTRIBUTE_ARCHIVE, 0},  // letters beyond ASCII fold too
        {u"cafe.lnk", PLAT_INVALID_FILE_ATTRIBUTES, PLAT_ERROR_FILE_NOT_FOUND},
        {u"none\\x.lnk", PLAT_INVALID_FILE_ATTRIBUTES, PLAT_ERROR_PATH_NOT_FOUND},
    };
    for (const row &r : rows) {
        std::u16string p = *r.name ? path(r.name) : folder;
        EXPECT_EQ(plat_get_file_attributes(p.c_str()), r.attributes) << narrow(r.name);
        if (r.error) {
            EXPECT_EQ(plat_get_last_error(), r.error) << narrow(r.name);
        }
    }
}

TEST_F(ContractFiles, DirectoriesMadeAndRemoved) {
    ASSERT_TRUE(add_file(u"file"));
    struct row {
        std::string name;
        int (*call)(const char16_t *);
        int result;
        plat_error error;
    } rows[] = {
        {"d", plat_create_directory, 1, 0},
        {"D", plat_create_directory, 0, PLAT_ERROR_ALREADY_EXISTS},
        {"file", plat_create_directory, 0, PLAT_ERROR_ALREADY_EXISTS},
        {"none\\d", plat_create_directory, 0, PLAT_ERROR_PATH_NOT_FOUND},
        {"a<b", plat_create_directory, 0, PLAT_ERROR_INVALID_NAME},
        // The longest name. Beyond it Wine answers as its Unix file system
        // does, not as Windows: not compared.
        {std::string(255, 'n'), plat_create_directory, 1, 0},
        {"d\\inner", plat_create_directory, 1, 0},
        {"d", plat_remove_directory, 0, PLAT_ERROR_DIR_NOT_EMPTY},
        {"file", plat_remove_directory, 0, 267 /* ERROR_DIRECTORY */},
        {"none", plat_remove_directory, 0, PLAT_ERROR_FILE_NOT_FOUND},
        {"d\\INNER", plat_remove_directory, 1, 0},
        {std::string(255, 'n'), plat_remove_directory, 1, 0},
        {"d", plat_remove_directory, 1, 0},
    };
    for (const row &r : rows) {
        EXPECT_EQ(r.call(path(u16(r.name)).c_str()), r.result) << r.name;
        if (!r.result) {
            EXPECT_EQ(plat_get_last_error(), r.error) << r.name;
        }
    }
}

TEST_F(ContractFiles, MovesNeverReplace) {
    ASSERT_TRUE(add_shortcut(u"a.lnk", u"C:\\a.exe", u""));
    ASSERT_TRUE(add_shortcut(u"b.lnk", u"C:\\b.exe", u""));
    ASSERT_NE(plat_create_directory(path(u"d").c_str()), 0);
    struct row {
        std::string from, to;
        int moved;
        plat_error error;
    } rows[] = {
        {"a.lnk", "B.LNK", 0, PLAT_ERROR_ALREADY_EXISTS},
        {"a.lnk", "none\\a.lnk", 0, PLAT_ERROR_PATH_NOT_FOUND},
        {"z.lnk", "y.lnk", 0, PLAT_ERROR_FILE_NOT_FOUND},
        {"a.lnk", "a<.lnk", 0, PLAT_ERROR_INVALID_NAME},
        {"A.lnk", "d\\a.lnk", 1, 0},
        {"d\\a.lnk", "d\\A.LNK", 1, 0},  // only the case changes: a rename
        {"d", "d\\sub", 0, PLAT_ERROR_INVALID_PARAMETER},
    };
    for (const row &r : rows) {
        EXPECT_EQ(plat_move_file(path(u16(r.from)).c_str(), path(u16(r.to)).c_str()), r.moved) << r.from << " " << r.to;
        if (!r.moved) {
            EXPECT_EQ(plat_get_last_error(), r.error) << r.from << " " << r.to;
        }
    }
    // Windows takes the new spelling of a name whose case alone changed, as
    // the stand-in does; Wine, on a Unix file system, keeps the old one.
    EXPECT_EQ(search(path(u"d\\*")), std::vector<std::string>{contract_on_windows() ? "a.lnk" : "A.LNK"});
    EXPECT_EQ(search(path(u"*.lnk")), std::vector<std::string>{"b.lnk"});
}

// Switching shortcuts off and on over the in-memory machine.
#include <climits>

#include "platform/mem/mem_registry.h"
#include "platform/platform_files.h"
#include "providers/startup_folders.h"
#include "startup_folders_test.h"

namespace {

class StartupToggle : public MachineTest {};

const std::string notes = user_path("Notes.lnk");
const std::string notes_off = user_path("disabled\\Notes.lnk");

int toggle(const std::string &path, int enabled) { return quorvel_set_enabled(startup_id(path).c_str(), enabled); }

std::string error_text() { return quorvel_last_error(); }

std::u16string u16(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

TEST_F(StartupToggle, OffAndOnAgain) {
    add_shortcut(notes);
    ASSERT_EQ(toggle(notes, 0), 1) << error_text();
    EXPECT_FALSE(mem_files_exists(notes.c_str()));
    EXPECT_EQ(target_of(notes_off), "C:\\Apps\\Notes.lnk");
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, "startup:a62477d68f6b3745");
    EXPECT_FALSE(entries[0].enabled);
    EXPECT_EQ(quorvel_set_enabled("startup:ccb99b50d64564d3", 1), 0);
    EXPECT_EQ(error_text(), "startup: entry no longer exists");

    ASSERT_EQ(quorvel_set_enabled("startup:a62477d68f6b3745", 1), 1) << error_text();
    EXPECT_EQ(target_of(notes), "C:\\Apps\\Notes.lnk");
    EXPECT_FALSE(mem_files_exists(user_path("disabled").c_str()));  // empty, so removed
    EXPECT_EQ(list_shortcuts()[0].id, "startup:ccb99b50d64564d3");
}

TEST_F(StartupToggle, DisabledFolderStaysWhileItHoldsFiles) {
    add_shortcut(notes_off);
    ASSERT_TRUE(mem_files_add_file(user_path("disabled\\keep.txt").c_str()));
    ASSERT_EQ(toggle(notes_off, 1), 1) << error_text();
    EXPECT_EQ(mem_files_names(user_path("disabled").c_str()), std::vector<std::string>{"keep.txt"});
}

TEST_F(StartupToggle, SameStateChangesNothing) {
    add_shortcut(notes);
    add_shortcut(user_path("disabled\\Old.lnk"));
    add_shortcut(user_path("disabled-tools.lnk"));
    struct row {
        std::string path;
        int enabled;
    } rows[] = {{notes, 1}, {user_path("disabled\\Old.lnk"), 0}, {user_path("disabled-tools.lnk"), 1}};
    for (const row &r : rows) {
        size_t before = mem_call_log().size();
        EXPECT_EQ(toggle(r.path, r.enabled), 1) << r.path;
        std::vector<std::string> log = mem_call_log();
        for (size_t i = before; i < log.size(); i++) {
            const std::string &op = log[i];
            EXPECT_TRUE(op != "MoveFileW" && op != "CreateDirectoryW" && op != "RemoveDirectoryW" &&
                        op != "SetFileInformationByHandle")
                << r.path << " " << op;
        }
    }
    ASSERT_EQ(toggle(user_path("disabled-tools.lnk"), 0), 1) << error_text();
    EXPECT_EQ(target_of(user_path("disabled\\disabled-tools.lnk")), "C:\\Apps\\disabled-tools.lnk");
}

// Switching off while the "disabled" subfolder already holds that name
// fails and changes nothing: success would leave the shortcut starting at
// logon while the host shows it off.
TEST_F(StartupToggle, OffRefusedWhenTheDisabledNameIsTaken) {
    ASSERT_TRUE(mem_files_add_shortcut(notes.c_str(), "C:\\new.exe", ""));
    ASSERT_TRUE(mem_files_add_shortcut(notes_off.c_str(), "C:\\old.exe", ""));
    EXPECT_EQ(toggle(notes, 0), 0);
    EXPECT_EQ(error_text(), "startup: cannot disable \xe2\x80\x94 '" + notes_off + "' already exists");
    EXPECT_EQ(target_of(notes), "C:\\new.exe");
    EXPECT_EQ(target_of(notes_off), "C:\\old.exe");
    EXPECT_EQ(mem_calls("MoveFileW"), 0);
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].enabled);
    EXPECT_FALSE(entries[1].enabled);

    EXPECT_EQ(toggle(notes_off, 1), 0);
    EXPECT_EQ(error_text(), "startup: cannot enable \xe2\x80\x94 '" + notes + "' already exists");
    EXPECT_EQ(target_of(notes), "C:\\new.exe");
    EXPECT_EQ(target_of(notes_off), "C:\\old.exe");
}

// After any refused move the shortcut is where it was, and only there.
TEST_F(StartupToggle, RefusedMovesLoseNothing) {
    struct row {
        plat_error code;
        const char *message;  // with S and T filled in for the other codes
    } rows[] = {
        {PLAT_ERROR_ACCESS_DENIED, "startup: move access denied (needs admin for common folder)"},
        {32, "0x20"},
        {PLAT_ERROR_PATH_NOT_FOUND, "0x3"},
        {PLAT_ERROR_ALREADY_EXISTS, "0xb7"},
    };
    for (const row &r : rows) {
        for (int enabled : {0, 1}) {
            mem_reset();
            const std::string &from = enabled ? notes_off : notes, &to = enabled ? notes : notes_off;
            add_shortcut(from);
            if (!enabled) {
                ASSERT_TRUE(mem_files_add_dir(user_path("disabled").c_str()));
            }
            mem_fail("MoveFileW", r.code);
            EXPECT_EQ(toggle(from, enabled), 0);
            std::string expected = r.code == PLAT_ERROR_ACCESS_DENIED
                                       ? r.message
                                       : "startup: move '" + from + "'\xe2\x86\x92'" + to + "' failed (" + r.message + ")";
            EXPECT_EQ(error_text(), expected);
            EXPECT_EQ(target_of(from), "C:\\Apps\\Notes.lnk");
            EXPECT_FALSE(mem_files_exists(to.c_str()));
            EXPECT_EQ(list_shortcuts().size(), 1u);
        }
    }
}

TEST_F(StartupToggle, CommonFolderWithoutRights) {
    add_shortcut(common_path("Notes.lnk"));
    mem_fail_always("CreateDirectoryW", PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(toggle(common_path("Notes.lnk"), 0), 0);
    // The subfolder could not be made: no move is tried.
    EXPECT_EQ(error_text(), "startup: move access denied (needs admin for common folder)");
    EXPECT_TRUE(mem_files_exists(common_path("Notes.lnk").c_str()));
    EXPECT_EQ(mem_calls("MoveFileW"), 0);

    mem_reset();
    add_shortcut(common_path("Notes.lnk"));
    mem_fail_always("MoveFileW", PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(toggle(common_path("Notes.lnk"), 0), 0);
    EXPECT_EQ(error_text(), "startup: move access denied (needs admin for common folder)");
    EXPECT_TRUE(mem_files_exists(common_path("Notes.lnk").c_str()));
    EXPECT_TRUE(mem_files_is_dir(common_path("disabled").c_str()));  // made before the move failed
}

TEST_F(StartupToggle, FailuresBeforeTheMove) {
    add_shortcut(notes);
    EXPECT_EQ(quorvel_set_enabled("startup:0000000000000000", 0), 0);
    EXPECT_EQ(error_text(), "startup: entry no longer exists");

    // After the folder's own check.
    mem_fail("GetFileAttributesW", PLAT_ERROR_FILE_NOT_FOUND, 2);
    EXPECT_EQ(toggle(notes, 0), 0);
    EXPECT_EQ(error_text(), "startup: '" + notes + "' not found");

    // The second lookup no longer knows the user's folder.
    mem_fail("SHGetFolderPathW", PLAT_E_FAIL, 2);
    EXPECT_EQ(toggle(notes, 0), 0);
    EXPECT_EQ(error_text(), "startup: path not in a known startup dir");

    mem_files_remove(notes.c_str());
    EXPECT_EQ(toggle(notes, 0), 0);
    EXPECT_EQ(error_text(), "startup: entry no longer exists");
    EXPECT_EQ(mem_calls("MoveFileW"), 0);
}

TEST_F(StartupToggle, EachFolderKeepsItsOwnShortcuts) {
    add_shortcut(notes);
    add_shortcut(common_path("Notes.lnk"));
    ASSERT_TRUE(mem_files_add_file(user_path("broken.lnk").c_str()));
    ASSERT_NE(startup_id(notes), startup_id(common_path("Notes.lnk")));
    ASSERT_EQ(toggle(common_path("Notes.lnk"), 0), 1) << error_text();
    EXPECT_TRUE(mem_files_exists(notes.c_str()));
    EXPECT_TRUE(mem_files_exists(common_path("disabled\\Notes.lnk").c_str()));
    ASSERT_EQ(toggle(user_path("broken.lnk"), 0), 1) << error_text();
    EXPECT_TRUE(mem_files_exists(user_path("disabled\\broken.lnk").c_str()));

    mem_files_set_profile(PLAT_E_FAIL, "");
    ASSERT_EQ(toggle(common_path("disabled\\Notes.lnk"), 1), 1) << error_text();
    EXPECT_TRUE(mem_files_exists(common_path("Notes.lnk").c_str()));
    EXPECT_FALSE(mem_files_exists(common_path("disabled").c_str()));
}

// A folder whose path begins like another's does not take its shortcuts:
// the shortcut moved is the one the identifier names.
TEST_F(StartupToggle, FolderPrefixNeedsASeparator) {
    std::string common = USER_STARTUP "Common";
    mem_files_set_common_startup(PLAT_S_OK, common.c_str());
    add_shortcut(notes);
    ASSERT_TRUE(mem_files_add_shortcut((common + "\\Notes.lnk").c_str(), "C:\\common.exe", ""));
    ASSERT_EQ(toggle(common + "\\Notes.lnk", 0), 1) << error_text();
    EXPECT_EQ(target_of(notes), "C:\\Apps\\Notes.lnk");
    EXPECT_EQ(target_of(common + "\\disabled\\Notes.lnk"), "C:\\common.exe");
    EXPECT_FALSE(mem_files_exists(user_path("disabled").c_str()));
}

// A folder that lies inside another (an all-users folder placed in the
// user's) keeps its own shortcuts: the outer folder is a prefix of their
// paths, but they do not lie in it or in its "disabled" subfolder.
// The user's folder inside the all-users one, named like the start of one
// of its files: "…\Programs\Startup" does not hold "…\Programs\Startup1.lnk".
TEST_F(StartupToggle, InnerFolderDoesNotClaimAFileNamedLikeIt) {
    std::string outer = std::string(USER_STARTUP).substr(0, std::string(USER_STARTUP).rfind('\\'));
    mem_files_set_common_startup(PLAT_S_OK, outer.c_str());
    ASSERT_TRUE(mem_files_add_shortcut((outer + "\\Startup1.lnk").c_str(), "C:\\outer.exe", ""));
    ASSERT_EQ(toggle(outer + "\\Startup1.lnk", 0), 1) << error_text();
    EXPECT_EQ(target_of(outer + "\\disabled\\Startup1.lnk"), "C:\\outer.exe");
    EXPECT_FALSE(mem_files_exists(user_path("disabled").c_str()));
}

TEST_F(StartupToggle, NestedFolderKeepsItsShortcuts) {
    std::string common = user_path("Shared");
    mem_files_set_common_startup(PLAT_S_OK, common.c_str());
    add_shortcut(notes);
    ASSERT_TRUE(mem_files_add_shortcut((common + "\\Notes.lnk").c_str(), "C:\\shared.exe", ""));
    ASSERT_EQ(toggle(common + "\\Notes.lnk", 0), 1) << error_text();
    EXPECT_EQ(target_of(notes), "C:\\Apps\\Notes.lnk");
    EXPECT_EQ(target_of(common + "\\disabled\\Notes.lnk"), "C:\\shared.exe");
    EXPECT_FALSE(mem_files_exists(notes_off.c_str()));

    // Back on: the outer folder would call it enabled already and move nothing.
    ASSERT_EQ(toggle(common + "\\disabled\\Notes.lnk", 1), 1) << error_text();
    EXPECT_EQ(target_of(common + "\\Notes.lnk"), "C:\\shared.exe");
    EXPECT_FALSE(mem_files_exists((common + "\\disabled").c_str()));
    EXPECT_EQ(target_of(notes), "C:\\Apps\\Notes.lnk");
}

TEST_F(StartupToggle, NonAsciiNamesBothWays) {
    const std::string profile = "C:\\Users\\J\xc3\xbcrgen";
    const std::string folder = profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    mem_files_set_profile(PLAT_S_OK, profile.c_str());
    for (std::string name : {"Caf\xc3\xa9.lnk", "\xe2\x98\x83.lnk"}) {
        add_shortcut(folder + "\\" + name);
        ASSERT_EQ(toggle(folder + "\\" + name, 0), 1) << error_text();
        EXPECT_EQ(target_of(folder + "\\disabled\\" + name), "C:\\Apps\\" + name);
        ASSERT_EQ(toggle(folder + "\\disabled\\" + name, 1), 1) << error_text();
        EXPECT_EQ(target_of(folder + "\\" + name), "C:\\Apps\\" + name);
    }
}

TEST_F(StartupToggle, UsesNoCom) {
    add_shortcut(notes);
    ASSERT_EQ(toggle(notes, 0), 1);
    ASSERT_EQ(toggle(notes_off, 1), 1);
    EXPECT_EQ(mem_calls("CoInitializeEx"), 0);
    EXPECT_EQ(mem_calls("CoCreateInstance"), 0);
    EXPECT_EQ(mem_files_open_searches(), 0);
}

// A name of 255 UTF-16 units can take 765 bytes of UTF-8. It is listed,
// but the toggle refuses it rather than act on a cut name, which may be
// another file's (here: a decoy named like the cut text).
TEST_F(StartupToggle, NameTooLongForTheToggle) {
    std::string e_acute = "\xc3\xa9", name;
    for (int i = 0; i < 251; i++) name += e_acute;
    name += ".lnk";
    std::string decoy;
    for (int i = 0; i < 129; i++) decoy += e_acute;
    decoy += "\xef\xbf\xbd";  // the cut lead byte, as the converter reads it
    add_shortcut(user_path(name));
    add_shortcut(user_path(decoy));
    auto entries = list_shortcuts();
    ASSERT_EQ(entries.size(), 2u);  // the decoy is listed too: every file is
    EXPECT_TRUE(entries[0].name == name || entries[1].name == name);

    EXPECT_EQ(toggle(user_path(name), 0), 0);
    EXPECT_EQ(error_text().rfind("startup: file name too long (over 259 bytes): '" + e_acute, 0), 0u) << error_text();
    EXPECT_TRUE(mem_files_exists(user_path(name).c_str()));
    EXPECT_TRUE(mem_files_exists(user_path(decoy).c_str()));
    EXPECT_FALSE(mem_files_exists(user_path("disabled").c_str()));
    EXPECT_EQ(mem_calls("MoveFileW") + mem_calls("CreateDirectoryW"), 0);

    // Already in the wanted state: no name is needed, so that still answers 1.
    EXPECT_EQ(toggle(user_path(name), 1), 1);
}

// Paths of the move are counted in UTF-8 bytes; a folder of non-ASCII
// letters lists shortcuts whose UTF-8 paths exceed 2047 bytes.
TEST_F(StartupToggle, PathTooLongForTheToggle) {
    std::string snowmen;
    for (int i = 0; i < 200; i++) snowmen += "\xe2\x98\x83";  // 600 bytes, 200 units
    std::string folder = "C:\\" + snowmen + "\\" + snowmen + "\\" + snowmen + "\\" + std::string(180, 'a');
    ASSERT_LT(folder.size(), 2048u);
    mem_files_set_common_startup(PLAT_S_OK, folder.c_str());
    std::string name = std::string(100, 'n') + ".lnk";
    add_shortcut(folder + "\\" + name);
    ASSERT_EQ(list_shortcuts().size(), 1u);
    EXPECT_EQ(toggle(folder + "\\" + name, 0), 0);
    EXPECT_EQ(error_text(), "startup: path too long (over 2047 bytes) for '" + name + "'");
    EXPECT_TRUE(mem_files_exists((folder + "\\" + name).c_str()));
    EXPECT_EQ(mem_calls("MoveFileW") + mem_calls("CreateDirectoryW"), 0);

    // Even "<folder>\disabled" would be cut for a folder of 2040 bytes.
    std::string fuller = folder + std::string(2040 - folder.size(), 'b');
    mem_files_set_common_startup(PLAT_S_OK, fuller.c_str());
    add_shortcut(fuller + "\\x.lnk");
    EXPECT_EQ(toggle(fuller + "\\x.lnk", 0), 0);
    EXPECT_EQ(error_text(), "startup: path too long (over 2047 bytes) for 'x.lnk'");
    EXPECT_TRUE(mem_files_exists((fuller + "\\x.lnk").c_str()));
    EXPECT_EQ(toggle(fuller + "\\x.lnk", 1), 1);
}

TEST_F(StartupToggle, MakeDirectoriesAndFileExists) {
    ASSERT_TRUE(mem_files_add_file("C:\\a\\file"));
    struct row {
        const char *path;
        int made;
        const char *check;  // a directory that must exist afterwards
    } rows[] = {
        {"C:\\x\\y\\z", 1, "C:\\x\\y\\z"}, {"C:/p/q", 1, "C:\\p\\q"}, {"C:\\x\\y", 1, "C:\\x\\y"},
        {"C:\\a\\file", 1, nullptr},       // a file of that name counts as existing
        {"C:\\a\\file\\sub", 0, nullptr},  {"D:\\nodrive", 0, nullptr},
        {"", 0, nullptr},                  {nullptr, 0, nullptr},
    };
    for (const row &r : rows) {
        EXPECT_EQ(make_directories(r.path), r.made) << (r.path ? r.path : "null");
        if (r.check) {
            EXPECT_TRUE(mem_files_is_dir(r.check)) << r.check;
        }
    }
    EXPECT_EQ(file_exists("C:\\a\\file"), 1);
    EXPECT_EQ(file_exists("c:\\A\\FILE"), 1);
    EXPECT_EQ(file_exists("C:\\x"), 1);
    EXPECT_EQ(file_exists("C:\\missing"), 0);
    EXPECT_EQ(file_exists(nullptr), 0);
}

// Off records of Windows' own tools: a shortcut in its folder is listed off
// by one (first byte odd, REG_BINARY, not empty), and switching it on, in
// place or from "disabled\", removes the record; other records stay.
TEST_F(StartupToggle, StartupApprovedRecordsAreReadAndCleared) {
    const char *records_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
    const std::vector<uint8_t> off3 = {3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, off7 = {7, 0, 0, 0},
                               on2 = {2, 0, 0, 0}, on6 = {6}, odd = {1};
    struct row {
        std::string path;  // the shortcut as set up
        plat_hkey hive;
        uint32_t type;
        std::vector<uint8_t> data;
        bool listed_on;
    } rows[] = {
        {notes, PLAT_HKEY_CURRENT_USER, PLAT_REG_BINARY, off3, false},
        {notes, PLAT_HKEY_CURRENT_USER, PLAT_REG_BINARY, off7, false},
        {common_path("Notes.lnk"), PLAT_HKEY_LOCAL_MACHINE, PLAT_REG_BINARY, off3, false},
        {common_path("Notes.lnk"), PLAT_HKEY_CURRENT_USER, PLAT_REG_BINARY, off3, true},  // another hive's
        {notes, PLAT_HKEY_CURRENT_USER, PLAT_REG_BINARY, on2, true},
        {notes, PLAT_HKEY_CURRENT_USER, PLAT_REG_BINARY, on6, true},
        {notes, PLAT_HKEY_CURRENT_USER, PLAT_REG_DWORD, odd, true},
        {notes, PLAT_HKEY_CURRENT_USER, PLAT_REG_BINARY, {}, true},
        {notes_off, PLAT_HKEY_CURRENT_USER, PLAT_REG_BINARY, off3, false},
    };
    for (const row &r : rows) {
        mem_reset();
        add_shortcut(r.path);
        mem_reg_put_a(r.hive, records_key, "Notes.lnk", r.type, r.data.data(), r.data.size());
        mem_reg_put_a(r.hive, records_key, "Other.lnk", PLAT_REG_BINARY, off3.data(), off3.size());
        std::vector<listed_shortcut> got = list_shortcuts();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].enabled, r.listed_on) << r.path << " " << (int)(r.data.empty() ? -1 : r.data[0]);
        ASSERT_EQ(toggle(r.path, 1), 1) << error_text();
        got = list_shortcuts();
        EXPECT_TRUE(got[0].enabled) << r.path;
        bool off_record = r.type == PLAT_REG_BINARY && !r.data.empty() && (r.data[0] & 1);
        bool own_hive = r.hive == (r.path == common_path("Notes.lnk") ? PLAT_HKEY_LOCAL_MACHINE : PLAT_HKEY_CURRENT_USER);
        EXPECT_EQ(mem_reg_find(r.hive, records_key, "Notes.lnk", nullptr), !(off_record && own_hive)) << r.path;
        EXPECT_TRUE(mem_reg_find(r.hive, records_key, "Other.lnk", nullptr));
    }
}

// A record that cannot be removed fails the switch and puts the shortcut back.
TEST_F(StartupToggle, ARecordThatCannotGoUndoesTheMove) {
    const char *records_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
    const uint8_t off[] = {3, 0, 0, 0};
    struct row {
        std::string path;
        int nth_move;  // 0: the undo may move; 2: it fails too
        const char *message;
    } rows[] = {
        {notes, 0, "startup: cannot clear the StartupApproved record of 'Notes.lnk' (0x5)"},
        {notes_off, 0, "startup: cannot clear the StartupApproved record of 'Notes.lnk' (0x5)"},
        {notes_off, 2, "startup: cannot clear the StartupApproved record of 'Notes.lnk' (0x5); undoing the move failed"},
    };
    for (const row &r : rows) {
        mem_reset();
        add_shortcut(r.path);
        mem_reg_put_a(PLAT_HKEY_CURRENT_USER, records_key, "Notes.lnk", PLAT_REG_BINARY, off, sizeof off);
        mem_fail("RegDeleteValueW", PLAT_ERROR_ACCESS_DENIED);
        if (r.nth_move) mem_fail("MoveFileW", 0, r.nth_move);
        EXPECT_EQ(toggle(r.path, 1), 0);
        EXPECT_EQ(error_text(), r.message);
        EXPECT_EQ(mem_files_exists(r.path.c_str()), r.nth_move == 0) << r.path;
        EXPECT_TRUE(mem_reg_find(PLAT_HKEY_CURRENT_USER, records_key, "Notes.lnk", nullptr));
    }
}

// The toggle's file-name limit is 259 bytes of UTF-8, exactly.
TEST_F(StartupToggle, NameLimitIsExactly259Bytes) {
    std::string e_acute = "\xc3\xa9", fits, over;
    for (int i = 0; i < 127; i++) fits += e_acute;
    over = fits + e_acute + ".lnk";  // 260 bytes
    fits += "a.lnk";                 // 259 bytes
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_EQ(over.size(), 260u);
    add_shortcut(user_path(fits));
    add_shortcut(user_path(over));
    EXPECT_EQ(toggle(user_path(fits), 0), 1) << error_text();
    EXPECT_TRUE(mem_files_exists(user_path("disabled\\" + fits).c_str()));
    EXPECT_EQ(toggle(user_path(over), 0), 0);
    EXPECT_EQ(error_text().rfind("startup: file name too long (over 259 bytes)", 0), 0u) << error_text();
    EXPECT_TRUE(mem_files_exists(user_path(over).c_str()));
}

// Nothing is switched in a folder reached through a link: neither through
// a "disabled" subfolder that leads to a folder only administrators may
// write, nor in a Startup folder that is a link itself. Nothing moves,
// nothing is made, no record changes, and the folder linked to is as it was.
TEST_F(StartupToggle, NothingIsSwitchedThroughALink) {
    const char *records_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
    const uint8_t off[] = {3, 0, 0, 0};
    const std::string user_disabled = user_path("disabled"), common_disabled = common_path("disabled");
    const std::string refused = "startup: refused \xe2\x80\x94 '";
    struct row {
        const char *what;
        std::string link, link_target;  // the folder made a link, and where it leads
        std::string item;               // the shortcut switched, as listed
        int enabled;
        std::string message;
    } rows[] = {
        {"off into a linked subfolder", user_disabled, "C:\\Victim", notes, 0, refused + user_disabled + "' is a link (reparse point)"},
        {"on while the subfolder is a link", user_disabled, "C:\\Victim", notes, 1, refused + user_disabled + "' is a link (reparse point)"},
        {"out of a linked subfolder", user_disabled, "C:\\Victim", user_path("disabled\\Prot.lnk"), 1, "startup: entry no longer exists"},
        {"into a dangling link", user_disabled, "C:\\NotYet", notes, 0, refused + user_disabled + "' is a link (reparse point)"},
        {"all-users subfolder", common_disabled, "C:\\Victim", common_path("Notes.lnk"), 0, refused + common_disabled + "' is a link (reparse point)"},
        {"folder itself, off", USER_STARTUP, "C:\\Victim", notes, 0, refused + USER_STARTUP "' is a link (reparse point)"},
        {"folder itself, on", USER_STARTUP, "C:\\Victim", user_path("disabled\\Prot.lnk"), 1, refused + USER_STARTUP "' is a link (reparse point)"},
    };
    for (const row &r : rows) {
        mem_reset();
        bool whole_folder = r.link == USER_STARTUP;
        for (const char *file : {"C:\\Victim\\Prot.lnk", "C:\\Victim\\disabled\\Prot.lnk", "C:\\Victim\\Notes.lnk"}) {
            ASSERT_TRUE(mem_files_add_shortcut(file, "C:\\Apps\\victim.exe", ""));
        }
        if (!whole_folder) add_shortcut(r.item.find("Prot") != std::string::npos ? notes : r.item);
        ASSERT_TRUE(mem_files_add_link(r.link.c_str(), r.link_target.c_str())) << r.what;
        mem_reg_put_a(PLAT_HKEY_CURRENT_USER, records_key, "Notes.lnk", PLAT_REG_BINARY, off, sizeof off);
        mem_cut_after(INT32_MAX);  // counts the changes tried
        EXPECT_EQ(toggle(r.item, r.enabled), 0) << r.what;
        EXPECT_EQ(error_text(), r.message) << r.what;
        EXPECT_EQ(mem_changes(), 0) << r.what;
        EXPECT_EQ(mem_files_open_handles(), 0) << r.what;
        EXPECT_EQ(mem_files_names("C:\\Victim"), (std::vector<std::string>{"Prot.lnk", "disabled", "Notes.lnk"})) << r.what;
        EXPECT_EQ(mem_files_names("C:\\Victim\\disabled"), std::vector<std::string>{"Prot.lnk"}) << r.what;
        EXPECT_FALSE(mem_files_exists("C:\\NotYet")) << r.what;
        EXPECT_TRUE(mem_files_is_link(r.link.c_str())) << r.what;
        EXPECT_TRUE(mem_reg_find(PLAT_HKEY_CURRENT_USER, records_key, "Notes.lnk", nullptr)) << r.what;
    }
}

// Another program that tries to swap either folder for a link right before
// the move gains nothing: both are held open, without sharing deletion,
// from their check until the switch is over.
TEST_F(StartupToggle, ASwapBeforeTheMoveIsRefused) {
    struct row {
        const char *what;
        std::string from;
        int enabled;
        bool subfolder_there;
    } rows[] = {
        {"off, subfolder there", notes, 0, true},
        {"off, subfolder made", notes, 0, false},
        {"on", notes_off, 1, true},
    };
    for (const row &r : rows) {
        mem_reset();
        ASSERT_TRUE(mem_files_add_dir("C:\\Victim"));
        add_shortcut(r.from);
        if (r.subfolder_there) {
            ASSERT_TRUE(mem_files_add_dir(user_path("disabled").c_str()));
        }
        std::vector<plat_error> answers;
        mem_before_call("MoveFileW", 1, [&] {
            for (const std::string &dir : {user_path("disabled"), std::string(USER_STARTUP)}) {
                std::u16string from = u16(dir), to = u16(dir + "-old");
                answers.push_back(plat_move_file(from.c_str(), to.c_str()) ? 0 : plat_get_last_error());
                answers.push_back(plat_remove_directory(from.c_str()) ? 0 : plat_get_last_error());
                answers.push_back(mem_files_remove(dir.c_str()) ? 0 : 1);
                answers.push_back(mem_files_add_link(dir.c_str(), "C:\\Victim") ? 0 : 1);
            }
        });
        ASSERT_EQ(toggle(r.from, r.enabled), 1) << r.what << ": " << error_text();
        EXPECT_EQ(answers, (std::vector<plat_error>{32, 32, 1, 1, 32, 32, 1, 1})) << r.what;
        EXPECT_EQ(target_of(r.enabled ? notes : notes_off), "C:\\Apps\\Notes.lnk") << r.what;
        EXPECT_TRUE(mem_files_names("C:\\Victim").empty()) << r.what;
        EXPECT_EQ(mem_files_exists(user_path("disabled").c_str()), !r.enabled) << r.what;  // emptied and removed
        EXPECT_EQ(mem_files_open_handles(), 0) << r.what;
    }
}

// The emptied subfolder goes only when it is a real folder: one swapped
// for a link once the switch let go of it stays, and so does what it leads to.
TEST_F(StartupToggle, AnEmptiedSubfolderGoesOnlyWhenReal) {
    add_shortcut(notes_off);
    ASSERT_TRUE(mem_files_add_dir("C:\\Victim"));
    // The third open is the removal's own, after the move.
    mem_before_call("CreateFileW", 3, [&] {
        ASSERT_TRUE(mem_files_remove(user_path("disabled").c_str()));
        ASSERT_TRUE(mem_files_add_link(user_path("disabled").c_str(), "C:\\Victim"));
    });
    ASSERT_EQ(toggle(notes_off, 1), 1) << error_text();
    EXPECT_EQ(target_of(notes), "C:\\Apps\\Notes.lnk");
    EXPECT_TRUE(mem_files_is_link(user_path("disabled").c_str()));
    EXPECT_TRUE(mem_files_is_dir("C:\\Victim"));
    EXPECT_EQ(mem_calls("CreateFileW"), 3);
}

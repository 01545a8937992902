// The in-memory machine's bookkeeping switch and its name indexes: looking
// names up by index must keep the answers a scan gave (ASCII case folded,
// enumeration order, renames and deletes seen at once).
#include <cstring>
#include <string>
#include <vector>

#include "platform/mem/mem_files.h"
#include "platform/mem/mem_registry.h"
#include "platform/platform_files.h"
#include "platform/platform_registry.h"
#include "test_support.h"

namespace {

const char run_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

plat_hkey open_run(uint32_t access) {
    plat_hkey key = nullptr;
    EXPECT_EQ(plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, run_key, 0, access, &key), PLAT_ERROR_SUCCESS);
    return key;
}

std::vector<std::string> enumerated_names() {
    std::vector<std::string> names;
    plat_hkey key = open_run(PLAT_KEY_READ);
    for (uint32_t i = 0;; i++) {
        char16_t name[64];
        uint32_t len = 64;
        if (plat_reg_enum_value_w(key, i, name, &len, nullptr, nullptr, nullptr) != PLAT_ERROR_SUCCESS) break;
        names.push_back(std::string(name, name + len));
    }
    plat_reg_close_key(key);
    return names;
}

using ProvidersMemMachine = MachineTest;

TEST_F(ProvidersMemMachine, RecordingOffCountsNothingButFaultsStillFire) {
    mem_record_calls(false);
    mem_fail("RegOpenKeyExA", PLAT_ERROR_ACCESS_DENIED);
    plat_hkey key = nullptr;
    EXPECT_EQ(plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, run_key, 0, PLAT_KEY_READ, &key),
              PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, run_key, 0, PLAT_KEY_READ, &key),
              PLAT_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(mem_calls("RegOpenKeyExA"), 0);
    EXPECT_TRUE(mem_call_log().empty());

    mem_reset();  // turns recording back on
    plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, run_key, 0, PLAT_KEY_READ, &key);
    EXPECT_EQ(mem_calls("RegOpenKeyExA"), 1);
    EXPECT_EQ(mem_thread_calls("RegOpenKeyExA"), 1);
    EXPECT_EQ(mem_call_log(), std::vector<std::string>{"RegOpenKeyExA"});
}

TEST_F(ProvidersMemMachine, RegistryNamesFoldCaseAndKeepOrderThroughDeletes) {
    for (const char *name : {"Alpha", "Beta", "Gamma", "Delta"})
        mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_key, name, "x");
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_key, "BETA", "replaced");  // same value, new data

    plat_hkey key = open_run(PLAT_KEY_READ | PLAT_KEY_SET_VALUE);
    EXPECT_EQ(plat_reg_delete_value_w(key, u"alpha"), PLAT_ERROR_SUCCESS);
    EXPECT_EQ(plat_reg_delete_value_w(key, u"alpha"), PLAT_ERROR_FILE_NOT_FOUND);
    uint8_t data[32];
    uint32_t size = sizeof data;
    EXPECT_EQ(plat_reg_query_value_ex_w(key, u"beta", nullptr, data, &size), PLAT_ERROR_SUCCESS);
    EXPECT_EQ(std::u16string((const char16_t *)data), u"replaced");
    // Positions after a delete moved up: every later value is still found.
    size = sizeof data;
    EXPECT_EQ(plat_reg_query_value_ex_w(key, u"DELTA", nullptr, data, &size), PLAT_ERROR_SUCCESS);
    EXPECT_EQ(plat_reg_set_value_ex_w(key, u"alpha", PLAT_REG_SZ, (const uint8_t *)"y\0\0", 4), PLAT_ERROR_SUCCESS);
    plat_reg_close_key(key);

    EXPECT_EQ(enumerated_names(), (std::vector<std::string>{"Beta", "Gamma", "Delta", "alpha"}));
}

TEST_F(ProvidersMemMachine, FileNamesFoldCaseAndFollowMoves) {
    const char dir[] = "C:\\Startup";
    ASSERT_TRUE(mem_files_add_shortcut("C:\\Startup\\Notes.lnk", "C:\\notes.exe", ""));
    ASSERT_TRUE(mem_files_add_dir("C:\\Startup\\disabled"));
    EXPECT_TRUE(mem_files_exists("c:\\startup\\NOTES.LNK"));
    EXPECT_FALSE(mem_files_add_dir("C:\\STARTUP\\notes.lnk"));  // the file is in the way

    EXPECT_NE(plat_move_file(u"C:\\Startup\\notes.lnk", u"C:\\Startup\\disabled\\Notes.lnk"), 0);
    EXPECT_FALSE(mem_files_exists("C:\\Startup\\Notes.lnk"));
    EXPECT_TRUE(mem_files_exists("C:\\Startup\\DISABLED\\notes.lnk"));
    EXPECT_EQ(mem_files_names(dir), std::vector<std::string>{"disabled"});

    // A move within one folder that only changes the case renames the file.
    EXPECT_NE(plat_move_file(u"C:\\Startup\\disabled\\Notes.lnk", u"C:\\Startup\\disabled\\NOTES.lnk"), 0);
    EXPECT_EQ(mem_files_names("C:\\Startup\\disabled"), std::vector<std::string>{"NOTES.lnk"});
    EXPECT_TRUE(mem_files_remove("C:\\Startup\\disabled\\notes.lnk"));
    EXPECT_NE(plat_remove_directory(u"C:\\Startup\\Disabled"), 0);
    EXPECT_TRUE(mem_files_names(dir).empty());
}

TEST_F(ProvidersMemMachine, SearchSnapshotHandsOutTerminatedNames) {
    ASSERT_TRUE(mem_files_add_shortcut("C:\\S\\a-long-name.lnk", "C:\\a.exe", ""));
    ASSERT_TRUE(mem_files_add_shortcut("C:\\S\\b.lnk", "C:\\b.exe", ""));
    plat_find_data data;
    memset(&data, 0x55, sizeof data);
    plat_find search = plat_find_first_file(u"C:\\S\\*.lnk", &data);
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(std::u16string(data.file_name), u"a-long-name.lnk");
    EXPECT_EQ(data.attributes, PLAT_FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_NE(plat_find_next_file(search, &data), 0);
    EXPECT_EQ(std::u16string(data.file_name), u"b.lnk");
    EXPECT_EQ(data.file_name[PLAT_MAX_PATH - 1], u'\0');  // nothing of the longer name left behind
    EXPECT_EQ(data.file_name[7], u'\0');
    EXPECT_EQ(plat_find_next_file(search, &data), 0);
    EXPECT_NE(plat_find_close(search), 0);
}

}  // namespace

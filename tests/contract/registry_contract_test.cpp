// The registry operations' answers: opening and creating keys, access
// rights, value names without regard to case, enumeration and query
// buffers, unterminated string data, names over the limits and the 32-bit
// view of the machine hive.
#include <algorithm>
#include <cstring>
#include <thread>

#include "contract/contract.h"

namespace {

using ContractRegistry = ContractTest;

plat_error set_text(plat_hkey k, const std::u16string &name, const std::u16string &text,
                    uint32_t type = PLAT_REG_SZ) {
    std::vector<uint8_t> b = utf16_bytes(text);
    return plat_reg_set_value_ex_w(k, name.c_str(), type, b.data(), (uint32_t)b.size());
}

std::vector<std::u16string> names_of(plat_hkey k) {
    std::vector<std::u16string> names;
    for (uint32_t i = 0;; i++) {
        char16_t name[300];
        uint32_t len = 300;
        if (plat_reg_enum_value_w(k, i, name, &len, nullptr, nullptr, nullptr) != 0) break;
        names.emplace_back(name, len);
    }
    return names;
}

std::vector<uint8_t> data_of(plat_hkey k, const std::u16string &name, uint32_t *type = nullptr) {
    uint8_t buf[512];
    uint32_t len = sizeof buf;
    if (plat_reg_query_value_ex_w(k, name.c_str(), type, buf, &len) != 0) return {0xEE};
    return std::vector<uint8_t>(buf, buf + len);
}

}  // namespace

TEST_F(ContractRegistry, OpenCreateAccessAndClose) {
    plat_hkey k = (plat_hkey)1;
    EXPECT_EQ(plat_reg_open_key_ex_a(HKCU, (key + "\\missing").c_str(), 0, PLAT_KEY_READ, &k),
              PLAT_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(k, nullptr);
    // Paths fold case; a key opened below an open key.
    std::string upper = key;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    plat_hkey parent = nullptr, read = nullptr;
    ASSERT_EQ(plat_reg_open_key_ex_a(HKCU, "software", 0, PLAT_KEY_READ, &parent), 0u);
    ASSERT_EQ(plat_reg_open_key_ex_a(parent, upper.substr(9).c_str(), 0, PLAT_KEY_READ, &read), 0u);
    EXPECT_EQ(set_text(read, u"x", u"1"), PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(plat_reg_delete_value_w(read, u"x"), PLAT_ERROR_ACCESS_DENIED);

    plat_hkey write = open();
    ASSERT_NE(write, nullptr);
    EXPECT_EQ(set_text(write, u"x", u"1"), 0u);
    EXPECT_EQ(plat_reg_delete_value_w(write, u"X"), 0u);
    EXPECT_EQ(plat_reg_delete_value_w(write, u"x"), PLAT_ERROR_FILE_NOT_FOUND);
    // Creating makes the missing parents, and opens what is there.
    plat_hkey made = nullptr, again = nullptr;
    EXPECT_EQ(plat_reg_create_key_ex_a(HKCU, (key + "\\a\\b").c_str(), PLAT_KEY_READ, &made), 0u);
    EXPECT_EQ(plat_reg_create_key_ex_a(HKCU, (key + "\\A\\B").c_str(), PLAT_KEY_READ, &again), 0u);
    for (plat_hkey h : {parent, read, write, made, again}) EXPECT_EQ(plat_reg_close_key(h), 0u);
}

TEST_F(ContractRegistry, ValueNamesFoldCaseAndKeepTheirSpelling) {
    plat_hkey k = open();
    ASSERT_EQ(set_text(k, u"b", u"1"), 0u);
    ASSERT_EQ(set_text(k, u"A", u"2"), 0u);
    ASSERT_EQ(set_text(k, u"B", u"3"), 0u);  // the same value: new data, first spelling
    ASSERT_EQ(set_text(k, u"caf\u00e9", u"4"), 0u);
    ASSERT_EQ(set_text(k, u"\u00c0\u0411", u"5"), 0u);
    // Windows, and the stand-in, enumerate values in the order they were
    // first written; Wine in the order of their names: compared as sets.
    std::vector<std::u16string> names = names_of(k);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"b", u"caf\u00e9", u"\u00c0\u0411"}));
    EXPECT_EQ(data_of(k, u"b"), utf16_bytes(u"3"));
    // Letters beyond ASCII fold too.
    EXPECT_EQ(data_of(k, u"CAF\u00c9"), utf16_bytes(u"4"));
    EXPECT_EQ(data_of(k, u"\u00e0\u0431"), utf16_bytes(u"5"));
    EXPECT_EQ(data_of(k, u"cafe"), std::vector<uint8_t>{0xEE});
    plat_reg_close_key(k);
}

TEST_F(ContractRegistry, EnumerationBuffers) {
    plat_hkey k = open();
    ASSERT_EQ(set_text(k, u"name", u"data"), 0u);
    struct row {
        uint32_t name_cap, data_cap;  // units, bytes
        bool want_data;
        plat_error result;
        uint32_t name_out, data_out;
    } rows[] = {
        {8, 16, true, 0, 4, 10},
        {5, 16, true, 0, 4, 10},
        {4, 16, true, PLAT_ERROR_MORE_DATA, 4, 10},  // the name needs room for its terminator
        {8, 4, true, PLAT_ERROR_MORE_DATA, 4, 10},   // the size needed is told
        {8, 0, false, 0, 4, 10},                     // size only
    };
    for (const row &r : rows) {
        char16_t name[8];
        uint8_t data[16];
        uint32_t name_len = r.name_cap, data_len = r.data_cap, type = 0;
        EXPECT_EQ(plat_reg_enum_value_w(k, 0, name, &name_len, &type, r.want_data ? data : nullptr, &data_len),
                  r.result) << r.name_cap << " " << r.data_cap;
        EXPECT_EQ(name_len, r.name_out) << r.name_cap << " " << r.data_cap;
        EXPECT_EQ(data_len, r.data_out) << r.name_cap << " " << r.data_cap;
    }
    char16_t name[8];
    uint8_t data[16];
    uint32_t name_len = 8;
    EXPECT_EQ(plat_reg_enum_value_w(k, 1, name, &name_len, nullptr, nullptr, nullptr), PLAT_ERROR_NO_MORE_ITEMS);
    name_len = 8;
    EXPECT_EQ(plat_reg_enum_value_w(k, 0, name, &name_len, nullptr, data, nullptr), PLAT_ERROR_INVALID_PARAMETER);
    plat_reg_close_key(k);
}

TEST_F(ContractRegistry, QueryBuffersAndUnterminatedText) {
    plat_hkey k = open();
    // Text without its terminator, followed in memory by more text: stored as given.
    std::vector<uint8_t> open_text = utf16_bytes(u"abc", false);
    ASSERT_EQ(plat_reg_set_value_ex_w(k, u"v", PLAT_REG_SZ, open_text.data(), 4), 0u);
    // Followed by a NUL unit, the write takes that in as the forgotten terminator.
    std::vector<uint8_t> forgot = utf16_bytes(u"ab");
    ASSERT_EQ(plat_reg_set_value_ex_w(k, u"forgot", PLAT_REG_EXPAND_SZ, forgot.data(), 4), 0u);
    EXPECT_EQ(data_of(k, u"forgot"), forgot);
    ASSERT_EQ(plat_reg_set_value_ex_w(k, u"binary", PLAT_REG_BINARY, forgot.data(), 4), 0u);
    EXPECT_EQ(data_of(k, u"binary").size(), 4u);
    uint8_t buf[16];
    uint32_t len = 0, type = 0;
    EXPECT_EQ(plat_reg_query_value_ex_w(k, u"v", &type, nullptr, &len), 0u);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(type, PLAT_REG_SZ);
    len = 2;
    EXPECT_EQ(plat_reg_query_value_ex_w(k, u"v", nullptr, buf, &len), PLAT_ERROR_MORE_DATA);
    EXPECT_EQ(len, 4u);
    memset(buf, 0x55, sizeof buf);
    len = 4;
    EXPECT_EQ(plat_reg_query_value_ex_w(k, u"v", nullptr, buf, &len), 0u);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(buf[4], 0x55) << "no room, no terminator";
    // With room the text is terminated in the buffer; the count stays the stored one.
    len = sizeof buf;
    EXPECT_EQ(plat_reg_query_value_ex_w(k, u"v", nullptr, buf, &len), 0u);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(buf[4] | buf[5], 0);
    EXPECT_EQ(plat_reg_query_value_ex_w(k, u"none", nullptr, nullptr, nullptr), PLAT_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(plat_reg_query_value_ex_w(k, u"v", nullptr, buf, nullptr), PLAT_ERROR_INVALID_PARAMETER);
    // Odd lengths and other types come back as written.
    const uint8_t odd[] = {'a', 0, 'b'};
    ASSERT_EQ(plat_reg_set_value_ex_w(k, u"odd", PLAT_REG_EXPAND_SZ, odd, 3), 0u);
    EXPECT_EQ(data_of(k, u"odd", &type), std::vector<uint8_t>(odd, odd + 3));
    EXPECT_EQ(type, PLAT_REG_EXPAND_SZ);
    ASSERT_EQ(plat_reg_set_value_ex_w(k, u"", PLAT_REG_DWORD, (const uint8_t *)"\1\0\0\0", 4), 0u);
    EXPECT_EQ(data_of(k, u"", &type), (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(type, PLAT_REG_DWORD);
    ASSERT_EQ(plat_reg_set_value_ex_w(k, u"empty", PLAT_REG_SZ, nullptr, 0), 0u);
    EXPECT_EQ(data_of(k, u"empty"), std::vector<uint8_t>{});
    plat_reg_close_key(k);
}

TEST_F(ContractRegistry, NamesOverTheLimits) {
    plat_hkey k = open();
    std::u16string longest(16383, u'n');
    EXPECT_EQ(set_text(k, longest, u"1"), 0u);
    EXPECT_EQ(set_text(k, longest + u"n", u"1"), PLAT_ERROR_INVALID_PARAMETER);
    // Windows refuses key names over 255 characters; Wine does not, nor the
    // stand-in, and the library makes none.
    plat_hkey sub = nullptr;
    EXPECT_EQ(plat_reg_create_key_ex_a(k, std::string(255, 'k').c_str(), PLAT_KEY_READ, &sub), 0u);
    plat_reg_close_key(sub);
    plat_reg_close_key(k);
}

// The machine hive's Software has a 32-bit view below WOW6432Node on 64-bit
// Windows; the user's hive is shared by both views. (A machine of one view,
// x86 or ARM, is the stand-in's set-up alone: Wine here is 64-bit.)
TEST_F(ContractRegistry, ThirtyTwoBitView) {
    EXPECT_EQ(plat_get_native_processor_architecture(), PLAT_PROCESSOR_ARCHITECTURE_AMD64);
    // The records' clock: a FILETIME after 2010-01-01 that does not go back.
    uint64_t first = plat_get_system_time_as_file_time();
    EXPECT_GT(first, 0x01CA8A755C6E0000ull);
    EXPECT_GE(plat_get_system_time_as_file_time(), first);
    std::string wow = "Software\\WOW6432Node" + key.substr(8);
    // Without a view flag a 32-bit Windows process sees the 32-bit view;
    // the stand-in answers as the 64-bit DLL's process does.
    const bool wow_process = contract_on_windows() && sizeof(void *) == 4;
    struct row {
        plat_hkey root;
        uint32_t view;
        std::u16string name;
        std::string native_path;
    } rows[] = {
        {HKLM, PLAT_KEY_WOW64_32KEY, u"v32", wow},
        {HKLM, PLAT_KEY_WOW64_64KEY, u"v64", key},
        {HKLM, 0, u"plain", wow_process ? wow : key},
        {HKCU, PLAT_KEY_WOW64_32KEY, u"user", key},
    };
    for (const row &r : rows) {
        plat_hkey k = nullptr;
        ASSERT_EQ(plat_reg_create_key_ex_a(r.root, key.c_str(), PLAT_KEY_READ | PLAT_KEY_SET_VALUE | r.view, &k), 0u);
        EXPECT_EQ(set_text(k, r.name, u"1"), 0u);
        plat_reg_close_key(k);
        // Where the value went, read by its full path in the native view.
        plat_hkey seen = nullptr;
        ASSERT_EQ(plat_reg_open_key_ex_a(r.root, r.native_path.c_str(), 0, PLAT_KEY_READ | PLAT_KEY_WOW64_64KEY,
                                         &seen), 0u);
        std::vector<std::u16string> names = names_of(seen);
        EXPECT_NE(std::find(names.begin(), names.end(), r.name), names.end()) << r.view;
        plat_reg_close_key(seen);
    }
    plat_hkey k32 = open(PLAT_KEY_READ | PLAT_KEY_WOW64_32KEY, HKLM);
    std::vector<std::u16string> in32 = names_of(k32);
    std::sort(in32.begin(), in32.end());
    std::vector<std::u16string> expected = {u"v32"};
    if (wow_process) expected.insert(expected.begin(), u"plain");
    EXPECT_EQ(in32, expected);
    plat_reg_close_key(k32);
}

TEST_F(ContractRegistry, ConcurrentWritersKeepEveryValue) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < 25; i++) {
                plat_hkey k = open();
                std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                set_text(k, u16(name), u"x");
                plat_reg_close_key(k);
            }
        });
    }
    for (std::thread &t : threads) t.join();
    plat_hkey k = open();
    EXPECT_EQ(names_of(k).size(), 100u);
    plat_reg_close_key(k);
}

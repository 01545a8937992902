// The in-memory registry and code page that the run-key provider runs on:
// they must answer as the Win32 calls do, or the provider tests prove nothing.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/mem/mem_ansi.h"
#include "platform/platform_convert.h"
#include "run_keys_support.h"

namespace {

class RunKeyMemRegistry : public RunKeyFixture {
  protected:
    plat_hkey open(plat_hkey root, const char *subkey, uint32_t access = PLAT_KEY_READ) {
        plat_hkey key = nullptr;
        EXPECT_EQ(plat_reg_open_key_ex_a(root, subkey, 0, access, &key), 0u) << subkey;
        return key;
    }
};

}  // namespace

TEST(RunKeyAnsi, CodePage1252BothWays) {
    struct row {
        unsigned char byte;
        char16_t unit;
    } rows[] = {
        {0x41, u'A'},    {0x80, 0x20AC}, {0x82, 0x201A}, {0x83, 0x0192}, {0x85, 0x2026}, {0x8A, 0x0160},
        {0x8C, 0x0152},  {0x8E, 0x017D}, {0x91, 0x2018}, {0x96, 0x2013}, {0x99, 0x2122}, {0x9F, 0x0178},
        {0x81, 0x0081},  {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D}, {0xA0, 0x00A0},
        {0xE9, 0x00E9},  {0xFF, 0x00FF}, {0x00, 0x0000},
    };
    for (const row &r : rows) {
        EXPECT_EQ(mem_cp1252_decode(r.byte), r.unit) << std::hex << (int)r.byte;
        EXPECT_EQ(mem_cp1252_encode(r.unit), r.byte) << std::hex << (int)r.unit;
    }
    // Units the code page cannot show, including the C1 controls it maps elsewhere.
    const char16_t outside[] = {0x2603, 0x0080, 0x009F, 0x0100, 0xD83D, 0xFFFD};
    for (char16_t u : outside) EXPECT_EQ(mem_cp1252_encode(u), '?') << std::hex << (int)u;
}

TEST(RunKeyAnsi, ConverterCounts) {
    char16_t buf[8];
    EXPECT_EQ(plat_ansi_to_utf16("Caf\xe9", -1, nullptr, 0), 5);
    EXPECT_EQ(plat_ansi_to_utf16("Caf\xe9", -1, buf, 8), 5);
    EXPECT_EQ(std::u16string(buf), u"Caf\u00e9");
    EXPECT_EQ(plat_ansi_to_utf16("\x80x", 2, buf, 8), 2) << "explicit length, no terminator";
    EXPECT_EQ(buf[0], 0x20AC);
    EXPECT_EQ(plat_ansi_to_utf16("abc", -1, buf, 3), 0) << "too small a buffer";
    EXPECT_EQ(plat_ansi_to_utf16(nullptr, -1, buf, 8), 0);
    EXPECT_EQ(plat_ansi_to_utf16("abc", 0, buf, 8), 0);
    // Back to the code page: a unit it cannot hold is a default character, '?' itself is not.
    char out[8];
    int used = -1;
    EXPECT_EQ(plat_utf16_to_ansi(u"Caf\u00e9?", -1, out, 8, &used), 6);
    EXPECT_STREQ(out, "Caf\xe9?");
    EXPECT_EQ(used, 0);
    EXPECT_EQ(plat_utf16_to_ansi(u"\u2603", -1, nullptr, 0, &used), 2);
    EXPECT_EQ(used, 1);
}

TEST_F(RunKeyMemRegistry, NamesFoldCaseAndKeepOrder) {
    mem_reg_put_string(HKCU, RUN, "b", "1");
    mem_reg_put_string(HKCU, RUN, "A", "2");
    mem_reg_put_string(HKCU, RUN, "B", "3");  // replaces "b" in place, keeping its spelling
    EXPECT_EQ(names_of(HKCU, RUN), (std::vector<std::string>{"b", "A"}));
    EXPECT_EQ(text_of(HKCU, RUN, "b"), "3");
    EXPECT_TRUE(has_value(HKCU, "software\\MICROSOFT\\windows\\currentversion\\run", "a"));
}

TEST_F(RunKeyMemRegistry, OpenCreateAndAccess) {
    plat_hkey key = (plat_hkey)1;
    EXPECT_EQ(plat_reg_open_key_ex_a(HKCU, RUN, 0, PLAT_KEY_READ, &key), PLAT_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    mem_reg_add_key(HKCU, RUN);
    plat_hkey parent = open(HKCU, "Software\\Microsoft");  // parents exist too
    plat_hkey read = open(parent, "Windows\\CurrentVersion\\Run");
    EXPECT_EQ(plat_reg_set_value_ex_w(read, u"x", PLAT_REG_SZ, (const uint8_t *)"1\0\0", 4), PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(plat_reg_delete_value_w(read, u"x"), PLAT_ERROR_ACCESS_DENIED);
    plat_hkey write = open(HKCU, RUN, PLAT_KEY_READ | PLAT_KEY_SET_VALUE);
    EXPECT_EQ(plat_reg_set_value_ex_w(write, u"x", PLAT_REG_SZ, (const uint8_t *)"1\0\0", 4), 0u);
    EXPECT_EQ(plat_reg_delete_value_w(write, u"X"), 0u);
    EXPECT_EQ(plat_reg_delete_value_w(write, u"x"), PLAT_ERROR_FILE_NOT_FOUND);

    mem_reg_deny_writes(HKLM, "Software");
    EXPECT_EQ(plat_reg_create_key_ex_a(HKLM, APPROVED, PLAT_KEY_READ, &key), PLAT_ERROR_ACCESS_DENIED);
    ASSERT_EQ(plat_reg_create_key_ex_a(HKCU, APPROVED, PLAT_KEY_READ, &key), 0u);
    EXPECT_EQ(mem_reg_open_handles(), 4);
    for (plat_hkey k : {parent, read, write, key}) EXPECT_EQ(plat_reg_close_key(k), 0u);
    EXPECT_EQ(plat_reg_close_key(key), PLAT_ERROR_INVALID_HANDLE);

    mem_reg_put_string(HKCU, RUN, "v", "1");
    key = open(HKCU, RUN);
    mem_reg_remove_key(HKCU, "Software\\Microsoft\\Windows");
    uint32_t n = 0;
    EXPECT_EQ(plat_reg_query_value_ex_w(key, u"v", nullptr, nullptr, &n), PLAT_ERROR_KEY_DELETED);
    plat_reg_close_key(key);
}

TEST_F(RunKeyMemRegistry, EnumerationBuffers) {
    mem_reg_put_string(HKCU, RUN, "name", "data");
    plat_hkey key = open(HKCU, RUN);
    char16_t name[8];
    uint8_t data[16];
    uint32_t name_len, data_len, type;
    struct row {
        uint32_t name_cap, data_cap;  // units, bytes
        bool want_data;
        plat_error result;
        uint32_t name_out, data_out;
    } rows[] = {
        {8, 16, true, 0, 4, 10},
        {5, 16, true, 0, 4, 10},
        {4, 16, true, PLAT_ERROR_MORE_DATA, 4, 16},  // name needs its terminator
        {8, 4, true, PLAT_ERROR_MORE_DATA, 4, 10},   // the size needed is told
        {8, 0, false, 0, 4, 10},                     // size only
    };
    for (const row &r : rows) {
        name_len = r.name_cap;
        data_len = r.data_cap;
        type = 0;
        EXPECT_EQ(plat_reg_enum_value_w(key, 0, name, &name_len, &type, r.want_data ? data : nullptr, &data_len),
                  r.result);
        EXPECT_EQ(name_len, r.name_out);
        EXPECT_EQ(data_len, r.data_out);
    }
    name_len = 8;
    EXPECT_EQ(plat_reg_enum_value_w(key, 1, name, &name_len, nullptr, nullptr, nullptr), PLAT_ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(plat_reg_enum_value_w(key, 0, name, &name_len, nullptr, data, nullptr), PLAT_ERROR_INVALID_PARAMETER);
    plat_reg_close_key(key);
}

// The calls see the stored UTF-16; 8-bit set-up goes through code page 1252.
TEST_F(RunKeyMemRegistry, WideCallsAndCodePageSetUp) {
    std::vector<uint8_t> data = mem_reg_utf16_bytes(u"\u2603\u00e9");
    mem_reg_put_w(HKCU, RUN, u"Snow\u2603", PLAT_REG_SZ, data.data(), data.size());
    plat_hkey key = open(HKCU, RUN, PLAT_KEY_READ | PLAT_KEY_SET_VALUE);
    char16_t name[16];
    uint8_t bytes[16];
    uint32_t name_len = 16, len = 16, type = 0;
    ASSERT_EQ(plat_reg_enum_value_w(key, 0, name, &name_len, &type, bytes, &len), 0u);
    EXPECT_EQ(std::u16string(name, name_len), u"Snow\u2603");
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + len), data);
    EXPECT_EQ(plat_reg_query_value_ex_w(key, u"Snow?", nullptr, nullptr, nullptr), PLAT_ERROR_FILE_NOT_FOUND);
    len = 16;
    EXPECT_EQ(plat_reg_query_value_ex_w(key, u"SNOW\u2603", &type, bytes, &len), 0u);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + len), data);
    EXPECT_EQ(text_of(HKCU, RUN, "Snow?"), "<missing>");

    mem_reg_put_a(HKCU, RUN, "Caf\xe9", PLAT_REG_SZ, "\x80", 2);
    mem_reg_value v;
    ASSERT_TRUE(mem_reg_find(HKCU, RUN, "Caf\xe9", &v));
    EXPECT_EQ(v.name, u"Caf\u00e9");
    EXPECT_EQ(v.data, mem_reg_utf16_bytes(u"\u20ac"));
    plat_reg_close_key(key);
}

// As under Wine: the wide query terminates unterminated string data in the
// buffer when it has room, and still counts only the stored bytes.
TEST_F(RunKeyMemRegistry, WideQueryTerminatesWhenRoom) {
    std::vector<uint8_t> open_text = mem_reg_utf16_bytes(u"ab", false);
    mem_reg_put_w(HKCU, RUN, u"v", PLAT_REG_SZ, open_text.data(), open_text.size());
    plat_hkey key = open(HKCU, RUN);
    uint8_t buf[16];
    uint32_t len = 0;
    EXPECT_EQ(plat_reg_query_value_ex_w(key, u"v", nullptr, nullptr, &len), 0u);
    EXPECT_EQ(len, 4u);
    memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(plat_reg_query_value_ex_w(key, u"v", nullptr, buf, &len), 0u);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(buf[4], 0x55) << "no room, no terminator";
    len = sizeof buf;
    EXPECT_EQ(plat_reg_query_value_ex_w(key, u"v", nullptr, buf, &len), 0u);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(buf[4], 0);
    EXPECT_EQ(buf[5], 0);
    plat_reg_close_key(key);
}

TEST_F(RunKeyMemRegistry, EveryCallCanBeFaulted) {
    mem_reg_put_string(HKCU, RUN, "v", "1");
    plat_hkey key = open(HKCU, RUN, PLAT_KEY_READ | PLAT_KEY_SET_VALUE);
    char16_t name[8];
    uint32_t n = 8;
    uint8_t one = 1;
    struct row {
        const char *op;
        plat_error (*call)(plat_hkey, char16_t *, uint32_t *, uint8_t *);
    } rows[] = {
        {"RegOpenKeyExA", [](plat_hkey, char16_t *, uint32_t *, uint8_t *) {
             plat_hkey k;
             return plat_reg_open_key_ex_a(HKCU, RUN, 0, PLAT_KEY_READ, &k);
         }},
        {"RegCreateKeyExA", [](plat_hkey, char16_t *, uint32_t *, uint8_t *) {
             plat_hkey k;
             return plat_reg_create_key_ex_a(HKCU, RUN, PLAT_KEY_READ, &k);
         }},
        {"RegEnumValueW", [](plat_hkey k, char16_t *nm, uint32_t *len, uint8_t *) {
             return plat_reg_enum_value_w(k, 0, nm, len, nullptr, nullptr, nullptr);
         }},
        {"RegQueryValueExW", [](plat_hkey k, char16_t *, uint32_t *, uint8_t *) {
             return plat_reg_query_value_ex_w(k, u"v", nullptr, nullptr, nullptr);
         }},
        {"RegSetValueExW", [](plat_hkey k, char16_t *, uint32_t *, uint8_t *d) {
             return plat_reg_set_value_ex_w(k, u"v", PLAT_REG_BINARY, d, 1);
         }},
        {"RegDeleteValueW", [](plat_hkey k, char16_t *, uint32_t *, uint8_t *) {
             return plat_reg_delete_value_w(k, u"v");
         }},
        {"RegCloseKey", [](plat_hkey k, char16_t *, uint32_t *, uint8_t *) { return plat_reg_close_key(k); }},
    };
    for (const row &r : rows) {
        mem_fail(r.op, 0x4d2);
        EXPECT_EQ(r.call(key, name, &n, &one), 0x4d2u) << r.op;
    }
    EXPECT_TRUE(has_value(HKCU, RUN, "v")) << "a faulted call does no work";
    EXPECT_EQ(mem_reg_open_handles(), 1);
    plat_reg_close_key(key);
}

TEST_F(RunKeyMemRegistry, ConcurrentWritersKeepEveryValue) {
    mem_reg_add_key(HKCU, RUN);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; i++) {
                plat_hkey key = nullptr;
                if (plat_reg_open_key_ex_a(HKCU, RUN, 0, PLAT_KEY_READ | PLAT_KEY_SET_VALUE, &key)) return;
                std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                std::u16string wide(name.begin(), name.end());
                plat_reg_set_value_ex_w(key, wide.c_str(), PLAT_REG_SZ, (const uint8_t *)"x\0\0", 4);
                plat_reg_close_key(key);
            }
        });
    }
    for (std::thread &t : threads) t.join();
    EXPECT_EQ(mem_reg_values(HKCU, RUN).size(), 200u);
}

// The machine hive's Software has a 32-bit view (WOW6432Node) on 64-bit
// Windows only; the user's hive is shared.
TEST_F(RunKeyMemRegistry, RegistryViews) {
    mem_reg_put_string(HKLM, RUN32, "v32", "1");
    mem_reg_put_string(HKLM, RUN, "v64", "1");
    mem_reg_put_string(HKCU, RUN, "user", "1");
    struct row {
        plat_hkey root;
        uint32_t view;
        uint16_t arch;
        const char *seen;
    } rows[] = {
        {HKLM, PLAT_KEY_WOW64_32KEY, PLAT_PROCESSOR_ARCHITECTURE_AMD64, "v32"},
        {HKLM, PLAT_KEY_WOW64_64KEY, PLAT_PROCESSOR_ARCHITECTURE_AMD64, "v64"},
        {HKLM, 0, PLAT_PROCESSOR_ARCHITECTURE_AMD64, "v64"},
        {HKCU, PLAT_KEY_WOW64_32KEY, PLAT_PROCESSOR_ARCHITECTURE_AMD64, "user"},
        {HKLM, PLAT_KEY_WOW64_32KEY, PLAT_PROCESSOR_ARCHITECTURE_INTEL, "v64"},
    };
    for (const row &r : rows) {
        mem_set_native_architecture(r.arch);
        plat_hkey key = open(r.root, RUN, PLAT_KEY_READ | r.view);
        char16_t name[16];
        uint32_t len = 16;
        ASSERT_EQ(plat_reg_enum_value_w(key, 0, name, &len, nullptr, nullptr, nullptr), 0u);
        EXPECT_EQ(std::u16string(name, len), std::u16string(r.seen, r.seen + strlen(r.seen))) << r.view;
        plat_reg_close_key(key);
    }
    // Writing through the view lands below WOW6432Node.
    mem_set_native_architecture(PLAT_PROCESSOR_ARCHITECTURE_AMD64);
    plat_hkey key = nullptr;
    ASSERT_EQ(plat_reg_create_key_ex_a(HKLM, RUNONCE, PLAT_KEY_READ | PLAT_KEY_WOW64_32KEY, &key), 0u);
    ASSERT_EQ(plat_reg_set_value_ex_w(key, u"w", PLAT_REG_SZ, (const uint8_t *)"x\0", 2), 0u);
    plat_reg_close_key(key);
    EXPECT_TRUE(has_value(HKLM, RUNONCE32, "w"));
    EXPECT_FALSE(has_value(HKLM, RUNONCE, "w"));
}

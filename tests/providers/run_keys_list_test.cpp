// Listing of Run and RunOnce values over the in-memory registry.
#include <cstring>
#include <string>
#include <vector>

#include "platform/mem/mem_ansi.h"
#include "platform/mem/mem_details.h"
#include "platform/mem/mem_files.h"
#include "run_keys_support.h"

namespace {

class RunKeyList : public RunKeyFixture {};

std::string dword_bytes() { return std::string("\x01\x00\x00\x00", 4); }

}  // namespace

TEST_F(RunKeyList, KnownIdentifiers) {
    struct row {
        int per_user;
        const char *subkey, *name, *source, *id;
    } rows[] = {
        {1, RUN, "Updater", "runkey", "runkey:666f6c80186f1dab"},
        {0, RUN, "Updater", "runkey", "runkey:f136c1eb4e5436e0"},
        {1, RUNONCE, "Updater", "runonce", "runonce:18da1d5100b6bb9e"},
        {1, RUN, "ExampleTool", "runkey", "runkey:ff3ae558395561a6"},
        {0, RUNONCE, "ExampleSetup", "runonce", "runonce:d86f47e2ac1c319b"},
        {0, RUN32, "Legacy32", "runkey", "runkey:eb28613ec7d24149"},
        {0, RUNONCE32, "Legacy32", "runonce", "runonce:aef5b4474465138e"},
        {1, POLICY, "ExamplePolicy", "policy", "policy:6c3ff1ca16edbe0d"},
        {0, POLICY, "ExamplePolicy", "policy", "policy:52046a381549ca9e"},
    };
    for (const row &r : rows) {
        EXPECT_EQ(run_id(r.per_user, r.subkey, r.name, r.source), r.id);
        mem_reset();
        mem_reg_put_string(r.per_user ? HKCU : HKLM, r.subkey, r.name, "C:\\x.exe");
        std::vector<listed> got = listed_entries();
        ASSERT_EQ(got.size(), 1u) << r.id;
        EXPECT_EQ(got[0].id, r.id);
        EXPECT_EQ(got[0].source, r.source);
        EXPECT_EQ(got[0].name, r.name);
    }
}

TEST_F(RunKeyList, ExampleEntryIsExactText) {
    mem_reg_put_string(HKCU, RUN, "ExampleTool", "C:\\Tools\\example.exe --tray");
    mem_files_add_file("C:\\Tools\\example.exe");
    mem_details_set_version("C:\\Tools\\example.exe", {0x04b00409},
                            {{"040904b0", "CompanyName", "Example Ltd"}, {"040904b0", "FileDescription", "Example tool"}});
    EXPECT_EQ(list_text(),
              "[{\"id\":\"runkey:ff3ae558395561a6\",\"source\":\"runkey\",\"name\":\"ExampleTool\","
              "\"command\":\"C:\\\\Tools\\\\example.exe --tray\",\"enabled\":true,"
              "\"location\":\"HKCU\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\",\"scope\":\"user\","
              "\"image\":\"C:\\\\Tools\\\\example.exe\",\"image_exists\":true,\"publisher\":\"Example Ltd\","
              "\"description\":\"Example tool\"}]");
}

TEST_F(RunKeyList, RowsInTableOrderValuesInKeyOrder) {
    // Set up in reverse, so that only the table can give the order.
    mem_reg_put_string(HKLM, POLICY, "pm", "8");
    mem_reg_put_a(HKCU, POLICY, "dword", PLAT_REG_DWORD, dword_bytes().data(), 4);
    mem_reg_put_string(HKCU, POLICY, "pudisabled", "7", PLAT_REG_EXPAND_SZ);
    mem_reg_put_string(HKLM, RUNONCE32, "d32", "6");
    mem_reg_put_string(HKLM, RUNONCE, "d", "4");
    mem_reg_put_string(HKCU, RUNONCE, "c", "3");
    mem_reg_put_string(HKLM, RUN32, "b32", "5");
    mem_reg_put_string(HKLM, RUN, "b", "2");
    mem_reg_put_string(HKCU, RUN, "a2", "1b");
    mem_reg_put_string(HKCU, RUN, "A1", "1a");
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 9u);
    const char *names[] = {"a2", "A1", "b", "b32", "c", "d", "d32", "pudisabled", "pm"};
    const char *sources[] = {"runkey",  "runkey",  "runkey",  "runkey", "runonce",
                             "runonce", "runonce", "policy",  "policy"};
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(got[i].name, names[i]);
        EXPECT_EQ(got[i].source, sources[i]);
        EXPECT_TRUE(got[i].enabled || i < 7) << "policy values are always on";
    }
    // On 32-bit Windows the one view would be listed twice.
    for (uint16_t arch : {PLAT_PROCESSOR_ARCHITECTURE_INTEL, PLAT_PROCESSOR_ARCHITECTURE_ARM}) {
        mem_set_native_architecture(arch);
        got = listed_entries();
        ASSERT_EQ(got.size(), 7u) << arch;
        EXPECT_EQ(got[3].name, "c");
    }
    EXPECT_NE(got[2].id, run_id(1, RUN, "b")) << "the machine row hashes d0";
    EXPECT_EQ(got[2].id, run_id(0, RUN, "b"));
}

TEST_F(RunKeyList, OnlyStringTypesAreListed) {
    std::string big(519, 'b');
    mem_reg_put_a(HKCU, RUN, "dword", PLAT_REG_DWORD, dword_bytes().data(), 4);
    mem_reg_put_a(HKCU, RUN, "binary", PLAT_REG_BINARY, big.data(), big.size());
    mem_reg_put_a(HKCU, RUN, "multi", PLAT_REG_MULTI_SZ, "a\0b\0", 5);
    mem_reg_put_string(HKCU, RUN, "expand", "%TEMP%\\x.exe", PLAT_REG_EXPAND_SZ);
    mem_reg_put_string(HKCU, RUN, "plain", "p.exe");
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].name, "expand");
    EXPECT_EQ(got[0].command, "%TEMP%\\x.exe") << "not expanded";
    EXPECT_EQ(got[1].name, "plain");
}

TEST_F(RunKeyList, EnabledFollowsTheSuffix) {
    struct row {
        const char *name;
        bool enabled;
    } rows[] = {
        {"Updater", true},         {"Updaterdisabled", false}, {"OtherDISABLED", false},
        {"ThirdDisAbled", false},  {"disabled", true},         {"xdisabled", false},
        {"", true},                {"disabledx", true},
    };
    for (const row &r : rows) mem_reg_put_string(HKCU, RUN, r.name, "c");
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), sizeof rows / sizeof rows[0]);
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(got[i].name, rows[i].name);
        EXPECT_EQ(got[i].enabled, rows[i].enabled) << rows[i].name;
    }
}

// Oversized names and data no longer end the enumeration of their key.
TEST_F(RunKeyList, OversizedValuesDoNotHideLaterOnes) {
    std::string text518(518, 's'), text2000(2000, 'L'), name510(510, 'n'), longest(16383, 'm');
    std::string blob(4000, 'x');
    mem_reg_put_string(HKCU, RUN, "fits", text518.c_str());
    mem_reg_put_string(HKCU, RUN, "long", text2000.c_str());
    mem_reg_put_a(HKCU, RUN, "blob", PLAT_REG_BINARY, blob.data(), blob.size());
    mem_reg_put_string(HKCU, RUN, longest.c_str(), "the registry's longest name");
    mem_reg_put_string(HKCU, RUN, (longest + "m").c_str(), "one unit too long");
    mem_reg_put_string(HKCU, RUN, name510.c_str(), "n");
    mem_reg_put_string(HKCU, RUN, "after", "a.exe");
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].command, text518);
    EXPECT_EQ(got[1].name, "long");
    EXPECT_EQ(got[1].command, text2000) << "listed with its whole data";
    EXPECT_EQ(got[2].name, longest);
    EXPECT_EQ(got[2].id, run_id(1, RUN, longest.c_str())) << "the whole name hashed";
    EXPECT_EQ(got[3].name, name510);
    EXPECT_EQ(got[4].name, "after");
}

// Data without a terminator ends within the bytes delivered; the buffer
// still holds the longer data of the value before it.
TEST_F(RunKeyList, UnterminatedDataEndsWithinItsBytes) {
    std::string long_text(400, 'A'), exact(519, 'E'), large(700, 'G');
    mem_reg_put_string(HKCU, RUN, "first", long_text.c_str());
    mem_reg_put_a(HKCU, RUN, "short", PLAT_REG_SZ, "xy", 2);
    mem_reg_put_a(HKCU, RUN, "exact", PLAT_REG_SZ, exact.data(), exact.size());
    mem_reg_put_a(HKCU, RUN, "large", PLAT_REG_SZ, large.data(), large.size());
    mem_reg_put_a(HKCU, RUN, "empty", PLAT_REG_SZ, "", 0);
    mem_reg_put_a(HKCU, RUN, "inner", PLAT_REG_SZ, "ab\0cd", 5);
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[1].command, "xy");
    EXPECT_EQ(got[2].command, exact);
    EXPECT_EQ(got[3].command, large);
    EXPECT_EQ(got[4].command, "");
    EXPECT_TRUE(got[4].has_command);
    EXPECT_EQ(got[5].command, "ab");
}

// Names and data are listed as Windows holds them; a name that code page
// 1252 holds exactly keeps the identifier of its 8-bit form, any other is
// hashed as UTF-8 under its own prefix.
TEST_F(RunKeyList, AnsiTextIsListedAsUtf8) {
    mem_reg_put_string(HKCU, RUN, "Caf\xe9", "C:\\\x80\\\x85.exe");
    std::vector<uint8_t> cmd = mem_reg_utf16_bytes(u"C:\\\u2603\\\u00e9.exe");
    mem_reg_put_w(HKCU, RUN, u"Snow\u2603man", PLAT_REG_SZ, cmd.data(), cmd.size());
    mem_reg_put_string(HKCU, RUN, "\x81\x8d\x8f\x90\x9d", "u");
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].name, "Caf\xc3\xa9");
    EXPECT_EQ(got[0].command, "C:\\\xe2\x82\xac\\\xe2\x80\xa6.exe");
    EXPECT_EQ(got[0].id, run_id(1, RUN, "Caf\xe9")) << "hash of the 8-bit name";
    EXPECT_EQ(got[1].name, "Snow\xe2\x98\x83man");
    EXPECT_EQ(got[1].command, "C:\\\xe2\x98\x83\\\xc3\xa9.exe");
    EXPECT_EQ(got[1].id, "runkey:4b18f60c5178ead8") << "runkey-w|d1|...|Snow\u2603man";
    EXPECT_EQ(got[2].name, "\xc2\x81\xc2\x8d\xc2\x8f\xc2\x90\xc2\x9d");
}

TEST_F(RunKeyList, AFailedConversionLeavesTheMemberOut) {
    mem_reg_put_string(HKCU, RUN, "Caf\xe9", "c.exe");
    // Two calls find the 8-bit form of the name, the next two convert it.
    mem_fail("WideCharToMultiByte", 0, 3);
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0].has_name);
    EXPECT_EQ(got[0].command, "c.exe");
}

// Where the ANSI code page is UTF-8, the conversion reports no default
// character (Windows refuses the flag), so only the conversion back tells an
// exact name: one holding an unpaired surrogate keeps its wide identifier,
// apart from the name that holds U+FFFD there.
TEST_F(RunKeyList, Utf8CodePageKeepsIdentifiersApart) {
    mem_set_ansi_code_page(65001);
    const std::u16string names[] = {u"Caf\u00e9", u"A\uFFFD", std::u16string{u'A', (char16_t)0xD800}};
    for (const std::u16string &n : names) {
        std::vector<uint8_t> data = mem_reg_utf16_bytes(n);
        mem_reg_put_w(HKCU, RUN, n, PLAT_REG_SZ, data.data(), data.size());
    }
    char wide_id[64];
    snprintf(wide_id, sizeof wide_id, "runkey:%016llx",
             (unsigned long long)expected_hash(std::string("runkey-w|d1|") + RUN + "|A\xef\xbf\xbd"));
    std::vector<std::string> ids;
    for (const listed &e : listed_entries()) ids.push_back(e.id);
    EXPECT_EQ(ids, (std::vector<std::string>{run_id(1, RUN, "Caf\xc3\xa9"), run_id(1, RUN, "A\xef\xbf\xbd"), wide_id}));
    ASSERT_EQ(quorvel_set_enabled(wide_id, 0), 1) << quorvel_last_error();
    EXPECT_EQ(mem_reg_values(HKCU, RUN).at(2).name, (std::u16string{u'A', (char16_t)0xD800} + u"disabled"));
}

TEST_F(RunKeyList, MissingKeysGiveNothing) {
    EXPECT_EQ(list_text(), "[]");
    mem_reg_add_key(HKCU, RUN);
    EXPECT_EQ(list_text(), "[]");
}

// A failed open or enumeration costs that key only, and never a message.
TEST_F(RunKeyList, FailuresCostOnlyTheirKey) {
    mem_reg_put_string(HKCU, RUN, "u1", "1");
    mem_reg_put_string(HKCU, RUN, "u2", "2");
    mem_reg_put_string(HKLM, RUN, "m1", "3");
    set_last_error("before");
    struct row {
        const char *op;
        int nth;
        int64_t code;
        std::vector<std::string> names;
    } rows[] = {
        {"RegOpenKeyExA", 1, PLAT_ERROR_ACCESS_DENIED, {"m1"}},
        {"RegOpenKeyExA", 3, PLAT_ERROR_ACCESS_DENIED, {"u1", "u2"}},  // after the user's records
        {"RegEnumValueW", 2, 31, {"u1", "m1"}},
        {"RegEnumValueW", 1, PLAT_ERROR_NO_MORE_ITEMS, {"m1"}},
    };
    for (const row &r : rows) {
        mem_fail(r.op, r.code, r.nth);
        std::vector<listed> got = listed_entries();
        std::vector<std::string> names;
        for (const listed &e : got) names.push_back(e.name);
        EXPECT_EQ(names, r.names) << r.op << " #" << r.nth;
    }
    EXPECT_STREQ(quorvel_last_error(), "before");
}

// Data that grows between the size query and the read is read again; data
// that keeps growing is passed over.
TEST_F(RunKeyList, GrowingDataIsReadAgainThenPassedOver) {
    std::string big(800, 'g');
    mem_reg_put_string(HKCU, RUN, "grows", big.c_str());
    mem_reg_put_string(HKCU, RUN, "next", "n");
    // Calls for "grows": 1 fixed buffer, 2 size query, 3 large read (made to answer MORE_DATA).
    mem_fail("RegEnumValueW", PLAT_ERROR_MORE_DATA, 3);
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].command, big);

    mem_reset();
    mem_reg_put_string(HKCU, RUN, "grows", big.c_str());
    mem_reg_put_string(HKCU, RUN, "next", "n");
    mem_fail("RegEnumValueW", PLAT_ERROR_MORE_DATA, 3, 1);
    mem_fail("RegEnumValueW", PLAT_ERROR_MORE_DATA, 5, 1);
    mem_fail("RegEnumValueW", PLAT_ERROR_MORE_DATA, 7, 1);
    got = listed_entries();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name, "next");
}

// Whatever single call fails, the listing stays a JSON array, records
// nothing, and lists no entry under an identifier that no toggle finds.
TEST_F(RunKeyList, EverySingleFailureKeepsTheListingWhole) {
    const char *ops[] = {"RegOpenKeyExA",       "RegEnumValueW",       "RegQueryValueExW", "RegCloseKey",
                         "MultiByteToWideChar", "WideCharToMultiByte"};
    auto set_up = [] {
        std::string big(1000, 'b');
        mem_reg_put_string(HKCU, RUN, "Caf\xe9", "c");
        mem_reg_put_string(HKCU, RUN, "big", big.c_str());
        mem_reg_put_string(HKLM, RUNONCE, "once", "o");
    };
    set_up();
    std::vector<std::string> ids;
    for (const listed &e : listed_entries()) ids.push_back(e.id);
    for (const char *op : ops) {
        int calls = mem_calls(op);
        for (int nth = 1; nth <= calls; nth++) {
            mem_reset();
            set_up();
            set_last_error("before");
            mem_fail(op, 31, nth);
            std::string text = list_text();
            EXPECT_NE(text, "[]") << op << " #" << nth;
            yyjson_doc *doc = yyjson_read(text.data(), text.size(), 0);
            EXPECT_TRUE(doc && yyjson_is_arr(yyjson_doc_get_root(doc))) << op << " #" << nth;
            yyjson_doc_free(doc);
            EXPECT_STREQ(quorvel_last_error(), "before");
            mem_reset();
            set_up();
            mem_fail(op, 31, nth);
            for (const listed &e : listed_entries())
                EXPECT_NE(std::find(ids.begin(), ids.end(), e.id), ids.end()) << op << " #" << nth << ": " << e.id;
            if (strcmp(op, "RegCloseKey") != 0) {
                EXPECT_EQ(mem_reg_open_handles(), 0) << op << " #" << nth;
            }
        }
    }
    mem_reset();  // a faulted close is the one handle meant to stay open
}

// rename_run_value: its checks, byte-exact copy and rollback.
#include <string>
#include <vector>

#include "run_keys_support.h"

namespace {

class RunKeyRename : public RunKeyFixture {
  protected:
    void SetUp() override {
        RunKeyFixture::SetUp();
        mem_reg_put_string(HKCU, RUN, "Updater", "C:\\up.exe");
        original = bytes_of(HKCU, RUN, "Updater");
    }
    int rename() { return rename_run_value(&run_locations[0], u"Updater", u"Updaterdisabled"); }
    std::vector<uint8_t> original;
};

struct fault {
    const char *op;
    int nth;
    int64_t code;
};

}  // namespace

TEST_F(RunKeyRename, MovesTheValue) {
    ASSERT_EQ(rename(), 1) << quorvel_last_error();
    EXPECT_EQ(names_of(HKCU, RUN), std::vector<std::string>{"Updaterdisabled"});
    EXPECT_EQ(bytes_of(HKCU, RUN, "Updaterdisabled"), original);
}

// Each failure leaves the old value with its data; the new one is there
// afterwards only when the rollback itself was made to fail.
TEST_F(RunKeyRename, FailuresKeepTheOldValue) {
    struct row {
        std::vector<fault> faults;
        const char *message;
        bool new_left;
    } rows[] = {
        {{{"RegOpenKeyExA", 1, 5}}, "runkey: open Software\\Microsoft\\Windows\\CurrentVersion\\Run failed (0x5)",
         false},
        {{{"RegQueryValueExW", 1, 2}}, "runkey: value 'Updater' not found", false},
        {{{"RegQueryValueExW", 3, 2}}, "runkey: read 'Updater' failed", false},
        {{{"RegSetValueExW", 1, 5}}, "runkey: rename 'Updater'->'Updaterdisabled' failed (0x5)", false},
        {{{"RegDeleteValueW", 1, 0x1f}}, "runkey: rename 'Updater'->'Updaterdisabled' failed (0x1f)", false},
        // Rollback made to fail: its open, then its delete.
        {{{"RegDeleteValueW", 1, 5}, {"RegOpenKeyExA", 2, 5}},
         "runkey: rename 'Updater'->'Updaterdisabled' failed (0x5)", true},
        {{{"RegDeleteValueW", 1, 5}, {"RegDeleteValueW", 2, 6}},
         "runkey: rename 'Updater'->'Updaterdisabled' failed (0x5)", true},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_string(HKCU, RUN, "Updater", "C:\\up.exe");
        for (const fault &f : r.faults) mem_fail(f.op, f.code, f.nth);
        EXPECT_EQ(rename(), 0) << r.message;
        EXPECT_STREQ(quorvel_last_error(), r.message);
        EXPECT_EQ(bytes_of(HKCU, RUN, "Updater"), original) << r.message;
        EXPECT_EQ(has_value(HKCU, RUN, "Updaterdisabled"), r.new_left) << r.message;
        if (r.new_left) {
            EXPECT_EQ(bytes_of(HKCU, RUN, "Updaterdisabled"), original);
        }
        EXPECT_EQ(mem_reg_open_handles(), 0) << r.message;
    }
}

TEST_F(RunKeyRename, RefusesAnExistingTarget) {
    mem_reg_put_string(HKCU, RUN, "UPDATERDISABLED", "other");
    EXPECT_EQ(rename(), 0);
    EXPECT_STREQ(quorvel_last_error(), "runkey: target value 'Updaterdisabled' already exists");
    EXPECT_EQ(text_of(HKCU, RUN, "Updaterdisabled"), "other");
    EXPECT_EQ(bytes_of(HKCU, RUN, "Updater"), original);
}

// With any single call failing, the rename is either done or not at all.
TEST_F(RunKeyRename, EverySingleFailureIsAllOrNothing) {
    const char *ops[] = {"RegOpenKeyExA", "RegQueryValueExW", "RegSetValueExW", "RegDeleteValueW", "RegCloseKey"};
    for (const char *op : ops) {
        mem_reset();
        mem_reg_put_string(HKCU, RUN, "Updater", "C:\\up.exe");
        ASSERT_EQ(rename(), 1);
        int calls = mem_calls(op);
        ASSERT_GT(calls, 0) << op;
        for (int nth = 1; nth <= calls; nth++) {
            mem_reset();
            mem_reg_put_string(HKCU, RUN, "Updater", "C:\\up.exe");
            mem_fail(op, 31, nth);
            bool done = rename() == 1;
            EXPECT_EQ(has_value(HKCU, RUN, "Updater"), !done) << op << " #" << nth;
            EXPECT_EQ(bytes_of(HKCU, RUN, done ? "Updaterdisabled" : "Updater"), original) << op << " #" << nth;
            EXPECT_EQ(has_value(HKCU, RUN, "Updaterdisabled"), done) << op << " #" << nth;
        }
    }
    mem_reset();  // a faulted close is the one handle meant to stay open
}

// The copy goes through the wide calls: characters outside the ANSI code
// page, missing terminators and odd byte counts all survive.
TEST_F(RunKeyRename, CopiesBytesExactly) {
    struct row {
        const char *what;
        uint32_t type;
        std::vector<uint8_t> data;
    } rows[] = {
        {"snowman", PLAT_REG_SZ, mem_reg_utf16_bytes(u"C:\\Programs\\\u2603\\app.exe")},
        {"unterminated", PLAT_REG_SZ, mem_reg_utf16_bytes(u"C:\\a.exe", false)},
        {"odd count", PLAT_REG_EXPAND_SZ, {'a', 0, 'b'}},
        {"empty", PLAT_REG_SZ, {}},
        {"surrogates", PLAT_REG_SZ, mem_reg_utf16_bytes(u"\U0001F600 \xd800")},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_w(HKCU, RUN, u"Updater", r.type, r.data.data(), r.data.size());
        ASSERT_EQ(rename(), 1) << r.what << ": " << quorvel_last_error();
        mem_reg_value v;
        ASSERT_TRUE(mem_reg_find(HKCU, RUN, "Updaterdisabled", &v)) << r.what;
        EXPECT_EQ(v.type, r.type) << r.what;
        EXPECT_EQ(v.data, r.data) << r.what;
    }
}

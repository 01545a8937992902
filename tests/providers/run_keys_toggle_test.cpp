// Switching run values off and on through the exported interface.
#include <cstring>
#include <string>
#include <vector>

#include "run_keys_support.h"

namespace {

class RunKeyToggle : public RunKeyFixture {
  protected:
    void SetUp() override {
        RunKeyFixture::SetUp();
        mem_set_file_time(now);
    }
    const uint64_t now = 0x01DB2A3B4C5D6E7Full;
};

int toggle(const std::string &id, int enabled) { return quorvel_set_enabled(id.c_str(), enabled); }

// Calls that change the registry.
int writes() {
    return mem_calls("RegSetValueExW") + mem_calls("RegDeleteValueW") + mem_calls("RegCreateKeyExA");
}

}  // namespace

TEST_F(RunKeyToggle, OffRenamesKeepsDataAndRecordsIt) {
    mem_reg_put_string(HKCU, RUN, "Before", "b");
    mem_reg_put_string(HKCU, RUN, "Updater", "C:\\up.exe /quiet", PLAT_REG_EXPAND_SZ);
    std::vector<uint8_t> data = bytes_of(HKCU, RUN, "Updater");
    std::string old_id = run_id(1, RUN, "Updater");

    ASSERT_EQ(toggle(old_id, 0), 1) << quorvel_last_error();
    mem_reg_value v;
    ASSERT_TRUE(mem_reg_find(HKCU, RUN, "Updaterdisabled", &v));
    EXPECT_EQ(v.type, PLAT_REG_EXPAND_SZ);
    EXPECT_EQ(v.data, data);
    EXPECT_FALSE(has_value(HKCU, RUN, "Updater"));
    EXPECT_EQ(bytes_of(HKCU, APPROVED, "Updaterdisabled"), off_record(now));
    ASSERT_TRUE(mem_reg_find(HKCU, APPROVED, "Updaterdisabled", &v));
    EXPECT_EQ(v.type, PLAT_REG_BINARY);
    EXPECT_TRUE(mem_reg_values(HKLM, APPROVED).empty()) << "the record lives in the value's own hive";

    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].id, run_id(1, RUN, "Updaterdisabled"));
    EXPECT_FALSE(got[1].enabled);
    EXPECT_EQ(toggle(old_id, 1), 0);
    EXPECT_STREQ(quorvel_last_error(), "runkey: entry no longer exists");
}

TEST_F(RunKeyToggle, OnRenamesBackAndClearsRecords) {
    struct row {
        const char *name;
    } rows[] = {{"Updaterdisabled"}, {"UpdaterDISABLED"}};
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_string(HKLM, RUN, r.name, "C:\\up.exe");
        mem_reg_put_a(HKLM, APPROVED, r.name, PLAT_REG_BINARY, off_record(1).data(), APPROVED_RECORD_SIZE);
        mem_reg_put_a(HKLM, APPROVED, "Updater", PLAT_REG_BINARY, off_record(2).data(), APPROVED_RECORD_SIZE);
        mem_reg_put_a(HKLM, APPROVED, "Other", PLAT_REG_BINARY, off_record(3).data(), APPROVED_RECORD_SIZE);
        ASSERT_EQ(toggle(run_id(0, RUN, r.name), 1), 1) << quorvel_last_error();
        EXPECT_EQ(names_of(HKLM, RUN), std::vector<std::string>{"Updater"});
        EXPECT_EQ(text_of(HKLM, RUN, "Updater"), "C:\\up.exe");
        EXPECT_EQ(names_of(HKLM, APPROVED), std::vector<std::string>{"Other"}) << r.name;
    }
}

TEST_F(RunKeyToggle, OnKeepsARecordThatMarksTheValueOn) {
    mem_reg_put_string(HKCU, RUN, "Updaterdisabled", "u");
    mem_reg_put_a(HKCU, APPROVED, "Updater", PLAT_REG_BINARY, on_record.data(), on_record.size());
    ASSERT_EQ(toggle(run_id(1, RUN, "Updaterdisabled"), 1), 1) << quorvel_last_error();
    EXPECT_EQ(bytes_of(HKCU, APPROVED, "Updater"), on_record);
}

TEST_F(RunKeyToggle, OffThenOnRestoresIdentifierAndBytes) {
    std::vector<uint8_t> data = mem_reg_utf16_bytes(u"C:\\Programs\\\u2603\\app.exe");
    mem_reg_put_w(HKCU, RUN, u"Snow", PLAT_REG_SZ, data.data(), data.size());
    std::string id = run_id(1, RUN, "Snow");
    ASSERT_EQ(toggle(id, 0), 1) << quorvel_last_error();
    ASSERT_EQ(toggle(run_id(1, RUN, "Snowdisabled"), 1), 1) << quorvel_last_error();
    EXPECT_EQ(bytes_of(HKCU, RUN, "Snow"), data) << "a character outside the code page survives";
    EXPECT_TRUE(mem_reg_values(HKCU, APPROVED).empty());
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].id, id);
    EXPECT_TRUE(got[0].enabled);
}

TEST_F(RunKeyToggle, NothingToChangeReturnsOneWithoutWrites) {
    struct row {
        const char *name;
        int enabled;
    } rows[] = {{"Updater", 1}, {"Updaterdisabled", 0}, {"UpdaterDISABLED", 0}, {"disabled", 1}, {"", 1}};
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_string(HKCU, RUN, r.name, "c");
        // An off name is fully off with its record, as switching it off leaves it.
        if (!r.enabled) mem_reg_put_a(HKCU, APPROVED, r.name, PLAT_REG_BINARY, off_record(1).data(), 12);
        EXPECT_EQ(toggle(run_id(1, RUN, r.name), r.enabled), 1) << r.name;
        EXPECT_EQ(writes(), 0) << r.name;
        EXPECT_EQ(names_of(HKCU, RUN), std::vector<std::string>{r.name});
    }
}

TEST_F(RunKeyToggle, ShortNamesGainTheSuffix) {
    struct row {
        const char *name, *target;
    } rows[] = {{"disabled", "disableddisabled"}, {"", "disabled"}, {"x", "xdisabled"}};
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_string(HKCU, RUN, r.name, "c");
        ASSERT_EQ(toggle(run_id(1, RUN, r.name), 0), 1) << quorvel_last_error();
        EXPECT_EQ(names_of(HKCU, RUN), std::vector<std::string>{r.target});
        EXPECT_TRUE(has_value(HKCU, APPROVED, r.target));
        // "disabled" alone does not count as off, but its record does.
        std::vector<listed> got = listed_entries();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_FALSE(got[0].enabled) << r.name;
    }
}

// Switching off while the target name exists changes nothing and says so,
// as switching on does.
TEST_F(RunKeyToggle, TargetAlreadyThereRefusesBothWays) {
    const char *off = "runkey: cannot disable \xe2\x80\x94 'Updaterdisabled' already exists";
    struct row {
        const char *name;
        int enabled;
        const char *message;
        uint32_t type;  // of Updater; Updaterdisabled is a REG_SZ
        std::string updater, disabled;
    } rows[] = {
        {"Updater", 0, off, PLAT_REG_SZ, std::string("1", 2), std::string("2", 2)},
        {"Updaterdisabled", 1, "runkey: cannot enable \xe2\x80\x94 'Updater' already exists", PLAT_REG_SZ,
         std::string("1", 2), std::string("2", 2)},
        // Not twins: the same bytes but one cut short (unterminated), or of another type.
        {"Updater", 0, off, PLAT_REG_SZ, "C:\\u.exe", std::string("C:\\u.exe", 9)},
        {"Updater", 0, off, PLAT_REG_EXPAND_SZ, std::string("C:\\u.exe", 9), std::string("C:\\u.exe", 9)},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_a(HKCU, RUN, "Updater", r.type, r.updater.data(), r.updater.size());
        mem_reg_put_a(HKCU, RUN, "Updaterdisabled", PLAT_REG_SZ, r.disabled.data(), r.disabled.size());
        run_snapshot before = snapshot();
        EXPECT_EQ(toggle(run_id(1, RUN, r.name), r.enabled), 0);
        EXPECT_STREQ(quorvel_last_error(), r.message);
        EXPECT_TRUE(same_snapshot(before, snapshot()));
        EXPECT_EQ(writes(), 0);
        // Looks that fail (not "not found"), any one or any two of them,
        // never let the switch write over the other value.
        int queries = mem_calls("RegQueryValueExW");
        for (int a = 1; a <= queries; a++) {
            for (int b = a; b <= queries; b++) {
                mem_reset();
                mem_reg_put_a(HKCU, RUN, "Updater", r.type, r.updater.data(), r.updater.size());
                mem_reg_put_a(HKCU, RUN, "Updaterdisabled", PLAT_REG_SZ, r.disabled.data(), r.disabled.size());
                mem_fail("RegQueryValueExW", 31, a);
                if (b != a) mem_fail("RegQueryValueExW", 31, b);
                EXPECT_EQ(toggle(run_id(1, RUN, r.name), r.enabled), 0) << r.name << " queries #" << a << ", #" << b;
                EXPECT_TRUE(same_snapshot(before, snapshot())) << r.name << " queries #" << a << ", #" << b;
            }
        }
    }
}

TEST_F(RunKeyToggle, OnlyRunRowsAreSearched) {
    mem_reg_put_string(HKCU, RUNONCE, "Setup", "s");
    EXPECT_EQ(toggle(run_id(1, RUNONCE, "Setup"), 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "runkey: entry no longer exists");
    EXPECT_EQ(toggle(run_id(1, RUNONCE, "Setup", "runonce"), 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "runonce entries are one-shot and cannot be toggled");
    EXPECT_EQ(names_of(HKCU, RUNONCE), std::vector<std::string>{"Setup"});
}

// Policy values are the administrator's: listed by their UTF-8 names,
// refused both ways, nothing read or written for the refusal.
TEST_F(RunKeyToggle, PolicyValuesAreRefused) {
    mem_reg_put_w(HKCU, POLICY, u"Caf\u00e9 \u2603", PLAT_REG_SZ, u"p.exe", 12);
    mem_reg_put_string(HKLM, POLICY, "Updaterdisabled", "m.exe");
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].id, "policy:cff8d506595cfa14");
    EXPECT_EQ(got[0].name, "Caf\xc3\xa9 \xe2\x98\x83");
    EXPECT_EQ(got[1].id, run_id(0, POLICY, "Updaterdisabled", "policy"));
    EXPECT_TRUE(got[1].enabled);
    int calls = mem_calls("RegOpenKeyExA") + mem_calls("RegEnumValueW");
    for (const listed &e : got)
        for (int enabled : {0, 1}) {
            EXPECT_EQ(toggle(e.id, enabled), 0);
            EXPECT_STREQ(quorvel_last_error(),
                         "policy entries are set by an administrator's policy and cannot be toggled");
        }
    EXPECT_EQ(mem_calls("RegOpenKeyExA") + mem_calls("RegEnumValueW"), calls);
    EXPECT_EQ(writes(), 0);
    EXPECT_EQ(mem_reg_values(HKCU, POLICY).size(), 1u);
    EXPECT_EQ(names_of(HKLM, POLICY), std::vector<std::string>{"Updaterdisabled"});
}

TEST_F(RunKeyToggle, SameNameInBothHivesSwitchesOnlyOne) {
    mem_reg_put_string(HKCU, RUN, "Updater", "user");
    mem_reg_put_string(HKLM, RUN, "Updater", "machine");
    ASSERT_EQ(toggle(run_id(0, RUN, "Updater"), 0), 1) << quorvel_last_error();
    EXPECT_EQ(names_of(HKCU, RUN), std::vector<std::string>{"Updater"});
    EXPECT_EQ(names_of(HKLM, RUN), std::vector<std::string>{"Updaterdisabled"});
    EXPECT_TRUE(has_value(HKLM, APPROVED, "Updaterdisabled"));
    EXPECT_TRUE(mem_reg_values(HKCU, APPROVED).empty());
}

TEST_F(RunKeyToggle, WriteOpenFailures) {
    struct row {
        plat_hkey root;
        int per_user;
        bool deny;
        int64_t code;
        const char *message;
    } rows[] = {
        {HKLM, 0, true, 0, "runkey: HKLM access denied (needs admin for HKLM)"},
        {HKCU, 1, true, 0, "runkey: HKCU access denied (needs admin for HKLM)"},
        {HKCU, 1, false, 0x3f, "runkey: open Software\\Microsoft\\Windows\\CurrentVersion\\Run failed (0x3f)"},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_string(r.root, RUN, "Updater", "u");
        if (r.deny)
            mem_reg_deny_writes(r.root, RUN);
        else
            mem_fail("RegOpenKeyExA", r.code, 2);  // the search's open is the first
        EXPECT_EQ(toggle(run_id(r.per_user, RUN, "Updater"), 0), 0);
        EXPECT_STREQ(quorvel_last_error(), r.message);
        EXPECT_EQ(names_of(r.root, RUN), std::vector<std::string>{"Updater"});
    }
}

// A name too long for the search's buffer is passed over, not the end.
// Names up to the registry's limit are switched both ways; one beyond it
// is passed over by the search.
TEST_F(RunKeyToggle, LongestNamesSwitchAndTooLongOnesArePassedOver) {
    std::string too_long(16384, 'n'), longest(16383 - 8, 'm');
    mem_reg_put_string(HKCU, RUN, too_long.c_str(), "l");
    mem_reg_put_string(HKCU, RUN, longest.c_str(), "m");
    mem_reg_put_string(HKCU, RUN, "Updater", "u");
    ASSERT_EQ(toggle(run_id(1, RUN, "Updater"), 0), 1) << quorvel_last_error();
    EXPECT_TRUE(has_value(HKCU, RUN, "Updaterdisabled"));
    EXPECT_TRUE(has_value(HKCU, RUN, too_long.c_str()));
    ASSERT_EQ(toggle(run_id(1, RUN, longest.c_str()), 0), 1) << quorvel_last_error();
    EXPECT_EQ(text_of(HKCU, RUN, (longest + "disabled").c_str()), "m");
    ASSERT_EQ(toggle(run_id(1, RUN, (longest + "disabled").c_str()), 1), 1) << quorvel_last_error();
    EXPECT_EQ(text_of(HKCU, RUN, longest.c_str()), "m");
    EXPECT_FALSE(has_value(HKCU, RUN, (longest + "disabled").c_str()));
}

// The search looks at names only, so values of any type can be switched,
// and their type and bytes stay.
TEST_F(RunKeyToggle, AnyTypeKeepsTypeAndBytes) {
    std::string blob(3000, '\x07');
    struct row {
        uint32_t type;
        std::string data;
    } rows[] = {
        {PLAT_REG_DWORD, std::string("\x2a\x00\x00\x00", 4)},
        {PLAT_REG_BINARY, blob},
        {PLAT_REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {PLAT_REG_SZ, std::string("no terminator")},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_a(HKCU, RUN, "V", r.type, r.data.data(), r.data.size());
        mem_reg_value before;
        ASSERT_TRUE(mem_reg_find(HKCU, RUN, "V", &before));
        ASSERT_EQ(toggle(run_id(1, RUN, "V"), 0), 1) << quorvel_last_error();
        mem_reg_value after;
        ASSERT_TRUE(mem_reg_find(HKCU, RUN, "Vdisabled", &after));
        EXPECT_EQ(after.type, r.type);
        EXPECT_EQ(after.data, before.data) << "type " << r.type;
    }
}

TEST_F(RunKeyToggle, AnsiNamesSwitchAndKeepTheirCharacters) {
    mem_reg_put_string(HKCU, RUN, "Caf\xe9", "c");
    ASSERT_EQ(toggle(run_id(1, RUN, "Caf\xe9"), 0), 1) << quorvel_last_error();
    std::vector<mem_reg_value> values = mem_reg_values(HKCU, RUN);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, u"Caf\u00e9disabled");
    std::vector<mem_reg_value> records = mem_reg_values(HKCU, APPROVED);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, u"Caf\u00e9disabled");
}

// Names outside the code page switch both ways, data byte-exact, each by
// its own identifier, and messages carry them as UTF-8.
TEST_F(RunKeyToggle, NamesOutsideTheCodePageSwitchByTheirOwnIdentifier) {
    std::vector<uint8_t> snow = mem_reg_utf16_bytes(u"C:\\\u2603.exe"), comet = mem_reg_utf16_bytes(u"c.exe");
    mem_reg_put_w(HKCU, RUN, u"Caf\u00e9\u2603", PLAT_REG_SZ, snow.data(), snow.size());
    mem_reg_put_w(HKCU, RUN, u"Caf\u00e9\u2604", PLAT_REG_SZ, comet.data(), comet.size());
    const char *snow_id = "runkey:2fd0a31d8fea84e3", *comet_id = "runkey:2fd0a81d8fea8d62";  // runkey-w|d1|...
    ASSERT_EQ(toggle(comet_id, 0), 1) << quorvel_last_error();
    std::vector<mem_reg_value> values = mem_reg_values(HKCU, RUN);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, u"Caf\u00e9\u2603");
    EXPECT_EQ(values[1].name, u"Caf\u00e9\u2604disabled");
    EXPECT_EQ(values[1].data, comet);
    EXPECT_EQ(mem_reg_values(HKCU, APPROVED).at(0).name, u"Caf\u00e9\u2604disabled");

    mem_reg_put_w(HKCU, RUN, u"Caf\u00e9\u2603disabled", PLAT_REG_SZ, comet.data(), comet.size());
    EXPECT_EQ(toggle(snow_id, 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "runkey: cannot disable \xe2\x80\x94 "
                 "'Caf\xc3\xa9\xe2\x98\x83" "disabled' already exists");
    mem_reg_remove_key(HKCU, RUN);
    mem_reg_put_w(HKCU, RUN, u"Caf\u00e9\u2603", PLAT_REG_SZ, snow.data(), snow.size());
    ASSERT_EQ(toggle(snow_id, 0), 1) << quorvel_last_error();
    std::vector<listed> got = listed_entries();
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(toggle(got[0].id.c_str(), 1), 1) << quorvel_last_error();
    values = mem_reg_values(HKCU, RUN);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, u"Caf\u00e9\u2603");
    EXPECT_EQ(values[0].data, snow);
    EXPECT_EQ(listed_entries().at(0).id, snow_id);
}

// A record that cannot be written or cleared fails the switch and undoes the rename.
TEST_F(RunKeyToggle, RecordFailuresUndoTheRename) {
    struct row {
        const char *name;
        int enabled;
        const char *op;
        int nth;
        const char *message;
    } rows[] = {
        {"Updater", 0, "RegCreateKeyExA", 1,
         "runkey: cannot write the StartupApproved record of 'Updaterdisabled' (0x5)"},
        {"Updater", 0, "RegSetValueExW", 2,  // after the copy
         "runkey: cannot write the StartupApproved record of 'Updaterdisabled' (0x5)"},
        // Switching on: 1 deletes the old value, 2 the new name's off record, 3 the old name's record.
        {"Updaterdisabled", 1, "RegDeleteValueW", 2,
         "runkey: cannot clear the StartupApproved record of 'Updaterdisabled' (0x5)"},
        {"Updaterdisabled", 1, "RegDeleteValueW", 3,
         "runkey: cannot clear the StartupApproved record of 'Updaterdisabled' (0x5)"},
        {"Updaterdisabled", 1, "RegOpenKeyExA", 4,
         "runkey: cannot clear the StartupApproved record of 'Updaterdisabled' (0x5)"},
        // Queries: 1 the target, 2-4 the copy, 5-6 the new name's record.
        {"Updaterdisabled", 1, "RegQueryValueExW", 6,
         "runkey: cannot clear the StartupApproved record of 'Updaterdisabled' (0x5)"},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_string(HKCU, RUN, r.name, "C:\\u.exe");
        mem_reg_put_a(HKCU, APPROVED, "Updaterdisabled", PLAT_REG_BINARY, off_record(1).data(), 12);
        mem_reg_put_a(HKCU, APPROVED, "Updater", PLAT_REG_BINARY, off_record(2).data(), 12);
        run_snapshot before = snapshot();
        mem_fail(r.op, PLAT_ERROR_ACCESS_DENIED, r.nth);
        EXPECT_EQ(toggle(run_id(1, RUN, r.name), r.enabled), 0) << r.op << " #" << r.nth;
        EXPECT_STREQ(quorvel_last_error(), r.message) << r.op << " #" << r.nth;
        EXPECT_TRUE(same_snapshot(before, snapshot())) << r.op << " #" << r.nth;
    }
}

TEST_F(RunKeyToggle, AFailedUndoIsReported) {
    mem_reg_put_string(HKCU, RUN, "Updater", "u");
    // After the copy: the record, then the undo's copy.
    mem_fail("RegSetValueExW", PLAT_ERROR_ACCESS_DENIED, 2, 2);
    EXPECT_EQ(toggle(run_id(1, RUN, "Updater"), 0), 0);
    EXPECT_STREQ(quorvel_last_error(),
                 "runkey: cannot write the StartupApproved record of 'Updaterdisabled' (0x5); "
                 "undoing the rename failed");
    EXPECT_EQ(names_of(HKCU, RUN), std::vector<std::string>{"Updaterdisabled"});
}

// With any single call failing, a switch either completes (result 1) or
// leaves every value and record as it was (result 0).
TEST_F(RunKeyToggle, EverySingleFailureCompletesOrChangesNothing) {
    const char *ops[] = {"RegOpenKeyExA",  "RegCreateKeyExA", "RegEnumValueW",       "RegQueryValueExW",
                         "RegSetValueExW", "RegDeleteValueW", "RegCloseKey",         "MultiByteToWideChar",
                         "WideCharToMultiByte"};
    struct row {
        const char *name, *target;
        int enabled;
    } rows[] = {{"Updater", "Updaterdisabled", 0}, {"Updaterdisabled", "Updater", 1}};
    for (const row &r : rows) {
        auto set_up = [&] {
            mem_reset();
            mem_reg_put_string(HKCU, RUN, "First", "f");
            mem_reg_put_string(HKCU, RUN, r.name, "C:\\u.exe");
            mem_reg_put_a(HKCU, APPROVED, "Updaterdisabled", PLAT_REG_BINARY, off_record(1).data(), 12);
            mem_reg_put_a(HKCU, APPROVED, "Updater", PLAT_REG_BINARY, off_record(2).data(), 12);
        };
        set_up();
        ASSERT_EQ(toggle(run_id(1, RUN, r.name), r.enabled), 1);
        run_snapshot done = snapshot();
        for (const char *op : ops) {
            set_up();
            toggle(run_id(1, RUN, r.name), r.enabled);
            int calls = mem_calls(op);
            for (int nth = 1; nth <= calls; nth++) {
                set_up();
                run_snapshot before = snapshot();
                mem_fail(op, 31, nth);
                int result = toggle(run_id(1, RUN, r.name), r.enabled);
                EXPECT_TRUE(same_snapshot(result ? done : before, snapshot()))
                    << op << " #" << nth << " result " << result << ": " << quorvel_last_error();
                // A failed close leaves its handle open, as it should.
                if (strcmp(op, "RegCloseKey") != 0) {
                    EXPECT_EQ(mem_reg_open_handles(), 0) << op << " #" << nth;
                }
            }
        }
    }
    mem_reset();  // a faulted close is the one handle meant to stay open
}

// A value whose name is already on can still be kept from starting by an
// off record: the default value switched off is named "disabled", which
// counts as on, and the session's own switch may have marked any value off.
// Switching such a value on removes that record, so that it starts again.
TEST_F(RunKeyToggle, OnClearsAnOffRecordOfAnEnabledName) {
    struct row {
        const char *name;
        std::vector<uint8_t> record;  // empty: none
        bool record_stays;
        const char *other;  // a value whose off record must stay; null: a record of no value
    } rows[] = {
        {"Updater", off_record(5), false, nullptr},
        {"Updater", on_record, true, nullptr},
        {"Updater", {}, false, nullptr},
        {"disabled", off_record(5), false, nullptr},
        // Beside another program's off Updaterdisabled, whose record stays.
        {"Updater", off_record(5), false, "Updaterdisabled"},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_string(HKCU, RUN, r.name, "c");
        const char *other = r.other ? r.other : "Other";
        if (r.other) mem_reg_put_string(HKCU, RUN, r.other, "another program");
        mem_reg_put_a(HKCU, APPROVED, other, PLAT_REG_BINARY, off_record(7).data(), APPROVED_RECORD_SIZE);
        if (!r.record.empty())
            mem_reg_put_a(HKCU, APPROVED, r.name, PLAT_REG_BINARY, r.record.data(), r.record.size());
        EXPECT_EQ(toggle(run_id(1, RUN, r.name), 1), 1) << r.name << ": " << quorvel_last_error();
        EXPECT_EQ(names_of(HKCU, RUN).size(), r.other ? 2u : 1u);
        EXPECT_EQ(bytes_of(HKCU, APPROVED, r.name), r.record_stays ? r.record : std::vector<uint8_t>()) << r.name;
        EXPECT_EQ(bytes_of(HKCU, APPROVED, other), off_record(7)) << r.name;
    }
}

TEST_F(RunKeyToggle, DefaultValueOffThenOnStartsAgain) {
    mem_reg_put_string(HKCU, RUN, "", "c");
    ASSERT_EQ(toggle(run_id(1, RUN, ""), 0), 1) << quorvel_last_error();
    ASSERT_EQ(bytes_of(HKCU, APPROVED, "disabled"), off_record(now));
    ASSERT_EQ(toggle(run_id(1, RUN, "disabled"), 1), 1) << quorvel_last_error();
    EXPECT_EQ(names_of(HKCU, RUN), std::vector<std::string>{"disabled"});
    EXPECT_TRUE(mem_reg_values(HKCU, APPROVED).empty());
}

// A name that is already off is not enough: the session start runs it
// unless a record marks it off (one set on again by the system's own switch
// says 02). Switching it off writes that record, and keeps one already off.
TEST_F(RunKeyToggle, OffWritesAMissingOffRecordOfADisabledName) {
    struct row {
        const char *name;
        std::vector<uint8_t> record;  // empty: none
        std::vector<uint8_t> after;
    } rows[] = {
        {"Updaterdisabled", {}, off_record(0x01DB2A3B4C5D6E7Full)},
        {"UpdaterDISABLED", on_record, off_record(0x01DB2A3B4C5D6E7Full)},
        {"Updaterdisabled", off_record(5), off_record(5)},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_set_file_time(now);
        mem_reg_put_string(HKLM, RUN, r.name, "c");
        if (!r.record.empty())
            mem_reg_put_a(HKLM, APPROVED, r.name, PLAT_REG_BINARY, r.record.data(), r.record.size());
        EXPECT_EQ(toggle(run_id(0, RUN, r.name), 0), 1) << r.name << ": " << quorvel_last_error();
        EXPECT_EQ(names_of(HKLM, RUN), std::vector<std::string>{r.name});
        EXPECT_EQ(bytes_of(HKLM, APPROVED, r.name), r.after) << r.name;
        EXPECT_TRUE(mem_reg_values(HKCU, APPROVED).empty());
    }
}

// A record that cannot be made to agree with a name already in the wanted
// state fails the switch and changes nothing.
TEST_F(RunKeyToggle, ARecordThatCannotBeMatchedFailsTheSwitch) {
    struct row {
        const char *name;
        int enabled;
        const char *failing;
        const char *message;
    } rows[] = {
        {"Updater", 1, "RegDeleteValueW", "runkey: cannot clear the StartupApproved record of 'Updater' (0x5)"},
        {"Updaterdisabled", 0, "RegSetValueExW",
         "runkey: cannot write the StartupApproved record of 'Updaterdisabled' (0x5)"},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_reg_put_string(HKCU, RUN, r.name, "c");
        if (r.enabled) mem_reg_put_a(HKCU, APPROVED, r.name, PLAT_REG_BINARY, off_record(5).data(), APPROVED_RECORD_SIZE);
        run_snapshot before = snapshot();
        mem_fail(r.failing, PLAT_ERROR_ACCESS_DENIED);
        EXPECT_EQ(toggle(run_id(1, RUN, r.name), r.enabled), 0) << r.name;
        EXPECT_STREQ(quorvel_last_error(), r.message);
        EXPECT_TRUE(same_snapshot(before, snapshot())) << r.name;
    }
}

// Identical twins: the switch keeps the one with the wanted name. Another
// program switching the same value at the same moment (here: calls that
// answer as if it had) must never cost the value: a copy that vanished is
// written back, or the loss is said; a look that merely failed writes
// nothing back; a source already deleted is that program's work; an undo
// keeps the copy when the source has gone.
TEST_F(RunKeyToggle, TwinsAndRacesNeverLoseTheValue) {
    struct fault {
        const char *op;
        int nth;
        int64_t code;
    };
    const char *kept = "runkey: 'Updaterdisabled' was removed by another program while switching; 'Updater' is kept";
    struct row {
        const char *name;
        int enabled;
        bool twin;  // an identical copy under the other name
        std::vector<fault> faults;
        int result;
        const char *message;  // null: not checked
        std::vector<std::string> left;
    } rows[] = {
        {"Updater", 0, true, {}, 1, nullptr, {"Updaterdisabled"}},
        // Keeping its name, a switch removes the other twin.
        {"Updater", 1, true, {}, 1, nullptr, {"Updater"}},
        {"Updaterdisabled", 0, true, {}, 1, nullptr, {"Updaterdisabled"}},
        // Queries: 1 the target, 2-5 both copies read, 6-7 the source read again, 8 the target after the delete.
        {"Updater", 0, true, {{"RegQueryValueExW", 8, PLAT_ERROR_FILE_NOT_FOUND}}, 0, kept,
         {"Updater", "Updaterdisabled"}},
        {"Updater", 0, true,
         {{"RegQueryValueExW", 8, PLAT_ERROR_FILE_NOT_FOUND}, {"RegSetValueExW", 1, PLAT_ERROR_ACCESS_DENIED}}, 0,
         "runkey: 'Updaterdisabled' was removed by another program while switching, and 'Updater' could not be "
         "written back (0x5)",
         {"Updaterdisabled"}},
        {"Updater", 0, true, {{"RegQueryValueExW", 8, PLAT_ERROR_ACCESS_DENIED}}, 1, nullptr, {"Updaterdisabled"}},
        // A rename's queries: 1 the target, 2-4 the source and target, 5 the copy after the delete (or,
        // the delete failing, the source for the undo).
        {"Updater", 0, false, {{"RegDeleteValueW", 1, PLAT_ERROR_FILE_NOT_FOUND}}, 1, nullptr,
         {"Updater", "Updaterdisabled"}},
        {"Updater", 0, false, {{"RegQueryValueExW", 5, PLAT_ERROR_FILE_NOT_FOUND}}, 0, kept,
         {"Updater", "Updaterdisabled"}},
        {"Updater", 0, false,
         {{"RegDeleteValueW", 1, PLAT_ERROR_ACCESS_DENIED}, {"RegQueryValueExW", 5, PLAT_ERROR_FILE_NOT_FOUND}}, 0,
         "runkey: rename 'Updater'->'Updaterdisabled' failed (0x5)", {"Updater", "Updaterdisabled"}},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const row &r = rows[i];
        mem_reset();
        mem_reg_put_string(HKCU, RUN, r.name, "C:\\u.exe");
        const char *twin = strcmp(r.name, "Updater") ? "Updater" : "Updaterdisabled";
        if (r.twin) mem_reg_put_string(HKCU, RUN, twin, "C:\\u.exe");
        for (const fault &f : r.faults) mem_fail(f.op, f.code, f.nth);
        EXPECT_EQ(toggle(run_id(1, RUN, r.name), r.enabled), r.result) << "row " << i << ": " << quorvel_last_error();
        if (r.message) {
            EXPECT_STREQ(quorvel_last_error(), r.message) << "row " << i;
        }
        std::vector<std::string> left = names_of(HKCU, RUN);
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, r.left) << "row " << i;
    }
}

// Records live beside their value: the 32-bit view's in their own key.
TEST_F(RunKeyToggle, RecordsOfThe32BitViewLiveInRun32) {
    mem_reg_put_string(HKLM, RUN32, "Legacy", "C:\\l.exe");
    ASSERT_EQ(toggle(run_id(0, RUN32, "Legacy"), 0), 1) << quorvel_last_error();
    EXPECT_EQ(names_of(HKLM, RUN32), std::vector<std::string>{"Legacydisabled"});
    EXPECT_EQ(bytes_of(HKLM, APPROVED32, "Legacydisabled"), off_record(now));
    EXPECT_TRUE(mem_reg_values(HKLM, APPROVED).empty());
}

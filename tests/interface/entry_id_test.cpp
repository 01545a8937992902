#include <cstdio>
#include <string>

#include "interface/entry_id.h"
#include "platform/last_error.h"
#include "test_support.h"

namespace {
std::string id_of(const char *source, uint64_t hash) {
    char id[ENTRY_ID_SIZE];
    snprintf(id, sizeof id, "%s:%016llx", source, (unsigned long long)hash);
    return id;
}
}  // namespace

TEST(EntryId, Fnv1a64KnownValues) {
    EXPECT_EQ(fnv1a64(nullptr), 0u);
    EXPECT_EQ(fnv1a64(""), 0xcbf29ce484222325ull);
    EXPECT_EQ(fnv1a64("abc"), 0xe71fa2190541574bull);
}

TEST(EntryId, PathHashFoldsAsciiOnly) {
    EXPECT_EQ(path_hash(nullptr), 0u);
    EXPECT_EQ(path_hash("ABC"), fnv1a64("abc"));
    EXPECT_EQ(path_hash("ABC"), 0xe71fa2190541574bull);
    EXPECT_NE(path_hash("\xc3\xa9"), path_hash("\xc3\x89"));  // é vs É are not folded
}

TEST(EntryId, DocumentedIdentifiers) {
    struct row {
        const char *source;
        bool fold;
        const char *key;
        const char *id;
    } rows[] = {
        {"runkey", false, "runkey|d1|Software\\Microsoft\\Windows\\CurrentVersion\\Run|ExampleTool",
         "runkey:ff3ae558395561a6"},
        {"runonce", false, "runkey|d0|Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce|ExampleSetup",
         "runonce:d86f47e2ac1c319b"},
        {"runkey", false, "runkey|d1|Software\\Microsoft\\Windows\\CurrentVersion\\Run|Updater",
         "runkey:666f6c80186f1dab"},
        {"runkey", false, "runkey|d0|Software\\Microsoft\\Windows\\CurrentVersion\\Run|Updater",
         "runkey:f136c1eb4e5436e0"},
        {"runonce", false, "runkey|d1|Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce|Updater",
         "runonce:18da1d5100b6bb9e"},
        {"startup", true, "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Notes.lnk",
         "startup:ccb99b50d64564d3"},
        {"startup", true, "c:\\users\\user\\appdata\\roaming\\microsoft\\windows\\start menu\\programs\\startup\\notes.lnk",
         "startup:ccb99b50d64564d3"},
        {"startup", true,
         "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\disabled\\Notes.lnk",
         "startup:a62477d68f6b3745"},
        {"startup", true, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\Notes.lnk",
         "startup:d4b3c1f2dd79b6f4"},
        {"task", true, "", "task:cbf29ce484222325"},
        {"policy", false,
         "policy|d1|Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run|ExamplePolicy",
         "policy:6c3ff1ca16edbe0d"},
    };
    for (const row &r : rows)
        EXPECT_EQ(id_of(r.source, r.fold ? path_hash(r.key) : fnv1a64(r.key)), r.id) << r.key;
}

TEST(EntryId, HasSourcePrefix) {
    EXPECT_EQ(has_source_prefix(nullptr, "task"), 0);
    EXPECT_EQ(has_source_prefix("task:", "task"), 1);
    EXPECT_EQ(has_source_prefix("task", "task"), 0);
    EXPECT_EQ(has_source_prefix("tas", "task"), 0);
    EXPECT_EQ(has_source_prefix("Task:", "task"), 0);
    EXPECT_EQ(has_source_prefix("taskx:", "task"), 0);
}

TEST(EntryId, ParseEntryId) {
    struct row {
        const char *id;
        int ok;
        uint64_t value;
    } rows[] = {
        {"runkey:ff3ae558395561a6", 1, 0xff3ae558395561a6ull},
        {"runkey:0000000000000000", 1, 0},
        {"runkey:FF3AE558395561A6", 0, 0},
        {"runkey:ff3ae558395561a", 0, 0},
        {"runkey:ff3ae558395561a6a", 0, 0},
        {"runkey:ff3ae558395561a6 ", 0, 0},
        {"runkey:", 0, 0},
        {"runkey:-f3ae558395561a6", 0, 0},
        {"startup:ff3ae558395561a6", 0, 0},
    };
    for (const row &r : rows) {
        uint64_t v = 42;
        EXPECT_EQ(parse_entry_id(r.id, "runkey", &v), r.ok) << r.id;
        EXPECT_EQ(v, r.ok ? r.value : 42u) << r.id;
    }
    uint64_t v = 0;
    EXPECT_EQ(parse_entry_id(nullptr, "runkey", &v), 0);
    EXPECT_EQ(parse_entry_id("runkey:0000000000000000", "runkey", nullptr), 0);
}

using DispatchTest = MachineTest;

TEST_F(DispatchTest, RefusalsAndRouting) {
    struct row {
        const char *id;
        const char *message;
    } rows[] = {
        {"runonce:", "runonce entries are one-shot and cannot be toggled"},
        {"runonce:d86f47e2ac1c319b", "runonce entries are one-shot and cannot be toggled"},
        {"runonce:garbage", "runonce entries are one-shot and cannot be toggled"},
        {"policy:", "policy entries are set by an administrator's policy and cannot be toggled"},
        {"policy:6c3ff1ca16edbe0d", "policy entries are set by an administrator's policy and cannot be toggled"},
        {"policyx:0000000000000000", "unknown entry source in id 'policyx:0000000000000000'"},
        {"runkey:FF3AE558395561A6", "bad id format"},
        {"runkey:ff3ae558395561a", "bad id format"},
        {"runkey:ff3ae558395561a6a", "bad id format"},
        {"runkey:ff3ae558395561a6 ", "bad id format"},
        {"startup:xyz", "bad id format"},
        {"task:", "bad id format"},
        {"runoncex:0000000000000000", "unknown entry source in id 'runoncex:0000000000000000'"},
        {"runkey", "unknown entry source in id 'runkey'"},
        {"RunKey:0000000000000000", "unknown entry source in id 'RunKey:0000000000000000'"},
        {"", "unknown entry source in id ''"},
        {"runkey:ff3ae558395561a6", "runkey: entry no longer exists"},
        {"startup:ccb99b50d64564d3", "startup: entry no longer exists"},
    };
    for (const row &r : rows) {
        for (int enabled : {0, 1, 2, -1}) {
            set_last_error("before");
            EXPECT_EQ(quorvel_set_enabled(r.id, enabled), 0) << r.id;
            EXPECT_STREQ(quorvel_last_error(), r.message) << r.id;
        }
    }
}

TEST_F(DispatchTest, WellFormedTaskIdReachesTaskProvider) {
    EXPECT_EQ(quorvel_set_enabled("task:0000000000000000", 1), 0);
    EXPECT_EQ(std::string(quorvel_last_error()).rfind("task: ", 0), 0u) << quorvel_last_error();
}

// Shared helpers of the scheduled-task tests: a machine with registered
// tasks, the provider's listing read back as records, and the checks that
// every object and text the provider obtained was given back.
#pragma once

#include <yyjson.h>

#include <cstdio>
#include <string>
#include <vector>

#include "interface/entry_id.h"
#include "platform/last_error.h"
#include "interface/listing.h"
#include "platform/com_policy.h"
#include "platform/mem/mem_com.h"
#include "platform/mem/mem_tasks.h"
#include "platform/platform_com.h"
#include "platform/platform_tasks.h"
#include "providers/providers.h"
#include "test_support.h"

struct task_row {
    std::string id, source, name, command, location;
    bool has_command = false;
    bool enabled = false;
};

// Parses a listing text; entries of every source, in order.
inline std::vector<task_row> parse_rows(const std::string &text) {
    std::vector<task_row> rows;
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    yyjson_val *root = yyjson_doc_get_root(doc);
    size_t i, n;
    yyjson_val *obj;
    yyjson_arr_foreach(root, i, n, obj) {
        task_row r;
        auto str = [&](const char *key) {
            yyjson_val *v = yyjson_obj_get(obj, key);
            return v ? std::string(yyjson_get_str(v)) : std::string();
        };
        r.id = str("id");
        r.source = str("source");
        r.name = str("name");
        r.has_command = yyjson_obj_get(obj, "command") != nullptr;
        r.command = str("command");
        r.location = str("location");
        r.enabled = yyjson_get_bool(yyjson_obj_get(obj, "enabled"));
        rows.push_back(r);
    }
    yyjson_doc_free(doc);
    return rows;
}

// Runs the task provider alone into a fresh document, then leaves COM as the
// listing does; returns the written text.
inline std::string list_tasks_only() {
    listing list;
    listing_begin(&list);
    list_task_entries(&list);
    com_leave();
    char *text = listing_finish(&list);
    std::string s = text ? text : "<write failed>";
    free(text);
    return s;
}

inline std::vector<task_row> task_rows() { return parse_rows(list_tasks_only()); }

// The identifier the provider gives a task of this (UTF-8) path.
inline std::string task_id(const char *path) {
    char id[ENTRY_ID_SIZE];
    snprintf(id, sizeof id, "task:%016llx", (unsigned long long)expected_hash(path, true));
    return id;
}

inline uint64_t task_key(const char *path) { return expected_hash(path, true); }

// A root-folder task with one logon trigger and one exec action.
inline mem_task_def logon_task(const std::u16string &name, const std::u16string &program = u"C:\\x.exe",
                                const std::u16string &arguments = u"") {
    mem_task_def t;
    t.name = name;
    t.triggers = {PLAT_TASK_TRIGGER_LOGON};
    t.actions = {{PLAT_TASK_ACTION_EXEC, program, arguments}};
    return t;
}

inline mem_task_action exec_action(const std::u16string &program, const std::u16string &arguments) {
    return {PLAT_TASK_ACTION_EXEC, program, arguments};
}

// Nothing obtained from the Task Scheduler is still held, nothing was given
// back twice or used after release, and COM is left as found.
#define EXPECT_TASKS_RELEASED(context)                            \
    do {                                                          \
        EXPECT_EQ(mem_task_live_objects(), 0) << (context);       \
        EXPECT_EQ(mem_task_live_bstrs(), 0) << (context);         \
        EXPECT_EQ(mem_task_bad_releases(), 0) << (context);       \
        EXPECT_EQ(mem_task_bad_uses(), 0) << (context);           \
        EXPECT_EQ(mem_com_depth(), 0) << (context);               \
        EXPECT_EQ(com_owned_here(), 0) << (context);              \
    } while (0)

class TaskTest : public MachineTest {
  protected:
    void TearDown() override {
        EXPECT_TASKS_RELEASED("at the end of the test");
        MachineTest::TearDown();
    }
};

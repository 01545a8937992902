// The allocation sweep: a full listing and each kind of toggle, over a
// machine with items of every kind, with the 1st, 2nd, ... allocation
// failing in turn (once, or from there on) until the call completes
// without reaching the fault. Every run must end without a leak (blocks
// or platform objects), with COM left, with nothing lost from the machine,
// and with either the fault-free outcome or a clean failure.
#include <cstdio>
#include <string>
#include <vector>

#include "machine_items.h"
#include "platform/mem/mem_com.h"
#include "reliability_support.h"

namespace {

class SweepTest : public HookedTest {
  protected:
    void SetUp() override {
        HookedTest::SetUp();
        add_items("");
    }
};

// Totals over the whole sweep, printed at the end for the record.
struct sweep_totals {
    long points = 0, faults = 0, runs = 0;
    ~sweep_totals() {
        if (runs)
            printf("sweep: %ld runs, %ld allocation points, %ld allocations failed\n", runs, points, faults);
    }
} totals;

// Back to the machine every run starts from.
void fresh_machine(bool linked = false) {
    mem_reset();
    alloc_hook::forget();
    add_items("");
    if (linked) link_user_disabled();
}

const listed *by_id(const std::vector<listed> &items, const std::string &id) {
    for (const listed &e : items)
        if (e.id == id) return &e;
    return nullptr;
}

// A listing made while memory ran out may miss entries and members, and
// holds the fallbacks of the steps that failed: a text that could not be
// converted reads as "" (a task's name, a shortcut's target or arguments,
// so a command may be cut to a part of itself), and a hash whose working
// copy could not be made is 0 (a task's unreadable path hashes as "").
// Everything else must be what the fault-free listing holds.
bool degraded_id(const listed &e) {
    return e.id == e.source + ":0000000000000000" || e.id == "task:cbf29ce484222325";
}

void expect_listing_within(const std::string &text, const std::vector<listed> &full, const std::string &where) {
    std::vector<listed> got;
    ASSERT_TRUE(parse_listing(text.c_str(), &got)) << where << ": not a JSON array of objects: " << text;
    for (const listed &e : got) {
        if (!e.has_id) continue;  // nothing to match it with, but it parsed
        const listed *ref = by_id(full, e.id);
        if (!ref && e.has_source && degraded_id(e)) {
            for (const listed &r : full)
                if (r.source == e.source && (r.name == e.name || e.name.empty())) ref = &r;
        }
        ASSERT_NE(ref, nullptr) << where << ": unknown entry " << e.id << " " << e.name;
        if (e.has_source) {
            EXPECT_EQ(e.source, ref->source) << where;
        }
        if (e.has_name && !e.name.empty()) {
            EXPECT_EQ(e.name, ref->name) << where;
        }
        if (e.has_command) {
            EXPECT_NE(ref->command.find(e.command), std::string::npos) << where << ": " << e.command;
        }
        if (e.has_enabled) {
            EXPECT_EQ(e.enabled, ref->enabled) << where;
        }
    }
}

void expect_clean_platform(const std::string &where) {
    EXPECT_EQ(platform_objects_held(), 0) << where << ": platform objects left open";
    EXPECT_EQ(mem_com_depth(), 0) << where << ": COM left initialised";
    EXPECT_EQ(alloc_hook::live(), 0) << where << ": blocks leaked";
}

TEST_F(SweepTest, FullListing) {
    std::vector<listed> full = list_now();
    ASSERT_GE(full.size(), 8u);
    char *ref_text = quorvel_list();
    std::string reference = ref_text;
    quorvel_free_string(ref_text);
    for (long times : {1L, -1L}) {
        for (long nth = 1;; nth++) {
            ASSERT_LT(nth, 5000) << "the listing never completes";
            fresh_machine();
            machine_state before = capture_state();
            const char *planted = plant_message();
            listing_outcome out = list_under_hook(nth, times);
            std::string where = "listing, allocation " + std::to_string(nth) + (times < 0 ? " onwards" : "");
            totals.runs++;
            totals.faults += out.failed;
            expect_clean_platform(where);
            EXPECT_EQ(capture_state(), before) << where << ": a listing changed the machine";
            if (out.null) {
                EXPECT_GT(out.failed, 0) << where;
                EXPECT_EQ(last_error(), "provider collect failed") << where;
                continue;
            }
            if (out.failed == 0) {
                EXPECT_EQ(out.text, reference) << where << ": the fault-free listing differs";
                EXPECT_EQ(last_error(), planted) << where;
                totals.points += nth - 1;
                if (times == 1) printf("sweep: listing: %ld allocation points\n", nth - 1);
                break;
            }
            expect_listing_within(out.text, full, where);
        }
    }
}

struct toggle_case {
    const char *what;
    const char *source;
    std::string item_names::*item;
    int enabled;
    bool linked = false;  // the user's "disabled" subfolder is a link: always refused
};

const toggle_case toggle_cases[] = {
    {"run value off", "runkey", &item_names::run_on, 0},
    {"run value on", "runkey", &item_names::run_off, 1},
    {"machine run value off", "runkey", &item_names::run_machine, 0},
    {"run value already on", "runkey", &item_names::run_on, 1},
    {"run-once value", "runonce", &item_names::run_once, 0},
    {"shortcut off", "startup", &item_names::link_on, 0},
    {"shortcut on", "startup", &item_names::link_off, 1},
    {"all-users shortcut off", "startup", &item_names::link_common, 0},
    {"file off", "startup", &item_names::file_on, 0},
    {"all-users file on", "startup", &item_names::file_off, 1},
    {"policy value", "policy", &item_names::policy_machine, 0},
    {"shortcut off, subfolder a link", "startup", &item_names::link_on, 0, true},
    {"file off, subfolder a link", "startup", &item_names::file_on, 0, true},
    {"task off", "task", &item_names::task_on, 0},
    {"task on", "task", &item_names::task_off, 1},
    {"vendor-folder task off", "task", &item_names::task_vendor, 0},
    {"hidden task on", "task", &item_names::task_hidden, 1},
    {"packaged app's task off", "package", &item_names::package_on, 0},
    {"packaged app's task on", "package", &item_names::package_off, 1},
};

TEST_F(SweepTest, EachKindOfToggle) {
    const item_names names = names_of("");
    for (const toggle_case &c : toggle_cases) {
        fresh_machine(c.linked);
        std::string id = id_of(list_now(), c.source, names.*c.item);
        ASSERT_FALSE(id.empty()) << c.what << ": not listed";
        machine_state before = capture_state();
        int ref_result = quorvel_set_enabled(id.c_str(), c.enabled);
        std::string ref_message = last_error();
        machine_state ref_after = capture_state();
        ASSERT_TRUE(!c.linked || ref_result == 0) << c.what << ": switched through a link";

        for (long times : {1L, -1L}) {
            for (long nth = 1;; nth++) {
                ASSERT_LT(nth, 5000) << c.what << ": the toggle never completes";
                fresh_machine(c.linked);
                ASSERT_EQ(capture_state(), before);
                const char *planted = plant_message();
                toggle_outcome out = toggle_under_hook(id, c.enabled, nth, times);
                std::string where = std::string(c.what) + ", allocation " + std::to_string(nth) +
                                    (times < 0 ? " onwards" : "") + " (" + out.message + ")";
                totals.runs++;
                totals.faults += out.failed;
                expect_clean_platform(where);
                machine_state after = capture_state();
                EXPECT_EQ(identities(after), identities(before))
                    << where << ": an item was lost or changed\nbefore:\n" << describe(before) << "after:\n"
                    << describe(after);
                ASSERT_TRUE(out.result == 0 || out.result == 1) << where;
                if (out.failed == 0) {
                    EXPECT_EQ(out.result, ref_result) << where;
                    EXPECT_EQ(after, ref_after) << where;
                    if (!ref_result) {
                        EXPECT_EQ(out.message, ref_message) << where;
                    }
                    totals.points += nth - 1;
                    if (times == 1) printf("sweep: %s: %ld allocation points\n", c.what, nth - 1);
                    break;
                }
                if (out.result == 1) {
                    EXPECT_EQ(after, ref_after) << where << ": success with another effect\n" << describe(after);
                } else {
                    EXPECT_EQ(after, before) << where << ": a failed toggle changed the machine\n"
                                             << describe(after);
                    EXPECT_NE(out.message, planted) << where << ": failure without a message";
                    EXPECT_FALSE(out.message.empty()) << where;
                }
            }
        }
    }
}

}  // namespace

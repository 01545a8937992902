// The providers' own answers to allocation failures: the run-key rename's
// copy buffer and the task provider's command text, reached through the
// allocation hook on machines that hold just the item under test.
#include <string>
#include <vector>

#include "machine_items.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_registry.h"
#include "platform/mem/mem_tasks.h"
#include "platform/platform_tasks.h"
#include "reliability_support.h"

namespace {

const char run_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class OomProviders : public HookedTest {
  protected:
    void SetUp() override {
        HookedTest::SetUp();
        // No Startup folder: the listing allocates for nothing but the
        // document and the item under test.
        mem_files_set_profile(PLAT_E_FAIL, "");
        mem_files_set_common_startup(PLAT_E_FAIL, "");
    }
};

std::string the_only_id() {
    std::vector<listed> items = list_now();
    return items.size() == 1 ? items[0].id : "";
}

// Every allocation of a run-value switch belongs to the rename (the names
// for the registry and the copy buffer, which comes last); each failing
// leaves the value as it was, under its old name, and answers "OOM".
TEST_F(OomProviders, RunValueRenameAnswersOomAndKeepsTheValue) {
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_key, "Updater", "C:\\Tools\\updater.exe --tray");
    std::string id = the_only_id();
    ASSERT_FALSE(id.empty());
    long total = toggle_under_hook(id, 0, 0).counted;
    mem_reset();
    ASSERT_GE(total, 1) << "the copy buffer at least";
    for (long nth = total; nth >= 1; nth--) {
        mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_key, "Updater", "C:\\Tools\\updater.exe --tray");
        toggle_outcome out = toggle_under_hook(id, 0, nth);
        std::string where = "allocation " + std::to_string(nth) + (nth == total ? " (copy buffer)" : "");
        EXPECT_EQ(out.failed, 1) << where;
        EXPECT_EQ(out.result, 0) << where;
        EXPECT_EQ(out.message, "OOM") << where;
        mem_reg_value v;
        EXPECT_TRUE(mem_reg_find(PLAT_HKEY_CURRENT_USER, run_key, "Updater", &v)) << where;
        EXPECT_EQ(mem_reg_ansi_text(v), "C:\\Tools\\updater.exe --tray") << where;
        EXPECT_FALSE(mem_reg_find(PLAT_HKEY_CURRENT_USER, run_key, "Updaterdisabled", &v)) << where;
        EXPECT_EQ(platform_objects_held(), 0) << where;
        mem_reset();
    }
}

mem_task_def logon_task(std::vector<mem_task_action> actions) {
    mem_task_def def;
    def.name = u"Nightly";
    def.triggers = {PLAT_TASK_TRIGGER_LOGON};
    def.actions = std::move(actions);
    return def;
}

// The listing of one task with each allocation failing in turn: the
// entries it gave, as "name|command" ("name|-" without a command member).
std::vector<std::string> task_outcomes(const mem_task_def &def) {
    std::vector<std::string> seen;
    mem_task_add(def);
    long total = list_under_hook(0).counted;
    for (long nth = 1; nth <= total; nth++) {
        mem_reset();
        mem_files_set_profile(PLAT_E_FAIL, "");
        mem_files_set_common_startup(PLAT_E_FAIL, "");
        mem_task_add(def);
        listing_outcome out = list_under_hook(nth);
        std::vector<listed> items;
        EXPECT_TRUE(parse_listing(out.text.c_str(), &items)) << out.text;
        for (const listed &e : items)
            seen.push_back(e.name + "|" + (e.has_command ? e.command : "-"));
        EXPECT_EQ(platform_objects_held(), 0) << "allocation " << nth;
    }
    return seen;
}

bool contains(const std::vector<std::string> &v, const std::string &s) {
    for (const std::string &x : v)
        if (x == s) return true;
    return false;
}

TEST_F(OomProviders, TaskCommandFallsBackToEmptyThenToNoMember) {
    // The joined command cannot be allocated: the command is "".
    std::vector<std::string> exec = task_outcomes(
        logon_task({{PLAT_TASK_ACTION_EXEC, u"C:\\Tools\\nightly.exe", u"--quiet"}}));
    EXPECT_TRUE(contains(exec, "Nightly|")) << "no run gave the empty command";
    EXPECT_TRUE(contains(exec, "Nightly|C:\\Tools\\nightly.exe --quiet"));
    for (const std::string &s : exec)
        EXPECT_TRUE(s == "Nightly|" || s == "Nightly|C:\\Tools\\nightly.exe --quiet" ||
                    s == "Nightly|C:\\Tools\\nightly.exe" || s == "|C:\\Tools\\nightly.exe --quiet" ||
                    s == "|")
            << s;

    // No exec action and not even "" to start from: no command member.
    mem_reset();
    mem_files_set_profile(PLAT_E_FAIL, "");
    mem_files_set_common_startup(PLAT_E_FAIL, "");
    std::vector<std::string> none = task_outcomes(logon_task({{PLAT_TASK_ACTION_COM_HANDLER, u"", u""}}));
    EXPECT_TRUE(contains(none, "Nightly|-")) << "no run left the command out";
    EXPECT_TRUE(contains(none, "Nightly|"));
}

}  // namespace

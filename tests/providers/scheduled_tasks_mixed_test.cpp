// Tasks among the other providers' items in one machine: the listing's
// order, its single COM initialisation, and a Task Scheduler that cannot be
// reached costing only the task entries.
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_registry.h"
#include "scheduled_tasks_support.h"

namespace {

const char run_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char user_startup[] = "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";

// One run value, three shortcuts (so three shell links read) and one task.
void add_one_of_each() {
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_key, "Updater", "C:\\up.exe");
    for (const char *name : {"\\a.lnk", "\\b.lnk", "\\c.lnk"})
        mem_files_add_shortcut((std::string(user_startup) + name).c_str(), "C:\\note.exe", "");
    mem_task_add(logon_task(u"Nightly", u"C:\\night.exe"));
}

std::vector<std::string> sources(const std::vector<task_row> &rows) {
    std::vector<std::string> out;
    for (const task_row &r : rows) out.push_back(r.source);
    return out;
}

}  // namespace

using TaskMixed = TaskTest;

TEST_F(TaskMixed, RunKeysThenShortcutsThenTasks) {
    add_one_of_each();
    std::vector<task_row> rows = parse_rows(list_text());
    std::vector<std::string> want = {"runkey", "startup", "startup", "startup", "task"};
    EXPECT_EQ(sources(rows), want);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.back().name, "Nightly");
    // The shortcuts entered COM first; the task provider found it entered.
    EXPECT_EQ(mem_calls("CoInitializeEx"), 1);
    EXPECT_EQ(mem_calls("CoUninitialize"), 1);
}

TEST_F(TaskMixed, UnreachableSchedulerCostsOnlyTheTasks) {
    struct row {
        void (*arrange)();
        const char *message;
    } rows[] = {
        {[] { mem_task_set_absent(true); }, "task: CoCreateInstance(TaskScheduler): HRESULT 0x80040154"},
        {[] { mem_fail("ITaskService_Connect", 0x80041315); }, "task: ITaskService_Connect: HRESULT 0x80041315"},
        {[] { mem_fail("ITaskService_GetFolder", 0x800704E3); },
         "task: enumerate failed (0x800704e3) - Task Scheduler unavailable on this host"},
    };
    for (const row &r : rows) {
        mem_reset();
        add_one_of_each();
        r.arrange();
        std::vector<task_row> got = parse_rows(list_text());
        std::vector<std::string> want = {"runkey", "startup", "startup", "startup"};
        EXPECT_EQ(sources(got), want) << r.message;
        EXPECT_STREQ(quorvel_last_error(), r.message);
        EXPECT_EQ(mem_calls("CoInitializeEx"), 1) << r.message;
        EXPECT_EQ(mem_calls("CoUninitialize"), 1) << r.message;
        EXPECT_TASKS_RELEASED(r.message);
    }
}

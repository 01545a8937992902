// The task listing over the in-memory Task Scheduler: which tasks qualify,
// what each entry holds, and how per-task failures are passed over.
#include <algorithm>

#include "scheduled_tasks_support.h"

using TaskList = TaskTest;

TEST_F(TaskList, OneTaskIsWrittenExactly) {
    mem_task_add(logon_task(u"Updater", u"C:\\Tools\\up.exe", u"--quiet"));
    std::string expected = "[{\"id\":\"" + task_id("\\Updater") +
                           "\",\"source\":\"task\",\"name\":\"Updater\","
                           "\"command\":\"C:\\\\Tools\\\\up.exe --quiet\",\"enabled\":true,\"location\":\"\\\\\","
                           "\"scope\":\"machine\",\"image\":\"C:\\\\Tools\\\\up.exe\",\"image_exists\":false,"
                           "\"publisher\":\"\",\"description\":\"\"}]";
    EXPECT_EQ(list_tasks_only(), expected);
}

TEST_F(TaskList, OnlyLogonTriggersQualify) {
    struct row {
        std::vector<int> triggers;
        bool listed;
    } rows[] = {
        {{PLAT_TASK_TRIGGER_LOGON}, true},
        {{1, PLAT_TASK_TRIGGER_LOGON}, true},  // time trigger first
        {{PLAT_TASK_TRIGGER_LOGON, PLAT_TASK_TRIGGER_BOOT}, true},
        {{PLAT_TASK_TRIGGER_BOOT}, false},
        {{1, 2, 3, 4, 6, 7, 8, 11}, false},
        {{}, false},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_task_def t = logon_task(u"T");
        t.triggers = r.triggers;
        mem_task_add(t);
        EXPECT_EQ(task_rows().size(), r.listed ? 1u : 0u) << r.triggers.size() << " triggers";
        EXPECT_TASKS_RELEASED("triggers row");
    }
}

// Every folder, hidden tasks too: the root's tasks first, then each
// subfolder depth first in the scheduler's order, but nothing at or below
// \Microsoft\Windows (in any ASCII case).
TEST_F(TaskList, EveryFolderDepthFirstButWindowsOwn) {
    auto in = [](const char16_t *folder, const char16_t *name, bool hidden = false) {
        mem_task_def t = logon_task(name);
        t.folder = folder;
        t.hidden = hidden;
        mem_task_add(t);
    };
    mem_task_add_folder(u"\\Zeta");
    in(u"\\", u"Shown");
    in(u"\\", u"Hidden", true);
    in(u"\\Vendor\\Updater", u"Deep", true);
    in(u"\\Vendor", u"Top");
    in(u"\\Microsoft\\Windows\\Defrag", u"Sys");
    in(u"\\Microsoft\\Windows", u"Own");
    in(u"\\MICROSOFT\\windows\\Caps", u"Caps");
    in(u"\\Microsoft\\Office", u"Off");
    in(u"\\Microsoft\\WindowsApps", u"App");
    in(u"\\Zeta", u"Z");
    std::vector<task_row> rows = task_rows();
    std::vector<std::string> got;
    for (const task_row &r : rows) got.push_back(r.name + " " + r.location);
    EXPECT_EQ(got, (std::vector<std::string>{"Shown \\", "Hidden \\", "Z \\Zeta", "Top \\Vendor",
                                             "Deep \\Vendor\\Updater", "Off \\Microsoft\\Office",
                                             "App \\Microsoft\\WindowsApps"}));
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[4].id, task_id("\\Vendor\\Updater\\Deep"));
    EXPECT_TASKS_RELEASED("folders");
}

// A folder that cannot be read costs only itself (and what lies below
// it), and says why.
TEST_F(TaskList, UnreadableFoldersCostOnlyThemselves) {
    struct row {
        const char *op;
        int nth;
        int64_t code;
        std::vector<std::string> names;
        const char *message;
    } rows[] = {
        {"ITaskFolder_GetTasks", 1, PLAT_E_FAIL, {"V", "Deep", "W"}, "task: GetTasks '\\': HRESULT 0x80004005"},
        {"ITaskFolder_GetTasks", 2, 0, {"R", "Deep", "W"}, "task: GetTasks '\\Vendor': HRESULT 0x00000000"},
        {"ITaskFolder_GetFolders", 2, PLAT_E_ACCESSDENIED, {"R", "V", "W"},
         "task: GetFolders '\\Vendor': HRESULT 0x80070005"},
        {"ITaskFolder_GetFolders", 1, PLAT_S_FALSE, {"R"}, "task: GetFolders '\\': HRESULT 0x00000001"},
        {"ITaskFolderCollection_get_Item", 1, PLAT_E_FAIL, {"R", "W"},
         "task: GetFolders item of '\\': HRESULT 0x80004005"},
        {"ITaskFolder_get_Path", 2, PLAT_E_FAIL, {"R", "V", "W"},
         "task: get_Path of a folder in '\\Vendor': HRESULT 0x80004005"},
        {"ITaskFolderCollection_get_Count", 1, mem_task_value(0), {"R"}, "before"},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_task_add(logon_task(u"R"));
        mem_task_def v = logon_task(u"V"), deep = logon_task(u"Deep"), w = logon_task(u"W");
        v.folder = u"\\Vendor";
        deep.folder = u"\\Vendor\\Sub";
        w.folder = u"\\W";
        for (const mem_task_def &t : {v, deep, w}) mem_task_add(t);
        mem_fail(r.op, r.code, r.nth);
        set_last_error("before");
        std::vector<std::string> got;
        for (const task_row &t : task_rows()) got.push_back(t.name);
        EXPECT_EQ(got, r.names) << r.op << " " << r.nth;
        EXPECT_STREQ(quorvel_last_error(), r.message) << r.op << " " << r.nth;
        EXPECT_TASKS_RELEASED(r.op);
    }
}

TEST_F(TaskList, CommandOfFirstUsableExecAction) {
    const int com = PLAT_TASK_ACTION_COM_HANDLER;
    struct row {
        std::vector<mem_task_action> actions;
        const char *command;
    } rows[] = {
        {{exec_action(u"C:\\a.exe", u"")}, "C:\\a.exe"},
        {{exec_action(u"C:\\Program Files\\a b.exe", u"-x \"y z\"")}, "C:\\Program Files\\a b.exe -x \"y z\""},
        {{exec_action(u"", u""), exec_action(u"P", u"")}, "P"},
        {{exec_action(u"", u"--args only"), exec_action(u"P", u"")}, "P"},
        {{{com, u"", u""}}, ""},
        {{{com, u"", u""}, exec_action(u"P", u"A"), exec_action(u"Q", u"B")}, "P A"},
        {{exec_action(u"", u"x")}, ""},
        {{}, ""},
        {{exec_action(u"  P  ", u"  %TEMP%  ")}, "  P     %TEMP%  "},  // nothing trimmed or expanded
        {{exec_action(u"C:\\Caf\u00e9\\x.exe", u"\u2603")}, "C:\\Caf\xc3\xa9\\x.exe \xe2\x98\x83"},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_task_def t = logon_task(u"T");
        t.actions = r.actions;
        mem_task_add(t);
        std::vector<task_row> got = task_rows();
        ASSERT_EQ(got.size(), 1u) << r.command;
        EXPECT_TRUE(got[0].has_command);
        EXPECT_EQ(got[0].command, r.command);
        EXPECT_TASKS_RELEASED(r.command);
    }
}

TEST_F(TaskList, OnlyVariantTrueIsEnabled) {
    struct row {
        int16_t flag;
        bool enabled;
    } rows[] = {{-1, true}, {0, false}, {1, false}, {0x7fff, false}, {-2, false}};
    for (const row &r : rows) {
        mem_reset();
        mem_task_def t = logon_task(u"T");
        t.enabled = r.flag;
        mem_task_add(t);
        std::vector<task_row> got = task_rows();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].enabled, r.enabled) << r.flag;
    }
}

TEST_F(TaskList, PathsDifferingInAsciiCaseShareAnIdentifier) {
    mem_task_def a = logon_task(u"Sync");
    a.path = u"\\MyApp Sync";
    mem_task_def b = logon_task(u"SYNC");
    b.path = u"\\MYAPP SYNC";
    mem_task_def c = logon_task(u"Other");
    c.path = u"\\\u00c9t\u00e9";  // non-ASCII letters are not folded
    mem_task_def d = logon_task(u"Other2");
    d.path = u"\\\u00e9t\u00e9";
    for (const mem_task_def &t : {a, b, c, d}) mem_task_add(t);
    std::vector<task_row> rows = task_rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].id, rows[1].id);
    EXPECT_EQ(rows[0].id, task_id("\\myapp sync"));
    EXPECT_NE(rows[2].id, rows[3].id);
}

TEST_F(TaskList, UnreadableTextsReadAsEmpty) {
    struct row {
        const char *op;
        int64_t code;  // 0: success with a null BSTR
        const char *id, *name, *command;
    } rows[] = {
        {"IRegisteredTask_get_Path", PLAT_E_FAIL, "task:cbf29ce484222325", "Up", "C:\\up.exe -a"},
        {"IRegisteredTask_get_Path", 0, "task:cbf29ce484222325", "Up", "C:\\up.exe -a"},
        {"IRegisteredTask_get_Name", PLAT_E_FAIL, nullptr, "", "C:\\up.exe -a"},
        {"IRegisteredTask_get_Name", 0, nullptr, "", "C:\\up.exe -a"},
        {"IExecAction_get_Arguments", 0, nullptr, "Up", "C:\\up.exe"},
        {"IExecAction_get_Arguments", PLAT_E_FAIL, nullptr, "Up", "C:\\up.exe"},
        {"IExecAction_get_Path", 0, nullptr, "Up", "C:\\second.exe"},  // first action passed over
        {"IExecAction_get_Path", PLAT_E_FAIL, nullptr, "Up", "C:\\second.exe"},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_task_def t = logon_task(u"Up", u"C:\\up.exe", u"-a");
        t.actions.push_back(exec_action(u"C:\\second.exe", u""));
        mem_task_add(t);
        mem_fail(r.op, r.code);
        std::vector<task_row> got = task_rows();
        ASSERT_EQ(got.size(), 1u) << r.op;
        EXPECT_EQ(got[0].id, r.id ? r.id : task_id("\\Up")) << r.op;
        EXPECT_EQ(got[0].name, r.name) << r.op;
        EXPECT_EQ(got[0].command, r.command) << r.op << " " << r.code;
        EXPECT_TASKS_RELEASED(r.op);
    }
}

TEST_F(TaskList, UnpairedSurrogateBecomesReplacementCharacter) {
    mem_task_def t = logon_task(std::u16string(u"A") + char16_t(0xD800) + u"B");
    mem_task_add(t);
    std::vector<task_row> got = task_rows();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].name, "A\xef\xbf\xbd" "B");
}

// Each fault hits the first of two tasks (or the first call of its kind);
// the second task, "Two", is always listed as it stands.
TEST_F(TaskList, PerTaskFailuresArePassedOver) {
    struct row {
        const char *op;
        int64_t code;
        int nth;
        bool first_listed;
        const char *first_command;
    } rows[] = {
        {"IRegisteredTaskCollection_get_Item", PLAT_E_FAIL, 1, false, nullptr},
        {"IRegisteredTaskCollection_get_Item", 0, 1, false, nullptr},  // no task
        {"IRegisteredTask_get_Definition", PLAT_E_FAIL, 1, false, nullptr},
        {"IRegisteredTask_get_Definition", 0, 1, false, nullptr},
        {"ITaskDefinition_get_Triggers", PLAT_E_NOTIMPL, 1, false, nullptr},
        {"ITaskDefinition_get_Triggers", 0, 1, false, nullptr},
        {"ITriggerCollection_get_Count", PLAT_E_NOTIMPL, 1, false, nullptr},
        {"ITriggerCollection_get_Count", mem_task_value(0), 1, false, nullptr},
        {"ITriggerCollection_get_Count", mem_task_value(-1), 1, false, nullptr},
        {"ITriggerCollection_get_Count", mem_task_value(1), 1, false, nullptr},  // only the boot trigger
        {"ITriggerCollection_get_Item", PLAT_E_FAIL, 2, false, nullptr},         // the logon trigger
        {"ITriggerCollection_get_Item", 0, 2, false, nullptr},
        {"ITrigger_get_Type", PLAT_E_FAIL, 2, false, nullptr},
        {"ITrigger_get_Type", mem_task_value(PLAT_TASK_TRIGGER_LOGON), 1, true, "C:\\one.exe"},
        {"ITriggerCollection_get_Item", PLAT_E_FAIL, 1, true, "C:\\one.exe"},  // boot trigger lost only
        {"ITaskDefinition_get_Actions", PLAT_E_NOTIMPL, 1, true, ""},
        {"ITaskDefinition_get_Actions", 0, 1, true, ""},
        {"IActionCollection_get_Count", PLAT_E_NOTIMPL, 1, true, ""},
        {"IActionCollection_get_Count", mem_task_value(0), 1, true, ""},
        {"IActionCollection_get_Count", mem_task_value(1), 1, true, ""},  // only the COM action
        {"IActionCollection_get_Item", PLAT_E_FAIL, 2, true, "C:\\spare.exe"},
        {"IActionCollection_get_Item", 0, 2, true, "C:\\spare.exe"},
        {"IAction_get_Type", PLAT_E_FAIL, 2, true, "C:\\spare.exe"},
        {"IAction_get_Type", mem_task_value(3), 2, true, "C:\\spare.exe"},
        {"IAction_QueryInterface", PLAT_E_NOINTERFACE, 1, true, "C:\\spare.exe"},
        {"IAction_QueryInterface", 0, 1, true, "C:\\spare.exe"},
        {"IRegisteredTask_get_Enabled", PLAT_E_FAIL, 1, true, "C:\\one.exe"},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_task_def one = logon_task(u"One");
        one.triggers = {PLAT_TASK_TRIGGER_BOOT, PLAT_TASK_TRIGGER_LOGON};
        one.actions = {{PLAT_TASK_ACTION_COM_HANDLER, u"", u""}, exec_action(u"C:\\one.exe", u""),
                       exec_action(u"C:\\spare.exe", u"")};
        int first = mem_task_add(one);
        mem_task_add(logon_task(u"Two", u"C:\\two.exe"));
        mem_fail(r.op, r.code, r.nth);
        set_last_error("before");
        std::vector<task_row> got = task_rows();
        std::string context = std::string(r.op) + " #" + std::to_string(r.nth);
        ASSERT_EQ(got.size(), r.first_listed ? 2u : 1u) << context;
        EXPECT_EQ(got.back().name, "Two") << context;
        EXPECT_EQ(got.back().command, "C:\\two.exe") << context;
        if (r.first_listed) {
            EXPECT_EQ(got[0].command, r.first_command) << context;
            bool flag_lost = std::string(r.op) == "IRegisteredTask_get_Enabled";
            EXPECT_EQ(got[0].enabled, !flag_lost) << context;
        }
        EXPECT_STREQ(quorvel_last_error(), "before") << context;
        EXPECT_EQ(mem_task_enabled(first), -1);  // listing never writes
        // Triggers and actions come through one definition per task.
        EXPECT_LE(mem_calls("IRegisteredTask_get_Definition"), 2) << context;
        EXPECT_TASKS_RELEASED(context);
    }
}

// One task, one logon trigger, one exec action: the provider's whole
// conversation, in order, with every object released before the next step
// and the one definition kept until its actions have been read.
TEST_F(TaskList, CallSequence) {
    mem_task_add(logon_task(u"T", u"C:\\t.exe", u"-a"));
    list_tasks_only();
    std::vector<std::string> expected = {
        "CoInitializeEx", "CoCreateInstance(TaskScheduler)", "VariantInit", "VariantInit", "VariantInit",
        "VariantInit", "ITaskService_Connect", "ITaskService_GetFolder", "ITaskFolder_GetTasks",
        "IRegisteredTaskCollection_get_Count", "VariantInit", "IRegisteredTaskCollection_get_Item",
        "IRegisteredTask_get_Name", "SysFreeString", "IRegisteredTask_get_Path", "SysFreeString",
        "IRegisteredTask_get_Enabled", "IRegisteredTask_get_Definition", "ITaskDefinition_get_Triggers",
        "ITriggerCollection_get_Count", "ITriggerCollection_get_Item", "ITrigger_get_Type", "ITrigger_Release",
        "ITriggerCollection_Release", "ITaskDefinition_get_Actions", "IActionCollection_get_Count",
        "IActionCollection_get_Item", "IAction_get_Type", "IAction_QueryInterface", "IExecAction_get_Path", "SysFreeString",
        "IExecAction_get_Arguments", "SysFreeString", "IExecAction_Release", "IAction_Release",
        "IActionCollection_Release", "ITaskDefinition_Release", "IRegisteredTask_Release",
        "IRegisteredTaskCollection_Release", "ITaskFolder_GetFolders", "ITaskFolderCollection_get_Count",
        "ITaskFolderCollection_Release", "ITaskFolder_Release", "ITaskService_Release", "CoUninitialize"};
    const std::vector<std::string> details = {"ExpandEnvironmentStringsW", "GetSystemDirectoryW", "GetWindowsDirectoryW",
                                              "GetEnvironmentVariableW", "IsWow64Process", "GetFileAttributesW"};
    std::vector<std::string> got;
    for (const std::string &op : mem_call_log())  // text conversions and the image's details aside
        if (op.find("MultiByte") == std::string::npos && std::find(details.begin(), details.end(), op) == details.end())
            got.push_back(op);
    EXPECT_EQ(got, expected);
}

TEST_F(TaskList, ManyTasksKeepEnumerationOrder) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; i++) {
        std::string name = "Task" + std::to_string(39 - i);
        names.push_back(name);
        mem_task_def t = logon_task(std::u16string(name.begin(), name.end()));
        t.triggers = i % 3 ? std::vector<int>{PLAT_TASK_TRIGGER_LOGON} : std::vector<int>{1};
        mem_task_add(t);
    }
    std::vector<task_row> rows = task_rows();
    std::vector<std::string> got, want;
    for (const task_row &r : rows) got.push_back(r.name);
    for (int i = 0; i < 40; i++)
        if (i % 3) want.push_back(names[(size_t)i]);
    EXPECT_EQ(got, want);
    EXPECT_EQ(mem_calls("CoInitializeEx"), 1);
    EXPECT_EQ(mem_calls("CoUninitialize"), 1);
}

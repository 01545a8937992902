// The task toggle, and the failures of the whole provider with their
// messages and exact COM initialisation counts, for listing and toggle.
#include <thread>

#include "scheduled_tasks_support.h"

using TaskToggle = TaskTest;
using TaskFailure = TaskTest;
using TaskCom = TaskTest;

TEST_F(TaskToggle, FlagTable) {
    struct row {
        int16_t before;
        int wanted;
        int16_t after;
        int puts;
    } rows[] = {
        {-1, 0, PLAT_VARIANT_FALSE, 1}, {0, 1, PLAT_VARIANT_TRUE, 1}, {-1, 1, -1, 0},
        {0, 0, 0, 0},                   {1, 1, PLAT_VARIANT_TRUE, 1}, {1, 0, 1, 0},  // 1 is not VARIANT_TRUE
        {0x7fff, 1, PLAT_VARIANT_TRUE, 1},
    };
    for (const row &r : rows) {
        mem_reset();
        mem_task_def t = logon_task(u"T");
        t.enabled = r.before;
        int task = mem_task_add(t);
        set_last_error("before");
        EXPECT_EQ(set_task_entry_enabled(task_key("\\T"), r.wanted), 1) << r.before << "->" << r.wanted;
        EXPECT_EQ(mem_task_enabled(task), r.after) << r.before << "->" << r.wanted;
        EXPECT_EQ(mem_task_put_count(task), r.puts) << r.before << "->" << r.wanted;
        EXPECT_STREQ(quorvel_last_error(), "before");
        EXPECT_TASKS_RELEASED("flag row");
    }
}

// The state of a task whose flag cannot be read is unknown, so the wanted
// flag is set whichever it is: switching off must really switch off.
TEST_F(TaskToggle, UnreadableFlagIsSetEitherWay) {
    int task = mem_task_add(logon_task(u"T"));
    mem_fail("IRegisteredTask_get_Enabled", PLAT_E_FAIL);
    EXPECT_EQ(set_task_entry_enabled(task_key("\\T"), 0), 1);
    EXPECT_EQ(mem_task_put_count(task), 1);
    EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_FALSE);
    mem_fail("IRegisteredTask_get_Enabled", PLAT_E_FAIL);
    EXPECT_EQ(set_task_entry_enabled(task_key("\\T"), 1), 1);
    EXPECT_EQ(mem_task_put_count(task), 2);
    EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_TRUE);
    mem_fail("IRegisteredTask_get_Enabled", PLAT_E_FAIL);
    mem_fail("IRegisteredTask_put_Enabled", PLAT_E_ACCESSDENIED);
    EXPECT_EQ(set_task_entry_enabled(task_key("\\T"), 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "task: set enabled access denied (needs admin)");
    EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_TRUE);
}

TEST_F(TaskToggle, ThroughTheExportKeepsTheIdentifier) {
    mem_task_add(logon_task(u"Updater", u"C:\\up.exe"));
    std::vector<task_row> before = parse_rows(list_text());
    ASSERT_EQ(before.size(), 1u);
    ASSERT_TRUE(before[0].enabled);
    EXPECT_EQ(quorvel_set_enabled(before[0].id.c_str(), 0), 1);
    std::vector<task_row> after = parse_rows(list_text());
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].id, before[0].id);
    EXPECT_FALSE(after[0].enabled);
    EXPECT_EQ(quorvel_set_enabled(before[0].id.c_str(), 7), 1);  // any non-zero switches on
    EXPECT_TRUE(parse_rows(list_text())[0].enabled);
}

TEST_F(TaskToggle, TaskWithoutLogonTriggerIsStillSwitched) {
    mem_task_def t = logon_task(u"Nightly");
    t.triggers = {PLAT_TASK_TRIGGER_BOOT};
    int task = mem_task_add(t);
    EXPECT_TRUE(task_rows().empty());
    EXPECT_EQ(quorvel_set_enabled(task_id("\\Nightly").c_str(), 0), 1);
    EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_FALSE);
    EXPECT_EQ(mem_calls("IRegisteredTask_get_Definition"), 1);  // the listing's only
}

TEST_F(TaskToggle, FirstOfEqualHashesOnlyAndWalkRunsToTheEnd) {
    mem_task_def a = logon_task(u"A");
    a.path = u"\\Sync";
    mem_task_def b = logon_task(u"B");
    b.path = u"\\SYNC";
    int first = mem_task_add(a);
    int second = mem_task_add(b);
    mem_task_add(logon_task(u"C"));
    EXPECT_EQ(set_task_entry_enabled(task_key("\\sync"), 0), 1);
    EXPECT_EQ(mem_task_enabled(first), PLAT_VARIANT_FALSE);
    EXPECT_EQ(mem_task_enabled(second), -1);
    EXPECT_EQ(mem_calls("IRegisteredTask_get_Path"), 3);
    EXPECT_EQ(mem_calls("IRegisteredTask_get_Enabled"), 1);
}

TEST_F(TaskToggle, TaskThatCannotBeFetchedIsPassedOver) {
    for (int64_t code : {(int64_t)PLAT_E_FAIL, (int64_t)0}) {  // failure; no task
        mem_reset();
        int first = mem_task_add(logon_task(u"Same"));
        mem_task_def b = logon_task(u"Other");
        b.path = u"\\same";
        int second = mem_task_add(b);
        mem_fail("IRegisteredTaskCollection_get_Item", code);
        EXPECT_EQ(set_task_entry_enabled(task_key("\\Same"), 0), 1) << code;
        EXPECT_EQ(mem_task_enabled(first), -1) << code;
        EXPECT_EQ(mem_task_enabled(second), PLAT_VARIANT_FALSE) << code;
        EXPECT_TASKS_RELEASED(code);
    }
}

TEST_F(TaskToggle, EntryNoLongerExists) {
    struct row {
        const char *what;
        void (*arrange)(int task);
    } rows[] = {
        {"removed after listing", [](int task) { mem_task_remove(task); }},
        {"renamed", [](int task) {
             mem_task_remove(task);
             mem_task_add(logon_task(u"T2"));
         }},
        {"moved to a subfolder", [](int task) {
             mem_task_remove(task);
             mem_task_def t = logon_task(u"T");
             t.folder = u"\\Sub";
             mem_task_add(t);
         }},
        {"moved under \\Microsoft\\Windows", [](int task) {
             mem_task_remove(task);
             mem_task_def t = logon_task(u"T");
             t.folder = u"\\Microsoft\\Windows";
             t.path = u"\\T";  // as if its path still named the root
             mem_task_add(t);
         }},
        {"path unreadable", [](int) { mem_fail("IRegisteredTask_get_Path", PLAT_E_FAIL); }},
    };
    for (const row &r : rows) {
        mem_reset();
        int task = mem_task_add(logon_task(u"T"));
        mem_task_add(logon_task(u"Kept"));
        r.arrange(task);
        EXPECT_EQ(quorvel_set_enabled(task_id("\\T").c_str(), 0), 0) << r.what;
        EXPECT_STREQ(quorvel_last_error(), "task: entry no longer exists") << r.what;
        EXPECT_EQ(mem_calls("IRegisteredTask_put_Enabled"), 0) << r.what;
        EXPECT_TASKS_RELEASED(r.what);
    }
}

TEST_F(TaskToggle, UnreadablePathMatchesTheEmptyKey) {
    int task = mem_task_add(logon_task(u"T"));
    mem_fail("IRegisteredTask_get_Path", 0);  // null BSTR
    EXPECT_EQ(quorvel_set_enabled("task:cbf29ce484222325", 0), 1);
    EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_FALSE);
}

TEST_F(TaskToggle, RefusedPutEnabled) {
    struct row {
        int64_t code;
        int result;
        const char *message;
    } rows[] = {
        {PLAT_E_ACCESSDENIED, 0, "task: set enabled access denied (needs admin)"},
        {0x8004130F, 0, "task: put_Enabled failed: HRESULT 0x8004130f"},
        {PLAT_E_FAIL, 0, "task: put_Enabled failed: HRESULT 0x80004005"},
        {PLAT_S_FALSE, 1, "before"},  // any success code is success
    };
    for (const row &r : rows) {
        mem_reset();
        int task = mem_task_add(logon_task(u"T"));
        mem_task_add(logon_task(u"After"));
        set_last_error("before");
        mem_fail("IRegisteredTask_put_Enabled", r.code);
        EXPECT_EQ(quorvel_set_enabled(task_id("\\T").c_str(), 0), r.result);
        EXPECT_STREQ(quorvel_last_error(), r.message);
        EXPECT_EQ(mem_task_enabled(task), -1);
        EXPECT_EQ(mem_calls("IRegisteredTask_get_Path"), 2);  // walk went on to the end
        EXPECT_EQ(mem_calls("CoUninitialize"), 1);
        EXPECT_TASKS_RELEASED(r.message);
    }
}

// Each row breaks one step before the tasks are walked. One task is
// registered; the listing shows nothing of it, the toggle of its identifier
// fails, and each leaves COM as it found it.
TEST_F(TaskFailure, WholeProviderTable) {
    const std::string unavailable = " - Task Scheduler unavailable on this host";
    struct row {
        const char *what;
        void (*arrange)();
        std::string list_message, toggle_message;
        int co_init;    // CoInitializeEx calls per operation
        int co_uninit;  // CoUninitialize calls per operation
    } rows[] = {
        {"COM cannot be entered",
         [] { mem_fail("CoInitializeEx", PLAT_E_OUTOFMEMORY, 1, 2); },
         "task: COM init failed", "task: COM init failed", 2, 0},
        {"COM accepted without an apartment",
         [] {
             mem_fail("CoInitializeEx", PLAT_E_FAIL, 1);
             mem_fail("CoInitializeEx", PLAT_RPC_E_CHANGED_MODE, 2);
         },
         "task: CoCreateInstance(TaskScheduler): HRESULT 0x800401f0",
         "task: CoCreateInstance(TaskScheduler): HRESULT 0x800401f0", 2, 0},
        {"no Task Scheduler class", [] { mem_task_set_absent(true); },
         "task: CoCreateInstance(TaskScheduler): HRESULT 0x80040154",
         "task: CoCreateInstance(TaskScheduler): HRESULT 0x80040154", 1, 1},
        {"created without an object", [] { mem_fail("CoCreateInstance(TaskScheduler)", 0); }, "before",
         "task: CoCreateInstance(TaskScheduler) gave no object", 1, 1},
        {"Connect fails", [] { mem_fail("ITaskService_Connect", 0x80041315); },
         "task: ITaskService_Connect: HRESULT 0x80041315", "task: ITaskService_Connect: HRESULT 0x80041315", 1,
         1},
        {"GetFolder fails", [] { mem_fail("ITaskService_GetFolder", 0x800704E3); },
         "task: enumerate failed (0x800704e3)" + unavailable, "task: enumerate failed (0x800704e3)" + unavailable,
         1, 1},
        {"GetFolder gives no folder", [] { mem_fail("ITaskService_GetFolder", 0); },
         "task: enumerate failed (0x00000000)" + unavailable, "task: enumerate failed (0x00000000)" + unavailable,
         1, 1},
        {"GetFolder answers S_FALSE without a folder", [] { mem_fail("ITaskService_GetFolder", PLAT_S_FALSE); },
         "task: enumerate failed (0x00000001)" + unavailable, "task: enumerate failed (0x00000001)" + unavailable,
         1, 1},
        {"GetTasks fails", [] { mem_fail("ITaskFolder_GetTasks", PLAT_E_FAIL); },
         "task: GetTasks '\\': HRESULT 0x80004005", "task: GetTasks '\\': HRESULT 0x80004005", 1, 1},
        {"GetTasks gives nothing", [] { mem_fail("ITaskFolder_GetTasks", 0); },
         "task: GetTasks '\\': HRESULT 0x00000000", "task: GetTasks '\\': HRESULT 0x00000000", 1, 1},
        {"GetTasks answers S_FALSE without a collection", [] { mem_fail("ITaskFolder_GetTasks", PLAT_S_FALSE); },
         "task: GetTasks '\\': HRESULT 0x00000001", "task: GetTasks '\\': HRESULT 0x00000001", 1, 1},
        {"count not implemented", [] { mem_fail("IRegisteredTaskCollection_get_Count", PLAT_E_NOTIMPL); },
         "before", "task: entry no longer exists", 1, 1},
        {"count zero", [] { mem_fail("IRegisteredTaskCollection_get_Count", mem_task_value(0)); }, "before",
         "task: entry no longer exists", 1, 1},
        {"count negative", [] { mem_fail("IRegisteredTaskCollection_get_Count", mem_task_value(-5)); },
         "before", "task: entry no longer exists", 1, 1},
    };
    for (const row &r : rows) {
        for (bool toggle : {false, true}) {
            mem_reset();
            int task = mem_task_add(logon_task(u"T"));
            r.arrange();
            set_last_error("before");
            std::string context = std::string(r.what) + (toggle ? " (toggle)" : " (listing)");
            if (toggle) {
                EXPECT_EQ(quorvel_set_enabled(task_id("\\T").c_str(), 0), 0) << context;
                EXPECT_EQ(mem_task_enabled(task), -1) << context;
            } else {
                EXPECT_EQ(list_text(), "[]") << context;
            }
            EXPECT_EQ(quorvel_last_error(), toggle ? r.toggle_message : r.list_message) << context;
            EXPECT_EQ(mem_calls("CoInitializeEx"), r.co_init) << context;
            EXPECT_EQ(mem_calls("CoUninitialize"), r.co_uninit) << context;
            EXPECT_TASKS_RELEASED(context);
        }
    }
}

// A toggle finds its task in any listed folder, hidden or not; where a
// folder could not be read, its reason stands for a task not found.
TEST_F(TaskFailure, TasksOfEveryFolderSwitch) {
    mem_task_def sub = logon_task(u"Elsewhere");
    sub.folder = u"\\Sub\\Deeper";
    sub.hidden = true;
    int task = mem_task_add(sub);
    mem_task_def own = logon_task(u"Own");
    own.folder = u"\\Microsoft\\Windows\\Defrag";
    int windows = mem_task_add(own);
    EXPECT_EQ(task_rows().size(), 1u);
    EXPECT_EQ(quorvel_set_enabled(task_id("\\Sub\\Deeper\\Elsewhere").c_str(), 0), 1) << quorvel_last_error();
    EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_FALSE);
    EXPECT_EQ(quorvel_set_enabled(task_id("\\Microsoft\\Windows\\Defrag\\Own").c_str(), 0), 0);
    EXPECT_STREQ(quorvel_last_error(), "task: entry no longer exists");
    EXPECT_EQ(mem_task_enabled(windows), PLAT_VARIANT_TRUE);
    mem_fail("ITaskFolder_GetFolders", PLAT_E_FAIL, 2);
    EXPECT_EQ(quorvel_set_enabled(task_id("\\Sub\\Deeper\\Elsewhere").c_str(), 1), 0);
    EXPECT_STREQ(quorvel_last_error(), "task: GetFolders '\\Sub': HRESULT 0x80004005");
    EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_FALSE);
    // Found all the same: a folder that failed elsewhere leaves the record alone.
    mem_fail("ITaskFolder_GetFolders", PLAT_E_FAIL, 3);
    set_last_error("before");
    EXPECT_EQ(quorvel_set_enabled(task_id("\\Sub\\Deeper\\Elsewhere").c_str(), 1), 1);
    EXPECT_STREQ(quorvel_last_error(), "before");
    EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_TRUE);
    EXPECT_TASKS_RELEASED("toggle in folders");
}

// The host's own apartment is used as it is and never undone.
TEST_F(TaskCom, HostApartmentIsLeftInPlace) {
    struct row {
        int model;
        int co_init;  // per operation
    } rows[] = {{PLAT_COINIT_APARTMENTTHREADED, 1}, {PLAT_COINIT_MULTITHREADED, 2}};
    for (const row &r : rows) {
        mem_reset();
        ASSERT_EQ(plat_co_initialize_ex(r.model), PLAT_S_OK);
        int task = mem_task_add(logon_task(u"T"));
        EXPECT_EQ(parse_rows(list_text()).size(), 1u);
        EXPECT_EQ(mem_calls("CoInitializeEx"), 1 + r.co_init);
        EXPECT_EQ(quorvel_set_enabled(task_id("\\T").c_str(), 0), 1);
        EXPECT_EQ(mem_task_enabled(task), PLAT_VARIANT_FALSE);
        EXPECT_EQ(mem_calls("CoInitializeEx"), 1 + 2 * r.co_init);
        // Each operation takes back the one level it added: the host's stays.
        EXPECT_EQ(mem_calls("CoUninitialize"), 2);
        EXPECT_EQ(mem_com_depth(), 1);
        EXPECT_EQ(mem_com_apartment(), r.model);
        EXPECT_EQ(mem_task_live_objects(), 0);
        EXPECT_EQ(mem_task_live_bstrs(), 0);
        mem_reset();  // drops the host's apartment
    }
}

TEST_F(TaskCom, OneInitialisationPerOperationOnAFreshThread) {
    mem_task_add(logon_task(u"A"));
    mem_task_add(logon_task(u"B"));
    std::thread worker([] {
        EXPECT_EQ(parse_rows(list_text()).size(), 2u);
        EXPECT_EQ(quorvel_set_enabled(task_id("\\B").c_str(), 0), 1);
        EXPECT_EQ(quorvel_set_enabled(task_id("\\Gone").c_str(), 0), 0);
        EXPECT_EQ(mem_thread_calls("CoInitializeEx"), 3);
        EXPECT_EQ(mem_thread_calls("CoUninitialize"), 3);
        EXPECT_EQ(mem_com_depth(), 0);
    });
    worker.join();
    EXPECT_EQ(mem_calls("CoInitializeEx"), 3);
}

// The stand-in itself must notice what the leak checks above rely on.
TEST(TaskMachine, NoticesLeaksAndMisuse) {
    mem_reset();
    plat_task_service service = nullptr;
    EXPECT_EQ(plat_co_create_task_service(PLAT_CLSCTX_ALL, &service), PLAT_CO_E_NOTINITIALIZED);
    ASSERT_EQ(plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED), PLAT_S_OK);
    ASSERT_EQ(plat_co_create_task_service(PLAT_CLSCTX_ALL, &service), PLAT_S_OK);
    plat_task_folder folder = nullptr;
    EXPECT_EQ(plat_task_service_get_folder(service, nullptr, &folder), PLAT_E_NOT_CONNECTED);
    EXPECT_EQ(mem_task_live_objects(), 1);
    plat_task_service_release(service);
    EXPECT_EQ(mem_task_live_objects(), 0);
    plat_task_service_release(service);
    EXPECT_EQ(mem_task_bad_releases(), 1);
    plat_variant empty;
    plat_variant_init(&empty);
    EXPECT_EQ(plat_task_service_connect(service, &empty, &empty, &empty, &empty), PLAT_E_POINTER);
    EXPECT_EQ(mem_task_bad_uses(), 1);
    plat_sys_free_string(nullptr);
    plat_sys_free_string((plat_bstr)u"not from the machine");
    EXPECT_EQ(mem_task_bad_releases(), 2);
    mem_reset();
}

TEST(TaskMachine, ConnectWantsEmptyVariantsAndItemWantsI4) {
    mem_reset();
    ASSERT_EQ(plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED), PLAT_S_OK);
    mem_task_add(logon_task(u"T"));
    plat_task_service service = nullptr;
    ASSERT_EQ(plat_co_create_task_service(PLAT_CLSCTX_ALL, &service), PLAT_S_OK);
    plat_variant v;
    plat_variant_init(&v);
    plat_variant named = v;
    named.vt = PLAT_VT_I4;
    EXPECT_EQ(plat_task_service_connect(service, &named, &v, &v, &v), PLAT_E_INVALIDARG);
    ASSERT_EQ(plat_task_service_connect(service, &v, &v, &v, &v), PLAT_S_OK);
    plat_task_folder folder = nullptr;
    ASSERT_EQ(plat_task_service_get_folder(service, nullptr, &folder), PLAT_S_OK);
    plat_task_collection tasks = nullptr;
    ASSERT_EQ(plat_task_folder_get_tasks(folder, 0, &tasks), PLAT_S_OK);
    plat_task task = nullptr;
    EXPECT_EQ(plat_task_collection_get_item(tasks, &v, &task), PLAT_E_INVALIDARG);
    EXPECT_EQ(task, nullptr);
    plat_task_collection_release(tasks);
    plat_task_folder_release(folder);
    plat_task_service_release(service);
    EXPECT_EQ(mem_task_live_objects(), 0);
    mem_reset();
}

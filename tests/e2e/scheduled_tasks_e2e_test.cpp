// The task provider through the DLL on the scripted Task Scheduler that
// the test prefix registers (e2e/servers/): which tasks are listed and how,
// what a toggle sets, every failure and its message, and after every call
// that no object or BSTR is left alive, no object was released after its
// thread left COM, and COM on the calling thread is as it was.
#include <objbase.h>
#include <windows.h>
#include <yyjson.h>

#include <string>
#include <thread>
#include <vector>

#include "e2e/dll.h"
#include "e2e/servers.h"
#include "test_support.h"

namespace {

const char *const run_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char *const probe_name = "QuorvelTaskE2eProbe";

// A current-user Run value that exists for one test.
struct run_value_guard {
    bool made = false;
    run_value_guard() {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, run_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr))
            return;
        const char data[] = "C:\\probe\\probe.exe --tray";
        made = RegSetValueExA(key, probe_name, 0, REG_SZ, (const BYTE *)data, sizeof data) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~run_value_guard() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, run_key, 0, KEY_SET_VALUE, &key)) return;
        RegDeleteValueA(key, probe_name);
        RegCloseKey(key);
    }
};

// (source, name) of every listed entry.
std::vector<std::pair<std::string, std::string>> sources_and_names(const std::string &text) {
    std::vector<std::pair<std::string, std::string>> out;
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    size_t i, n;
    yyjson_val *obj;
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, obj) {
        const char *source = yyjson_get_str(yyjson_obj_get(obj, "source"));
        const char *name = yyjson_get_str(yyjson_obj_get(obj, "name"));
        out.emplace_back(source ? source : "", name ? name : "");
    }
    yyjson_doc_free(doc);
    return out;
}

// True when this thread has no COM: an apartment-threaded initialisation
// is answered S_OK (and undone again).
bool thread_without_com() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == S_OK;
}

}  // namespace

// An empty root folder adds nothing and keeps the other providers' items.
TEST(E2eTasks, ListingKeepsOtherItemsWithoutTaskCount) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    ASSERT_TRUE(the_servers().ok()) << the_servers().failure;
    the_servers().reset();
    run_value_guard probe;
    ASSERT_TRUE(probe.made);
    std::string text;
    bool com_left = false;
    std::thread([&] {
        text = dll.list_text();
        com_left = thread_without_com();
    }).join();
    auto entries = sources_and_names(text);
    bool probe_listed = false, task_listed = false;
    for (const auto &e : entries) {
        probe_listed = probe_listed || (e.first == "runkey" && e.second == probe_name);
        task_listed = task_listed || e.first == "task";
    }
    EXPECT_TRUE(probe_listed) << text;
    EXPECT_FALSE(task_listed) << text;
    EXPECT_TRUE(com_left);
}

TEST(E2eTasks, ToggleAnswersEntryNoLongerExists) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    ASSERT_TRUE(the_servers().ok()) << the_servers().failure;
    the_servers().reset();
    for (int enabled : {0, 1}) {
        int result = -1;
        std::string message;
        bool com_left = false;
        std::thread([&] {
            result = dll.set_enabled("task:0000000000000000", enabled);
            message = dll.last_error();
            com_left = thread_without_com();
        }).join();
        EXPECT_EQ(result, 0) << enabled;
        EXPECT_EQ(message, "task: entry no longer exists") << enabled;
        EXPECT_TRUE(com_left) << enabled;
    }
}

// A host that runs its own apartment keeps it: the library takes back only
// the S_FALSE level it added itself.
TEST(E2eTasks, HostApartmentSurvivesToggle) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    HRESULT after = E_FAIL;
    std::string message;
    std::thread([&] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        dll.set_enabled("task:0000000000000000", 0);
        message = dll.last_error();
        after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(after)) CoUninitialize();
        CoUninitialize();
    }).join();
    EXPECT_EQ(after, S_FALSE);
    EXPECT_EQ(message, "task: entry no longer exists");
}

namespace {

struct listed {
    std::string id, name, command;
    bool enabled;
    std::string location;
};

// The task entries of a listing, in order, and how many entries came first.
std::vector<listed> task_entries(const std::string &text, size_t *first_task = nullptr) {
    std::vector<listed> out;
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    size_t i, n;
    yyjson_val *obj;
    if (first_task) *first_task = yyjson_arr_size(yyjson_doc_get_root(doc));
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, obj) {
        auto text_of = [&](const char *key) {
            const char *s = yyjson_get_str(yyjson_obj_get(obj, key));
            return std::string(s ? s : "<none>");
        };
        if (text_of("source") != "task") {
            EXPECT_TRUE(out.empty()) << "a " << text_of("source") << " entry after the tasks";
            continue;
        }
        if (out.empty() && first_task) *first_task = i;
        out.push_back({text_of("id"), text_of("name"), text_of("command"),
                       yyjson_get_bool(yyjson_obj_get(obj, "enabled")), text_of("location")});
    }
    yyjson_doc_free(doc);
    return out;
}

// "name=command" for each entry, "!" after a disabled one, joined by "|".
std::string render(const std::vector<listed> &entries) {
    std::string out;
    for (const listed &e : entries) out += (out.empty() ? "" : "|") + e.name + "=" + e.command + (e.enabled ? "" : "!");
    return out;
}

const int time_trigger = 1, boot_trigger = 8, logon_trigger = 9;
const int exec_action = 0, com_action = 5;

class E2eTaskServer : public ::testing::Test {
  protected:
    const quorvel_dll &dll = the_dll();
    const test_servers &server = the_servers();

    void SetUp() override {
        ASSERT_TRUE(dll.ok()) << dll.failure;
        ASSERT_TRUE(server.ok()) << server.failure;
        server.reset();
    }
    void TearDown() override {
        if (server.ok()) server.reset();
    }

    int task(const wchar_t *name, const wchar_t *path, short enabled, std::vector<int> triggers,
             const wchar_t *program = L"", const wchar_t *arguments = L"") {
        int t = server.add_task(name, path, enabled);
        for (int type : triggers) server.add_trigger(t, type);
        if (*program || *arguments) server.add_action(t, exec_action, program, arguments);
        return t;
    }

    // Runs `call` on a new thread without COM, as a host's worker would,
    // with a known message in last_error first; returns that message. Then
    // checks what every call must leave: no COM on the thread, no Task
    // Scheduler object, BSTR or shell link alive, no late release.
    template <class Call>
    std::string on_new_thread(Call call, const std::string &context) {
        std::string before;
        bool com_left = false;
        std::thread([&] {
            dll.set_enabled("before", 0);
            before = dll.last_error();
            call();
            com_left = thread_without_com();
        }).join();
        EXPECT_FALSE(before.empty());
        EXPECT_TRUE(com_left) << context;
        expect_nothing_left(context);
        return before;
    }

    void expect_nothing_left(const std::string &context) const {
        server_counts c = server.counts();
        EXPECT_EQ(c.objects, 0) << context << ": Task Scheduler objects alive";
        EXPECT_EQ(c.bstrs, 0) << context << ": BSTRs not freed";
        EXPECT_EQ(c.links, 0) << context << ": shell links alive";
        EXPECT_EQ(c.late_releases, 0) << context << ": released after leaving COM";
    }
};

}  // namespace

TEST_F(E2eTaskServer, ListsLogonTasksAfterTheOtherItems) {
    run_value_guard probe;
    ASSERT_TRUE(probe.made);
    task(L"Sync", L"\\Sync", VARIANT_TRUE, {time_trigger, logon_trigger}, L"C:\\Program Files\\Sync\\sync.exe",
         L"--tray \"a b\"");
    task(L"Boot", L"\\Boot", VARIANT_TRUE, {boot_trigger}, L"C:\\boot.exe");
    task(L"Bare", L"\\Bare", VARIANT_TRUE, {});
    int handler = task(L"Handler", L"\\Handler", VARIANT_FALSE, {logon_trigger});
    server.add_action(handler, com_action, L"", L"");
    int order = task(L"Order", L"\\Order", 1, {logon_trigger}, L"", L"-x");  // 1 is not VARIANT_TRUE
    server.add_action(order, exec_action, L"C:\\b.exe", L"");
    task(L"Caf\u00e9 \u2603", L"\\Caf\u00e9 \u2603", VARIANT_TRUE, {logon_trigger}, L"C:\\c.exe");

    std::string text;
    on_new_thread([&] { text = dll.list_text(); }, "listing");
    size_t first_task = 0;
    std::vector<listed> got = task_entries(text, &first_task);
    struct {
        const char *id, *name, *command;
        bool enabled;
    } want[] = {
        {"task:7955844c5c93f22c", "Sync", "C:\\Program Files\\Sync\\sync.exe --tray \"a b\"", true},
        {"task:8af97845048c8c4d", "Handler", "", false},
        {"task:c311ce1fa71715dd", "Order", "C:\\b.exe", false},
        {"task:8b22c77af2a4fe84", "Caf\xc3\xa9 \xe2\x98\x83", "C:\\c.exe", true},
    };
    ASSERT_EQ(got.size(), 4u) << text;
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(got[i].id, want[i].id) << i;
        EXPECT_EQ(got[i].name, want[i].name) << i;
        EXPECT_EQ(got[i].command, want[i].command) << i;
        EXPECT_EQ(got[i].enabled, want[i].enabled) << i;
    }
    size_t probe_at = text.find(probe_name), tasks_at = text.find("\"source\":\"task\"");
    EXPECT_LT(probe_at, tasks_at) << text;
    EXPECT_GT(first_task, 0u);
    // One definition per task: on Windows each is a round trip to the service.
    EXPECT_EQ(server.calls("IRegisteredTask::get_Definition"), 6);
    EXPECT_EQ(server.calls("IRegisteredTask::put_Enabled"), 0);
}

TEST_F(E2eTaskServer, ToggleSetsTheFlagOfTheFirstMatch) {
    int sync = task(L"Sync", L"\\Sync", VARIANT_TRUE, {logon_trigger}, L"C:\\s.exe");
    int twin = task(L"SYNC", L"\\SYNC", VARIANT_TRUE, {logon_trigger}, L"C:\\s.exe");  // the same identifier
    int boot = task(L"Boot", L"\\Boot", VARIANT_FALSE, {boot_trigger}, L"C:\\b.exe");   // never listed
    int odd = task(L"Odd", L"\\Odd", 1, {logon_trigger}, L"C:\\o.exe");
    struct {
        const char *id;
        int enabled;
        short sync, twin, boot, odd;  // the flags afterwards
        int puts;                     // put_Enabled calls made
    } rows[] = {
        {"task:7955844c5c93f22c", 0, VARIANT_FALSE, VARIANT_TRUE, VARIANT_FALSE, 1, 1},
        {"task:7955844c5c93f22c", 0, VARIANT_FALSE, VARIANT_TRUE, VARIANT_FALSE, 1, 0},  // already off
        {"task:7955844c5c93f22c", 1, VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE, 1, 1},
        {"task:d03d25dba0984a47", 1, VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE, 1, 1},
        {"task:cf89f83d9d208364", 1, VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE, 1},  // 1 reads as off
    };
    for (const auto &r : rows) {
        std::string context = std::string(r.id) + " -> " + std::to_string(r.enabled);
        int puts = server.calls("IRegisteredTask::put_Enabled"), result = -1;
        std::string message;
        std::string before = on_new_thread(
            [&] {
                result = dll.set_enabled(r.id, r.enabled);
                message = dll.last_error();
            },
            context);
        EXPECT_EQ(result, 1) << context << ": " << message;
        EXPECT_EQ(message, before) << context;
        EXPECT_EQ(server.enabled(sync), r.sync) << context;
        EXPECT_EQ(server.enabled(twin), r.twin) << context;
        EXPECT_EQ(server.enabled(boot), r.boot) << context;
        EXPECT_EQ(server.enabled(odd), r.odd) << context;
        EXPECT_EQ(server.calls("IRegisteredTask::put_Enabled") - puts, r.puts) << context;
    }
    // The listing agrees.
    std::string text;
    on_new_thread([&] { text = dll.list_text(); }, "listing");
    EXPECT_EQ(render(task_entries(text)), "Sync=C:\\s.exe|SYNC=C:\\s.exe|Odd=C:\\o.exe");
}

namespace {

const char *const unavailable = " - Task Scheduler unavailable on this host";
const char *const gone = "task: entry no longer exists";

// Two tasks; the faults hit the first, "One", whose first trigger is a boot
// trigger and whose first action a COM handler, so that the logon trigger
// and the exec actions are the second and later items.
void one_and_two(const test_servers &server) {
    int one = server.add_task(L"One", L"\\One", VARIANT_TRUE);
    server.add_trigger(one, boot_trigger);
    server.add_trigger(one, logon_trigger);
    server.add_action(one, com_action, L"", L"");
    server.add_action(one, exec_action, L"C:\\one.exe", L"-a");
    server.add_action(one, exec_action, L"C:\\spare.exe", L"");
    int two = server.add_task(L"Two", L"\\Two", VARIANT_TRUE);
    server.add_trigger(two, logon_trigger);
    server.add_action(two, exec_action, L"C:\\two.exe", L"");
}

}  // namespace

TEST_F(E2eTaskServer, ListingFailureRows) {
    const std::string both = "One=C:\\one.exe -a|Two=C:\\two.exe", two = "Two=C:\\two.exe";
    struct {
        const char *call;
        int item;
        LONG hr;
        std::string message;  // "" when last_error keeps its text
        std::string listed;
    } rows[] = {
        {"IClassFactory::CreateInstance", 0, E_ACCESSDENIED,
         "task: CoCreateInstance(TaskScheduler): HRESULT 0x80070005", ""},
        {"IClassFactory::CreateInstance", 0, S_OK, "", ""},
        {"ITaskService::Connect", 0, (LONG)0x80041315, "task: ITaskService_Connect: HRESULT 0x80041315", ""},
        {"ITaskService::GetFolder", 0, (LONG)0x800704e3, std::string("task: enumerate failed (0x800704e3)") + unavailable, ""},
        {"ITaskService::GetFolder", 0, S_FALSE, std::string("task: enumerate failed (0x00000001)") + unavailable, ""},
        {"ITaskFolder::GetTasks", 0, E_FAIL, "task: GetTasks '\\': HRESULT 0x80004005", ""},
        {"ITaskFolder::GetTasks", 0, S_OK, "task: GetTasks '\\': HRESULT 0x00000000", ""},
        {"ITaskFolder::GetFolders", 0, E_FAIL, "task: GetFolders '\\': HRESULT 0x80004005", both},
        {"ITaskFolderCollection::get_Count", 0, E_NOTIMPL, "", both},
        {"IRegisteredTaskCollection::get_Count", 0, E_NOTIMPL, "", ""},
        {"IRegisteredTaskCollection::get_Item", 0, E_FAIL, "", two},
        {"IRegisteredTaskCollection::get_Item", 0, S_OK, "", two},
        {"IRegisteredTask::get_Definition", 0, E_FAIL, "", two},
        {"IRegisteredTask::get_Definition", 0, S_OK, "", two},
        {"ITaskDefinition::get_Triggers", 0, E_NOTIMPL, "", two},
        {"ITaskDefinition::get_Triggers", 0, S_OK, "", two},
        {"ITriggerCollection::get_Count", 0, E_NOTIMPL, "", two},
        {"ITriggerCollection::get_Item", 2, E_FAIL, "", two},
        {"ITriggerCollection::get_Item", 2, S_OK, "", two},
        {"ITrigger::get_Type", 2, E_FAIL, "", two},
        {"ITriggerCollection::get_Item", 1, E_FAIL, "", both},  // only the boot trigger lost
        {"ITaskDefinition::get_Actions", 0, E_NOTIMPL, "", "One=|" + two},
        {"ITaskDefinition::get_Actions", 0, S_OK, "", "One=|" + two},
        {"IActionCollection::get_Count", 0, E_NOTIMPL, "", "One=|" + two},
        {"IActionCollection::get_Item", 2, E_FAIL, "", "One=C:\\spare.exe|" + two},
        {"IActionCollection::get_Item", 2, S_OK, "", "One=C:\\spare.exe|" + two},
        {"IAction::get_Type", 2, E_FAIL, "", "One=C:\\spare.exe|" + two},
        {"IAction::QueryInterface", 2, E_NOINTERFACE, "", "One=C:\\spare.exe|" + two},
        {"IAction::QueryInterface", 2, S_OK, "", "One=C:\\spare.exe|" + two},
        {"IExecAction::get_Path", 2, S_OK, "", "One=C:\\spare.exe|" + two},  // a null BSTR
        {"IExecAction::get_Arguments", 2, S_OK, "", "One=C:\\one.exe|" + two},
        {"IRegisteredTask::get_Name", 0, S_OK, "", "=C:\\one.exe -a|" + two},
        {"IRegisteredTask::get_Enabled", 0, E_FAIL, "", "One=C:\\one.exe -a!|" + two},
        {"IRegisteredTask::get_Path", 0, S_OK, "", both},
    };
    for (const auto &r : rows) {
        server.reset();
        one_and_two(server);
        server.fault(r.call, 1, r.item, r.hr);
        std::string context = std::string(r.call) + " #" + std::to_string(r.item) + " " + std::to_string(r.hr);
        std::string text, message;
        std::string before = on_new_thread(
            [&] {
                text = dll.list_text();
                message = dll.last_error();
            },
            context);
        std::vector<listed> got = task_entries(text);
        EXPECT_EQ(render(got), r.listed) << context;
        EXPECT_EQ(message, r.message.empty() ? before : r.message) << context;
        bool no_path = std::string(r.call) == "IRegisteredTask::get_Path";  // hashed as ""
        for (const listed &e : got)
            EXPECT_EQ(e.id, e.name == "Two" ? "task:a408463d846e6403"
                            : no_path       ? "task:cbf29ce484222325"
                                            : "task:cf760d3d9d0ffe09")
                << context;
        EXPECT_EQ(server.enabled(1), VARIANT_TRUE) << context;  // a listing never writes
    }
}

TEST_F(E2eTaskServer, ToggleFailureRows) {
    struct {
        const char *call;  // null: no fault, and a key no task has
        LONG hr;
        int result;
        std::string message;  // "" when last_error keeps its text
        short one;            // the first task's flag afterwards
    } rows[] = {
        {"IClassFactory::CreateInstance", E_ACCESSDENIED, 0, "task: CoCreateInstance(TaskScheduler): HRESULT 0x80070005",
         VARIANT_TRUE},
        {"IClassFactory::CreateInstance", S_OK, 0, "task: CoCreateInstance(TaskScheduler) gave no object", VARIANT_TRUE},
        {"ITaskService::Connect", (LONG)0x80041315, 0, "task: ITaskService_Connect: HRESULT 0x80041315", VARIANT_TRUE},
        {"ITaskService::GetFolder", (LONG)0x800704e3, 0, std::string("task: enumerate failed (0x800704e3)") + unavailable,
         VARIANT_TRUE},
        {"ITaskService::GetFolder", S_OK, 0, std::string("task: enumerate failed (0x00000000)") + unavailable,
         VARIANT_TRUE},
        {"ITaskFolder::GetTasks", E_FAIL, 0, "task: GetTasks '\\': HRESULT 0x80004005", VARIANT_TRUE},
        {"ITaskFolder::GetTasks", S_OK, 0, "task: GetTasks '\\': HRESULT 0x00000000", VARIANT_TRUE},
        {"ITaskFolder::GetFolders", E_FAIL, 1, "", VARIANT_FALSE},  // found in the root before
        {"IRegisteredTaskCollection::get_Count", E_NOTIMPL, 0, gone, VARIANT_TRUE},
        {"IRegisteredTaskCollection::get_Item", E_FAIL, 0, gone, VARIANT_TRUE},
        {"IRegisteredTaskCollection::get_Item", S_OK, 0, gone, VARIANT_TRUE},
        {"IRegisteredTask::get_Path", S_OK, 0, gone, VARIANT_TRUE},
        {nullptr, S_OK, 0, gone, VARIANT_TRUE},
        {"IRegisteredTask::put_Enabled", E_ACCESSDENIED, 0, "task: set enabled access denied (needs admin)", VARIANT_TRUE},
        {"IRegisteredTask::put_Enabled", E_FAIL, 0, "task: put_Enabled failed: HRESULT 0x80004005", VARIANT_TRUE},
        {"IRegisteredTask::get_Enabled", E_FAIL, 1, "", VARIANT_FALSE},  // set either way
        {"IRegisteredTask::get_Definition", E_FAIL, 1, "", VARIANT_FALSE},  // triggers not looked at
    };
    for (const auto &r : rows) {
        server.reset();
        one_and_two(server);
        if (r.call) server.fault(r.call, 1, 0, r.hr);
        std::string context = std::string(r.call ? r.call : "no such task") + " " + std::to_string(r.hr);
        const char *id = r.call ? "task:cf760d3d9d0ffe09" : "task:fe8834f3ad741008";
        int result = -1;
        std::string message;
        std::string before = on_new_thread(
            [&] {
                result = dll.set_enabled(id, 0);
                message = dll.last_error();
            },
            context);
        EXPECT_EQ(result, r.result) << context;
        EXPECT_EQ(message, r.message.empty() ? before : r.message) << context;
        EXPECT_EQ(server.enabled(1), r.one) << context;
        EXPECT_EQ(server.enabled(2), VARIANT_TRUE) << context;
    }
}

// A host's own apartment, either model, is kept through a listing and a
// toggle, and gets the objects directly.
TEST_F(E2eTaskServer, HostApartmentsKeepTheirCom) {
    for (DWORD model : {(DWORD)COINIT_APARTMENTTHREADED, (DWORD)COINIT_MULTITHREADED}) {
        server.reset();
        one_and_two(server);
        std::string text;
        int result = -1;
        HRESULT again = E_FAIL;
        std::thread([&] {
            ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
            text = dll.list_text();
            result = dll.set_enabled("task:a408463d846e6403", 0);
            again = CoInitializeEx(nullptr, model);
            if (SUCCEEDED(again)) CoUninitialize();
            CoUninitialize();
        }).join();
        std::string context = model == COINIT_MULTITHREADED ? "multithreaded" : "single-threaded";
        EXPECT_EQ(render(task_entries(text)), "One=C:\\one.exe -a|Two=C:\\two.exe") << context;
        EXPECT_EQ(result, 1) << context;
        EXPECT_EQ(server.enabled(2), VARIANT_FALSE) << context;
        EXPECT_EQ(again, S_FALSE) << context;
        expect_nothing_left(context);
    }
}

// Every folder depth first, hidden tasks too, but nothing at or below
// \Microsoft\Windows: listed, switched both ways, and not found there.
TEST_F(E2eTaskServer, FoldersHiddenTasksAndWindowsOwn) {
    int vendor = server.add_folder(1, L"\\Vendor");
    int updater = server.add_folder(vendor, L"\\Vendor\\Updater");
    int microsoft = server.add_folder(1, L"\\Microsoft");
    int windows = server.add_folder(microsoft, L"\\Microsoft\\Windows");
    int defrag = server.add_folder(windows, L"\\Microsoft\\Windows\\Defrag");
    ASSERT_TRUE(vendor && updater && microsoft && windows && defrag);
    int secret = task(L"Secret", L"\\Vendor\\Updater\\Secret", VARIANT_TRUE, {logon_trigger}, L"C:\\s.exe");
    server.place_task(secret, updater, 1);
    int sys = task(L"Sys", L"\\Microsoft\\Windows\\Defrag\\Sys", VARIANT_TRUE, {logon_trigger}, L"C:\\y.exe");
    server.place_task(sys, defrag, 0);
    int own = task(L"Own", L"\\Microsoft\\Windows\\Own", VARIANT_TRUE, {logon_trigger}, L"C:\\w.exe");
    server.place_task(own, windows, 0);
    int agent = task(L"Agent", L"\\Vendor\\Agent", VARIANT_TRUE, {logon_trigger}, L"C:\\a.exe");
    server.place_task(agent, vendor, 0);
    task(L"Top", L"\\Top", VARIANT_TRUE, {logon_trigger}, L"C:\\t.exe");

    std::string text;
    on_new_thread([&] { text = dll.list_text(); }, "listing");
    std::vector<listed> got = task_entries(text);
    EXPECT_EQ(render(got), "Top=C:\\t.exe|Agent=C:\\a.exe|Secret=C:\\s.exe") << text;
    const char *ids[] = {"task:a423333d84850b72", "task:992abf05aa2f7a24", "task:cac97a3ca18235a4"};
    const char *locations[] = {"\\", "\\Vendor", "\\Vendor\\Updater"};
    ASSERT_EQ(got.size(), 3u);
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(got[i].id, ids[i]) << i;
        EXPECT_EQ(got[i].location, locations[i]) << i;
    }
    EXPECT_EQ(server.calls("ITaskFolder::GetTasks"), 4);  // \, \Vendor, \Vendor\Updater, \Microsoft

    for (int enabled : {0, 1}) {
        int result = -1;
        std::string message;
        on_new_thread([&] { result = dll.set_enabled("task:cac97a3ca18235a4", enabled); }, "hidden task");
        EXPECT_EQ(result, 1) << enabled;
        EXPECT_EQ(server.enabled(secret), enabled ? VARIANT_TRUE : VARIANT_FALSE);
    }
    for (const char *id : {"task:ac27d493bdd29a0a", "task:b60e9105f8895230"}) {
        int result = -1;
        std::string message;
        on_new_thread(
            [&] {
                result = dll.set_enabled(id, 0);
                message = dll.last_error();
            },
            id);
        EXPECT_EQ(result, 0) << id;
        EXPECT_EQ(message, gone) << id;
    }
    EXPECT_EQ(server.enabled(sys), VARIANT_TRUE);
    EXPECT_EQ(server.enabled(own), VARIANT_TRUE);
}

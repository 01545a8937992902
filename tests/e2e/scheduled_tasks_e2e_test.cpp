// The task provider through the DLL on the real Task Scheduler. Under Wine
// the service connects and hands out the root folder's collection, but the
// collection's count is not implemented: the listing gets no task entries
// and keeps the other providers' items, and a toggle answers that the
// entry no longer exists. COM is left as found either way.
#include <objbase.h>
#include <windows.h>
#include <yyjson.h>

#include <string>
#include <thread>
#include <vector>

#include "e2e/dll.h"
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

TEST(E2eTasks, ListingKeepsOtherItemsWithoutTaskCount) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
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
    // Wine cannot count a folder's tasks; Windows may well list some.
    if (on_wine()) {
        EXPECT_FALSE(task_listed) << text;
    }
    EXPECT_TRUE(com_left);
}

TEST(E2eTasks, ToggleAnswersEntryNoLongerExists) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
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

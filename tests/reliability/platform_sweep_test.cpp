// The platform sweep: the same listing and toggles as the allocation
// sweep, with each platform call that the fault-free call makes failing in
// turn (the kth call of that operation, once), with every block the call
// allocates tracked. Calls that only release something are left alone:
// their results are not examined.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "machine_items.h"
#include "platform/mem/mem_com.h"
#include "platform/mem/mem_files.h"
#include "reliability_support.h"

namespace {

bool releases(const std::string &op) {
    static const char *const ops[] = {"CoTaskMemFree", "CoUninitialize", "FindClose", "CloseHandle", "RegCloseKey",
                                      "SysFreeString", "VariantInit", "GetSystemTimeAsFileTime"};
    for (const char *o : ops)
        if (op == o) return true;
    return op.find("Release") != std::string::npos;
}

// A failure answer the operation can give: a Win32 error for the registry
// and file calls, an HRESULT for COM, shell and Task Scheduler calls.
int64_t failure_code(const std::string &op) {
    bool win32 = op.compare(0, 3, "Reg") == 0 || op.find("File") != std::string::npos ||
                 op.find("Directory") != std::string::npos || op == "GetLastError" ||
                 op == "MultiByteToWideChar" || op == "WideCharToMultiByte";
    if (op.compare(0, 2, "SH") == 0 || op.compare(0, 1, "I") == 0) win32 = false;
    return win32 ? 1117 /* ERROR_IO_DEVICE */ : (int64_t)(int32_t)0x8000FFFF /* E_UNEXPECTED */;
}

// Each (operation, kth call) that `call` makes on the fault-free machine.
template <typename Call>
std::vector<std::pair<std::string, int>> calls_made(Call call) {
    size_t from = mem_call_log().size();
    call();
    std::vector<std::string> log = mem_call_log();
    std::vector<std::pair<std::string, int>> made;
    for (size_t i = from; i < log.size(); i++) {
        if (releases(log[i])) continue;
        int k = 1;
        for (size_t j = from; j < i; j++) k += log[j] == log[i];
        made.emplace_back(log[i], k);
    }
    return made;
}

bool own_message(const std::string &m) {
    static const char *const prefixes[] = {"runkey: ", "startup: ", "task: ", "package: ", "com: ", "OOM"};
    for (const char *p : prefixes)
        if (m.compare(0, strlen(p), p) == 0) return true;
    return false;
}

// Where the library's rules mean a platform failure is not reported as
// one: a task toggle whose task list cannot be had returns 0 and records
// nothing, and a task whose enabled flag cannot be read counts as
// disabled, so switching it off "succeeds" without a call.
struct known_exception {
    const char *what, *op;
    bool success;  // 1 without the effect, or else 0 without a message
};
const known_exception known_exceptions[] = {
    {"task off", "ITaskFolder_GetTasks", false},
    {"task on", "ITaskFolder_GetTasks", false},
    {"task off", "IRegisteredTask_get_Enabled", true},
};

bool known(const char *what, const std::string &op, bool success) {
    for (const known_exception &k : known_exceptions)
        if (!strcmp(k.what, what) && op == k.op && k.success == success) return true;
    return false;
}

struct platform_totals {
    long faults = 0;
    ~platform_totals() {
        if (faults) printf("platform sweep: %ld platform calls failed one at a time\n", faults);
    }
} totals;

class SweepPlatform : public HookedTest {
  protected:
    void SetUp() override {
        HookedTest::SetUp();
        add_items("");
    }
    void fresh(bool linked = false) {
        mem_reset();
        add_items("");
        if (linked) link_user_disabled();
    }
    void expect_clean(const std::string &where) {
        EXPECT_EQ(platform_objects_held(), 0) << where << ": platform objects left open";
        EXPECT_EQ(mem_com_depth(), 0) << where << ": COM left initialised";
    }
};

// The calls that only read an item's details, which never cost an item.
bool reads_details(const std::string &op) {
    static const char *const ops[] = {"ExpandEnvironmentStringsW", "GetEnvironmentVariableW", "GetSystemDirectoryW",
                                      "GetWindowsDirectoryW",      "IsWow64Process",          "GetFileVersionInfoSizeW",
                                      "GetFileVersionInfoW",       "VerQueryValueW"};
    for (const char *o : ops)
        if (op == o) return true;
    return false;
}

TEST_F(SweepPlatform, FullListing) {
    machine_state before = capture_state();
    size_t listed_items = 0;
    auto made = calls_made([&] { listed_items = list_now().size(); });
    ASSERT_GT(made.size(), 20u);
    for (const auto &c : made) {
        fresh();
        std::string where = "listing, " + c.first + " call " + std::to_string(c.second);
        mem_fail(c.first.c_str(), failure_code(c.first), c.second);
        alloc_hook::count();  // to see every block given back
        char *text = quorvel_list();
        alloc_hook::disarm();
        totals.faults++;
        std::vector<listed> items;
        EXPECT_TRUE(parse_listing(text, &items)) << where << ": " << (text ? text : "<null>");
        if (reads_details(c.first)) EXPECT_EQ(items.size(), listed_items) << where << ": details cost an item";
        quorvel_free_string(text);
        expect_clean(where);
        EXPECT_EQ(alloc_hook::live(), 0) << where << ": blocks leaked";
        EXPECT_EQ(capture_state(), before) << where << ": a listing changed the machine";
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
    {"shortcut off", "startup", &item_names::link_on, 0},
    {"shortcut on", "startup", &item_names::link_off, 1},
    {"all-users shortcut off", "startup", &item_names::link_common, 0},
    {"file off", "startup", &item_names::file_on, 0},
    {"all-users file on", "startup", &item_names::file_off, 1},
    {"shortcut off, subfolder a link", "startup", &item_names::link_on, 0, true},
    {"file off, subfolder a link", "startup", &item_names::file_on, 0, true},
    {"shortcut already on, subfolder a link", "startup", &item_names::link_on, 1, true},
    {"task off", "task", &item_names::task_on, 0},
    {"task on", "task", &item_names::task_off, 1},
    {"vendor-folder task off", "task", &item_names::task_vendor, 0},
    {"hidden task on", "task", &item_names::task_hidden, 1},
    {"packaged app's task off", "package", &item_names::package_on, 0},
    {"packaged app's task on", "package", &item_names::package_off, 1},
};

TEST_F(SweepPlatform, EachKindOfToggle) {
    const item_names names = names_of("");
    std::vector<std::string> successes_without_effect;
    for (const toggle_case &c : toggle_cases) {
        fresh(c.linked);
        std::string id = id_of(list_now(), c.source, names.*c.item);
        ASSERT_FALSE(id.empty()) << c.what;
        machine_state before = capture_state();
        int ref_result = 0;
        auto made = calls_made([&] { ref_result = quorvel_set_enabled(id.c_str(), c.enabled); });
        ASSERT_EQ(ref_result, c.linked ? 0 : 1) << c.what;
        machine_state ref_after = capture_state();
        for (const auto &call : made) {
            fresh(c.linked);
            std::string where = std::string(c.what) + ", " + call.first + " call " + std::to_string(call.second);
            const char *planted = plant_message();
            mem_fail(call.first.c_str(), failure_code(call.first), call.second);
            alloc_hook::count();
            int result = quorvel_set_enabled(id.c_str(), c.enabled);
            alloc_hook::disarm();
            std::string message = last_error();
            totals.faults++;
            expect_clean(where);
            EXPECT_EQ(alloc_hook::live(), 0) << where << ": blocks leaked";
            machine_state after = capture_state();
            EXPECT_EQ(identities(after), identities(before))
                << where << ": an item was lost\nbefore:\n" << describe(before) << "after:\n" << describe(after);
            EXPECT_EQ(mem_files_names("C:\\Victim"), std::vector<std::string>(c.linked, "Prot.lnk")) << where;
            if (result == 1) {
                EXPECT_FALSE(c.linked) << where << ": switched through a link";
                if (!(after == ref_after)) {
                    EXPECT_TRUE(known(c.what, call.first, true)) << where << ": success without the switch";
                    successes_without_effect.push_back(where);
                }
                continue;
            }
            EXPECT_EQ(result, 0) << where;
            EXPECT_EQ(after, before) << where << " (" << message << "): a failed toggle changed the machine\n"
                                     << describe(after);
            if (message == planted) {
                EXPECT_TRUE(known(c.what, call.first, false)) << where << ": failure without a message";
                continue;
            }
            EXPECT_TRUE(own_message(message)) << where << ": " << message;
        }
    }
    for (const std::string &w : successes_without_effect) printf("platform sweep: 1 without effect: %s\n", w.c_str());
}

}  // namespace

// Eight threads at once, each listing and switching its own items of every
// kind off and on, with its own last_error checked after every call and
// its COM calls balanced. Some threads enter COM themselves first, as a
// host may, in either model: the library must leave that as it found it.
// Run under ThreadSanitizer by the tsan preset.
//
// The registry enumerates by index, so a value that another thread renames
// meanwhile can shift a value past a listing or a toggle's search, as on
// Windows: an item missed that way is looked for again (and counted), never
// taken as a failure.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "machine_items.h"
#include "platform/mem/mem_com.h"
#include "platform/platform_com.h"
#include "reliability_support.h"

namespace {

const int thread_count = 8;
const int rounds = 6;
const int max_attempts = 200;

struct switchable {
    const char *source;
    std::string item_names::*item;
    bool enabled_at_start;
};

const switchable switchables[] = {
    {"runkey", &item_names::run_on, true},      {"runkey", &item_names::run_off, false},
    {"runkey", &item_names::run_machine, true}, {"startup", &item_names::link_on, true},
    {"startup", &item_names::link_off, false},  {"startup", &item_names::link_common, true},
    {"task", &item_names::task_on, true},       {"task", &item_names::task_off, false},
    {"startup", &item_names::file_on, true},    {"startup", &item_names::file_off, false},
    {"task", &item_names::task_vendor, true},   {"task", &item_names::task_hidden, false},
    {"package", &item_names::package_on, true}, {"package", &item_names::package_off, false},
};

// The display name of an item in a given state: run values carry the
// switched-off mark in their name, shortcuts and tasks keep theirs.
std::string shown_name(const switchable &s, const item_names &n, bool on) {
    std::string base = n.*s.item;
    if (std::string(s.source) != "runkey") return base;
    if (!s.enabled_at_start) base.resize(base.size() - 8);  // "...disabled"
    return on ? base : base + "disabled";
}

struct thread_report {
    std::vector<std::string> failures;
    std::atomic<int> retries{0};
    int calls = 0;
    int host_model = -1;  // the COM model the thread entered itself, or -1
};

// Thread t's own COM: none, a single-threaded or a multithreaded apartment.
int host_model_of(int t) {
    return t % 4 == 1 ? PLAT_COINIT_APARTMENTTHREADED : t % 4 == 2 ? PLAT_COINIT_MULTITHREADED : -1;
}

void fail(thread_report *r, const std::string &what) {
    if (r->failures.size() < 20) r->failures.push_back(what);
}

// The calling thread's record must hold `expected` and nothing from others.
void check_message(thread_report *r, const std::string &expected, const std::string &after) {
    if (last_error() != expected) fail(r, "after " + after + ": last_error '" + last_error() + "', not '" + expected + "'");
    // The host's own level stays, in its model, and nothing of the
    // library's is left on top of it (nor anything at all where the host
    // entered no COM).
    int depth = r->host_model >= 0 ? 1 : 0;
    if (mem_com_depth() != depth || mem_com_apartment() != r->host_model)
        fail(r, "after " + after + ": COM " + std::to_string(mem_com_depth()) + " levels deep, not as the thread had it");
}

// Finds the item in the state it should be in, listing again while a
// concurrent rename hides it.
std::string find_item(thread_report *r, const switchable &s, const item_names &n, bool on, const std::string &mine) {
    for (int attempt = 0; attempt < max_attempts; attempt++) {
        std::vector<listed> items = list_now();
        r->calls++;
        check_message(r, mine, "a listing");
        for (const listed &e : items)
            if (e.source == s.source && e.name == shown_name(s, n, on) && e.enabled == on) return e.id;
        r->retries++;
    }
    fail(r, "never listed: " + shown_name(s, n, on));
    return "";
}

void run_thread(int t, thread_report *r) {
    const std::string owner = "t" + std::to_string(t);
    const item_names n = names_of(owner);
    if (last_error() != "") fail(r, "a new thread's record is not empty");
    r->host_model = host_model_of(t);
    if (r->host_model >= 0 && plat_co_initialize_ex(r->host_model) != PLAT_S_OK) fail(r, "host COM init");
    // This thread's own message: every later check expects it, so a message
    // recorded on another thread would show.
    const std::string bogus = owner + "-no-such-source";
    const std::string mine = "unknown entry source in id '" + bogus + "'";
    quorvel_set_enabled(bogus.c_str(), 1);
    check_message(r, mine, "the planted failure");

    for (int round = 0; round < rounds; round++) {
        for (const switchable &s : switchables) {
            bool on = round % 2 == 0 ? s.enabled_at_start : !s.enabled_at_start;
            int ok = 0;
            for (int attempt = 0; attempt < max_attempts && !ok; attempt++) {
                std::string id = find_item(r, s, n, on, mine);
                if (id.empty()) return;
                ok = quorvel_set_enabled(id.c_str(), on ? 0 : 1);
                r->calls++;
                if (ok) {
                    check_message(r, mine, "switching " + shown_name(s, n, on));
                    break;
                }
                std::string message = last_error();
                if (message.find("entry no longer exists") == std::string::npos) {
                    fail(r, "switching " + shown_name(s, n, on) + ": " + message);
                    return;
                }
                r->retries++;
                // Put this thread's own message back for the next checks.
                quorvel_set_enabled(bogus.c_str(), 1);
            }
            if (!ok) fail(r, "could not switch " + shown_name(s, n, on));
        }
        quorvel_set_enabled(nullptr, 0);
        check_message(r, "null id", "a null id");
        quorvel_set_enabled(bogus.c_str(), 1);
        check_message(r, mine, "the planted failure");
    }
    int inits = mem_thread_calls("CoInitializeEx"), uninits = mem_thread_calls("CoUninitialize");
    if (r->host_model < 0 && inits != uninits)
        fail(r, "CoInitializeEx " + std::to_string(inits) + " times, CoUninitialize " + std::to_string(uninits));
    if (inits < 2) fail(r, "the library never entered COM");
    if (r->host_model >= 0) plat_co_uninitialize();
}

class ThreadsTest : public HookedTest {};

TEST_F(ThreadsTest, EightThreadsListAndSwitchTheirOwnItems) {
    add_anchor_shortcuts();
    for (int t = 0; t < thread_count; t++) add_items("t" + std::to_string(t));
    machine_state before = capture_state();

    std::vector<thread_report> reports(thread_count);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; t++) threads.emplace_back(run_thread, t, &reports[t]);
    for (std::thread &th : threads) th.join();

    int retries = 0, calls = 0;
    for (int t = 0; t < thread_count; t++) {
        for (const std::string &f : reports[t].failures) ADD_FAILURE() << "thread " << t << ": " << f;
        retries += reports[t].retries;
        calls += reports[t].calls;
    }
    printf("threads: %d threads, %d calls, %d looked for again after a concurrent rename\n", thread_count, calls,
           retries);
    // An even number of rounds brings every item back to where it started.
    static_assert(rounds % 2 == 0, "items end where they began");
    machine_state after = capture_state();
    EXPECT_EQ(identities(after), identities(before));
    EXPECT_EQ(after.values, before.values);
    EXPECT_EQ(after.files, before.files);
    EXPECT_EQ(after.tasks, before.tasks);
    EXPECT_EQ(platform_objects_held(), 0);
}

}  // namespace

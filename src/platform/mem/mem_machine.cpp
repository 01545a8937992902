#include "mem_machine.h"

#include <atomic>
#include <map>
#include <mutex>
#include <cstring>
#include <memory>

namespace {

struct fault {
    std::string op;
    int64_t code;
    int skip;   // calls to let through before failing
    int times;  // failing calls left; -1 = unlimited
};

struct hook {
    std::string op;
    int skip;  // calls to let through first
    std::function<void()> run;
};

struct machine {
    std::mutex lock;
    std::vector<fault> faults;
    std::vector<hook> hooks;
    // std::less<> looks names up without building a std::string per call.
    std::map<std::string, int, std::less<>> calls;
    // Each thread's counts, owned here and found through a plain
    // thread_local pointer: 32-bit mingw frees a thread's storage before
    // it runs thread_local destructors, so a thread_local map crashes
    // every thread at its exit.
    std::vector<std::unique_ptr<std::map<std::string, int, std::less<>>>> thread_calls;
    std::vector<std::string> log;
    std::vector<void (*)()> resets;
    int changes = 0;     // state-changing calls so far
    int cut_after = -1;  // refuse every change after this many; -1: never
};

// The calls that change what the machine holds (key creation counted too,
// even when the key is there already).
bool changes_state(const char *op) {
    static const char *const ops[] = {"RegSetValueExW",   "RegDeleteValueW",  "RegCreateKeyExA",           "MoveFileW",
                                      "CreateDirectoryW", "RemoveDirectoryW", "SetFileInformationByHandle"};
    for (const char *o : ops)
        if (strcmp(o, op) == 0) return true;
    return false;
}

machine &the_machine() {
    static machine m;
    return m;
}

thread_local std::map<std::string, int, std::less<>> *thread_calls = nullptr;

// This thread's counts; the caller holds the machine's lock.
std::map<std::string, int, std::less<>> &own_calls(machine &m) {
    if (!thread_calls) {
        m.thread_calls.push_back(std::make_unique<std::map<std::string, int, std::less<>>>());
        thread_calls = m.thread_calls.back().get();
    }
    return *thread_calls;
}

// Read outside the lock on every call: the fast path when nothing is recorded.
std::atomic<bool> recording{true};
std::atomic<int> armed_faults{0};
std::atomic<bool> cut_armed{false};
std::atomic<int> armed_hooks{0};

// The hook due at this call of `op`, taken out of the list.
std::function<void()> due_hook(machine &m, const char *op) {
    for (auto it = m.hooks.begin(); it != m.hooks.end(); ++it) {
        if (it->op != op || it->skip-- > 0) continue;
        std::function<void()> run = std::move(it->run);
        m.hooks.erase(it);
        armed_hooks = (int)m.hooks.size();
        return run;
    }
    return nullptr;
}

void count(std::map<std::string, int, std::less<>> &counts, const char *op) {
    auto it = counts.find(op);
    if (it == counts.end()) it = counts.emplace(op, 0).first;
    it->second++;
}

}  // namespace

void mem_on_reset(void (*reset)()) {
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    for (auto r : m.resets)
        if (r == reset) return;
    m.resets.push_back(reset);
}

void mem_reset() {
    machine &m = the_machine();
    std::vector<void (*)()> resets;
    {
        std::lock_guard<std::mutex> g(m.lock);
        m.faults.clear();
        armed_faults = 0;
        m.hooks.clear();
        armed_hooks = 0;
        recording = true;
        m.calls.clear();
        for (auto &counts : m.thread_calls) counts->clear();
        m.log.clear();
        m.changes = 0;
        m.cut_after = -1;
        cut_armed = false;
        resets = m.resets;
    }
    for (auto r : resets) r();
}

void mem_fail(const char *op, int64_t code, int nth, int times) {
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    m.faults.push_back({op, code, nth > 1 ? nth - 1 : 0, times});
    armed_faults = (int)m.faults.size();
}

void mem_before_call(const char *op, int nth, std::function<void()> run) {
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    m.hooks.push_back({op, nth > 1 ? nth - 1 : 0, std::move(run)});
    armed_hooks = (int)m.hooks.size();
}

void mem_record_calls(bool on) { recording = on; }

void mem_fail_always(const char *op, int64_t code) { mem_fail(op, code, 1, -1); }

bool mem_fault(const char *op, int64_t *code) {
    if (armed_hooks > 0) {
        std::function<void()> run;
        {
            std::lock_guard<std::mutex> g(the_machine().lock);
            run = due_hook(the_machine(), op);
        }
        if (run) run();
    }
    if (!recording && armed_faults == 0 && !cut_armed) return false;
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    if (changes_state(op) && m.cut_after >= 0 && ++m.changes > m.cut_after) {
        if (code) *code = MEM_CUT_CODE;
        return true;
    }
    if (recording) {
        count(m.calls, op);
        m.log.emplace_back(op);
        count(own_calls(m), op);
    }
    // Every fault sees every call, so "the nth next call" holds for each.
    bool fired = false;
    for (auto it = m.faults.begin(); it != m.faults.end();) {
        if (it->op != op) {
            ++it;
        } else if (it->skip > 0) {
            it->skip--;
            ++it;
        } else if (fired) {
            ++it;
        } else {
            fired = true;
            if (code) *code = it->code;
            if (it->times > 0 && --it->times == 0) {
                it = m.faults.erase(it);
                armed_faults = (int)m.faults.size();
            } else
                ++it;
        }
    }
    if (fired) return true;
    return false;
}

int mem_calls(const char *op) {
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    auto it = m.calls.find(op);
    return it == m.calls.end() ? 0 : it->second;
}

int mem_thread_calls(const char *op) {
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    std::map<std::string, int, std::less<>> &mine = own_calls(m);
    auto it = mine.find(op);
    return it == mine.end() ? 0 : it->second;
}

std::vector<std::string> mem_call_log() {
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    return m.log;
}

void mem_cut_after(int changes) {
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    m.changes = 0;
    m.cut_after = changes;
    cut_armed = changes >= 0;
}

int mem_changes() {
    machine &m = the_machine();
    std::lock_guard<std::mutex> g(m.lock);
    return m.changes;
}

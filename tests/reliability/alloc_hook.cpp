// The allocation-failure hook: malloc, calloc, realloc and free defined in
// the test program itself, so that they take precedence over libc's for
// the library and for libyyjson alike, forwarding to the next definition
// (libc, or a sanitizer's interceptor) found with dlsym.
#include "alloc_hook.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

using malloc_fn = void *(*)(size_t);
using calloc_fn = void *(*)(size_t, size_t);
using realloc_fn = void *(*)(void *, size_t);
using free_fn = void (*)(void *);

malloc_fn real_malloc;
calloc_fn real_calloc;
realloc_fn real_realloc;
free_fn real_free;

// dlsym may itself allocate before the real functions are known; those few
// early blocks come from here and are never released.
alignas(16) char boot_arena[8192];
size_t boot_used;
bool resolving;

void *boot_alloc(size_t n) {
    n = (n + 15) & ~(size_t)15;
    if (boot_used + n > sizeof boot_arena) return nullptr;
    void *p = boot_arena + boot_used;
    boot_used += n;
    return p;
}

bool in_boot(const void *p) {
    return p >= (const void *)boot_arena && p < (const void *)(boot_arena + sizeof boot_arena);
}

bool resolve() {
    if (real_free) return true;
    if (resolving) return false;
    resolving = true;
    real_malloc = (malloc_fn)dlsym(RTLD_NEXT, "malloc");
    real_calloc = (calloc_fn)dlsym(RTLD_NEXT, "calloc");
    real_realloc = (realloc_fn)dlsym(RTLD_NEXT, "realloc");
    real_free = (free_fn)dlsym(RTLD_NEXT, "free");
    resolving = false;
    return real_free != nullptr;
}

// Arming state. Atomics, since other threads allocate too (the thread
// test runs with the hook disarmed, but reads these on every call).
std::atomic<bool> armed{false};
std::atomic<long> counted{0};
std::atomic<long> fail_at{0};
std::atomic<long> fail_times{0};
std::atomic<long> failures{0};

// Over the whole run, for the record printed at exit.
std::atomic<long> all_counted{0}, all_failed{0};

bool should_fail() {
    if (!armed.load(std::memory_order_relaxed)) return false;
    all_counted.fetch_add(1, std::memory_order_relaxed);
    long k = counted.fetch_add(1, std::memory_order_relaxed) + 1;
    long at = fail_at.load(std::memory_order_relaxed);
    long times = fail_times.load(std::memory_order_relaxed);
    bool fail = at > 0 && k >= at && (times < 0 || k < at + times);
    if (fail) {
        failures.fetch_add(1, std::memory_order_relaxed);
        all_failed.fetch_add(1, std::memory_order_relaxed);
    }
    return fail;
}

struct run_record {
    ~run_record() {
        if (all_counted.load())
            fprintf(stderr, "alloc hook: %ld allocations counted, %ld failed\n", all_counted.load(), all_failed.load());
    }
} record;

// Blocks handed out while armed: an open-addressed set of addresses, with
// each block's size. Such a block has guard bytes after its end, checked
// when it is freed or resized, so that a write one byte past a buffer
// fails the test without valgrind or a sanitizer.
constexpr size_t table_size = 1 << 16;
constexpr uintptr_t tombstone = 1;
constexpr size_t guard_size = 16;
constexpr unsigned char guard_byte = 0xA5;
uintptr_t table[table_size];
size_t sizes[table_size];
std::atomic<long> overruns{0};
std::atomic<long> tracked{0};
std::atomic_flag table_lock = ATOMIC_FLAG_INIT;

struct table_guard {
    table_guard() {
        while (table_lock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~table_guard() { table_lock.clear(std::memory_order_release); }
};

size_t slot_of(uintptr_t p) { return (size_t)((p >> 4) * 0x9E3779B97F4A7C15ull >> 48) & (table_size - 1); }

void track(void *p, size_t size) {
    uintptr_t v = (uintptr_t)p;
    memset((char *)p + size, guard_byte, guard_size);
    table_guard g;
    for (size_t i = slot_of(v), n = 0; n < table_size; i = (i + 1) & (table_size - 1), n++) {
        if (table[i] == 0 || table[i] == tombstone) {
            table[i] = v;
            sizes[i] = size;
            tracked.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
}

// Forgets the block; false when it was not tracked. Counts an overrun when
// its guard bytes were written.
bool untrack(void *p, size_t *size = nullptr) {
    if (tracked.load(std::memory_order_relaxed) == 0) return false;
    uintptr_t v = (uintptr_t)p;
    table_guard g;
    for (size_t i = slot_of(v), n = 0; n < table_size; i = (i + 1) & (table_size - 1), n++) {
        if (table[i] == 0) return false;
        if (table[i] == v) {
            table[i] = tombstone;
            tracked.fetch_sub(1, std::memory_order_relaxed);
            if (size) *size = sizes[i];
            const unsigned char *guard = (const unsigned char *)p + sizes[i];
            for (size_t k = 0; k < guard_size; k++)
                if (guard[k] != guard_byte) {
                    overruns.fetch_add(1, std::memory_order_relaxed);
                    break;
                }
            return true;
        }
    }
    return false;
}

bool guarding() { return armed.load(std::memory_order_relaxed); }

void arm(long nth, long times) {
    counted = 0;
    failures = 0;
    fail_at = nth;
    fail_times = times;
    armed = true;
}

}  // namespace

extern "C" {

void *malloc(size_t n) {
    if (!resolve()) return boot_alloc(n);
    if (should_fail()) return nullptr;
    bool guard = guarding();
    void *p = real_malloc(guard ? n + guard_size : n);
    if (p && guard) track(p, n);
    return p;
}

void *calloc(size_t count, size_t size) {
    if (!resolve()) {
        if (size && count > SIZE_MAX / size) return nullptr;
        return boot_alloc(count * size);  // the arena is zero-filled and never reused
    }
    if (should_fail()) return nullptr;
    if (size && count > (SIZE_MAX - guard_size) / size) return nullptr;
    bool guard = guarding();
    void *p = real_calloc(1, count * size + (guard ? guard_size : 0));
    if (p && guard) track(p, count * size);
    return p;
}

void *realloc(void *old, size_t n) {
    if (!old) return malloc(n);
    if (in_boot(old)) {
        void *p = malloc(n);
        size_t room = (size_t)(boot_arena + sizeof boot_arena - (char *)old);
        if (p) memcpy(p, old, n < room ? n : room);
        return p;
    }
    if (!resolve()) return nullptr;
    if (n && should_fail()) return nullptr;  // the old block stays valid
    if (!n) {
        untrack(old);
        real_free(old);
        return nullptr;
    }
    // A tracked block moves on with its guard; an untracked one gains one
    // while armed.
    size_t old_size = 0;
    bool was = untrack(old, &old_size), guard = was || guarding();
    void *p = real_realloc(old, guard ? n + guard_size : n);
    if (p && guard) track(p, n);
    if (!p && was) track(old, old_size);
    return p;
}

void free(void *p) {
    if (!p || in_boot(p)) return;
    untrack(p);
    if (resolve()) real_free(p);
}

}  // extern "C"

// Operator new goes straight to the allocator underneath: the test
// framework and the in-memory machine must never see a failure.
static void *unhooked(size_t n) {
    if (!resolve()) return boot_alloc(n ? n : 1);
    return real_malloc(n ? n : 1);
}
void *operator new(size_t n) {
    if (void *p = unhooked(n)) return p;
    throw std::bad_alloc();
}
void *operator new[](size_t n) { return operator new(n); }
void *operator new(size_t n, const std::nothrow_t &) noexcept { return unhooked(n); }
void *operator new[](size_t n, const std::nothrow_t &) noexcept { return unhooked(n); }
void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { free(p); }

namespace alloc_hook {

void count() { arm(0, 0); }
void fail(long nth, long times) { arm(nth, times); }

long disarm() {
    armed = false;
    fail_at = 0;
    return counted.load();
}

long failed() { return failures.load(); }
long live() { return tracked.load(); }
long overruns_seen() { return overruns.load(); }

void forget() {
    table_guard g;
    memset(table, 0, sizeof table);
    tracked = 0;
}

}  // namespace alloc_hook

// Interposes the malloc family in the benchmark executable. glibc exports
// its allocator under __libc_* names too, so the wrappers forward there and
// measure sizes with malloc_usable_size. Not thread-safe by design: the
// benchmarks run on one thread.
#include "alloc_count.h"

#include <malloc.h>

#include <cerrno>
#include <cstring>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
}

namespace {
uint64_t allocations = 0;
size_t live = 0;
size_t peak = 0;

void *took(void *p) {
    if (!p) return p;
    allocations++;
    live += malloc_usable_size(p);
    if (live > peak) peak = live;
    return p;
}

void gave_back(void *p) {
    if (p) live -= malloc_usable_size(p);
}
}  // namespace

alloc_snapshot alloc_now() { return {allocations, live, peak}; }

void alloc_mark_peak() { peak = live; }

extern "C" {

void *malloc(size_t n) { return took(__libc_malloc(n)); }

void *calloc(size_t count, size_t n) { return took(__libc_calloc(count, n)); }

void free(void *p) {
    gave_back(p);
    __libc_free(p);
}

void *realloc(void *p, size_t n) {
    if (!p) return malloc(n);
    if (n == 0) {
        free(p);
        return nullptr;
    }
    size_t before = malloc_usable_size(p);
    void *q = __libc_realloc(p, n);
    if (!q) return nullptr;  // p is untouched
    live -= before;
    return took(q);
}

void *memalign(size_t align, size_t n) { return took(__libc_memalign(align, n)); }

void *aligned_alloc(size_t align, size_t n) { return memalign(align, n); }

int posix_memalign(void **out, size_t align, size_t n) {
    void *p = memalign(align, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}

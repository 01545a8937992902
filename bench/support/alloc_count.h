// Heap accounting for the benchmark programs: every malloc-family call of
// the process (operator new included) goes through counting wrappers, so a
// benchmark can report allocations per item and the peak of live bytes.
#pragma once

#include <cstddef>
#include <cstdint>

struct alloc_snapshot {
    uint64_t allocations;  // successful malloc, calloc, realloc and aligned calls
    size_t live_bytes;     // usable bytes currently held
    size_t peak_bytes;     // highest live_bytes since the last mark
};

alloc_snapshot alloc_now();
// Starts a new peak window at the current live size.
void alloc_mark_peak();

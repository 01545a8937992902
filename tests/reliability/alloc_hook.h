// Allocation-failure hook of the reliability tests.
//
// The reliability test program defines malloc, calloc, realloc and free
// itself and forwards them to the allocator underneath (libc's, or a
// sanitizer's). While the hook is armed it counts every allocation made
// through them, remembers each block it let through, and fails the ones
// it was told to fail. Operator new bypasses the counter, so the test
// framework and the in-memory machine (which use the C++ library's
// containers) are never failed; the library itself allocates with malloc.
#pragma once

#include <cstddef>

namespace alloc_hook {

// Counts allocations from now on and fails none.
void count();
// Fails the nth allocation from now on (1 = the very next) and the
// `times` - 1 after it; times -1 fails every allocation from the nth on.
void fail(long nth, long times = 1);
// Stops counting and failing; returns the allocations counted since
// arming (the failed ones included).
long disarm();

// How many allocations were failed since arming.
long failed();
// Blocks handed out while armed and not yet freed.
long live();
// Blocks handed out while armed whose guard bytes, just past their end,
// were found written when they were freed or resized.
long overruns_seen();
// Forgets the blocks handed out while armed (after a test that has
// deliberately kept one, so the next test starts clean).
void forget();

}  // namespace alloc_hook

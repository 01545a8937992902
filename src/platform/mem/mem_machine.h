// Control of the in-memory machine: the stand-in for Windows that tests set
// up, inspect and fault. The platform operations themselves are the ones
// declared in ../platform_*.h; each area of the machine (COM, registry,
// files, Task Scheduler) adds its own set-up header beside this one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Empties the whole machine: every area registered with
// mem_on_reset is cleared, faults and call counts are dropped.
void mem_reset();

// Registers an area's reset function (called by mem_reset).
void mem_on_reset(void (*reset)());

// Failure injection. The `nth` next call (1 = the very next) of operation
// `op` (its Win32 name, for example "CoInitializeEx" or "RegSetValueExW")
// answers `code` instead of doing its work; `times` calls in a row from
// there (-1: every call from then on). What a code means is the
// operation's own: an HRESULT, a Win32 error, or a mode the area defines.
void mem_fail(const char *op, int64_t code, int nth = 1, int times = 1);
void mem_fail_always(const char *op, int64_t code);

// Runs `run` once, at the `nth` next call of `op`, before that call does
// anything (its fault check included): another program acting between
// two calls of the library. `run` may call operations itself.
void mem_before_call(const char *op, int nth, std::function<void()> run);

// Called by every operation first: true (and *code set) when this call is
// to fail. Counts the call either way.
bool mem_fault(const char *op, int64_t *code);

// Calls of `op` since the last reset, on all threads / on this thread.
int mem_calls(const char *op);
int mem_thread_calls(const char *op);

// Every counted call since the last reset, in order (all threads).
std::vector<std::string> mem_call_log();

// A process killed after its `changes`-th change of the machine: every
// state-changing call after it (value writes and deletes, key creation,
// file moves, directory creation and removal, marking a file for removal)
// fails with MEM_CUT_CODE and
// changes nothing, so nothing the library does afterwards, an undo
// included, reaches the machine. -1 ends the cut; mem_changes() counts the
// state-changing calls since the cut was set (counting needs a cut set:
// mem_cut_after(INT32_MAX) counts without refusing).
#define MEM_CUT_CODE 1223  // ERROR_CANCELLED
void mem_cut_after(int changes);
int mem_changes();

// Call bookkeeping (counts and log) on or off; mem_reset turns it back on.
// Off, a call costs one flag test unless faults are armed, and long runs
// (benchmarks) neither grow the log nor pay for it; faults still fire.
void mem_record_calls(bool on);

// Shared pieces of the reliability tests: an empty machine per test, a
// known message in last_error to tell "no message" apart, and calls run
// under the allocation hook with their outcome captured.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "alloc_hook.h"
#include "platform/mem/mem_machine.h"
#include "quorvel.h"

// The message a test plants before a call, so that a call which must not
// record anything can be seen to have left it alone.
inline const char *plant_message() {
    quorvel_set_enabled(nullptr, 1);
    return "null id";
}

inline std::string last_error() { return quorvel_last_error(); }

// What a listing under the hook gave: its text (or the null it returned),
// how many allocations were counted and failed.
struct listing_outcome {
    bool null = false;
    std::string text;
    long counted = 0;
    long failed = 0;
};

// Runs quorvel_list with the nth allocation (and `times` in a row, -1:
// all later ones) failing; nth 0 only counts. The text is freed after
// the hook is disarmed, as a host would.
inline listing_outcome list_under_hook(long nth, long times = 1) {
    listing_outcome out;
    char *text;
    if (nth == 0)
        alloc_hook::count();
    else
        alloc_hook::fail(nth, times);
    text = quorvel_list();
    out.failed = alloc_hook::failed();
    out.counted = alloc_hook::disarm();
    out.null = text == nullptr;
    if (text) out.text = text;
    quorvel_free_string(text);
    return out;
}

// The same for a toggle.
struct toggle_outcome {
    int result = -1;
    std::string message;
    long counted = 0;
    long failed = 0;
};

inline toggle_outcome toggle_under_hook(const std::string &id, int enabled, long nth, long times = 1) {
    toggle_outcome out;
    if (nth == 0)
        alloc_hook::count();
    else
        alloc_hook::fail(nth, times);
    out.result = quorvel_set_enabled(id.c_str(), enabled);
    out.failed = alloc_hook::failed();
    out.counted = alloc_hook::disarm();
    out.message = quorvel_last_error();
    return out;
}

// Every test starts on an empty machine, and ends with every block that
// the library allocated under the hook given back.
class HookedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mem_reset();
        alloc_hook::forget();
        overruns_before = alloc_hook::overruns_seen();
    }
    long overruns_before = 0;
    void TearDown() override {
        alloc_hook::disarm();
        EXPECT_EQ(alloc_hook::live(), 0) << "blocks allocated under the hook were never freed";
        EXPECT_EQ(alloc_hook::overruns_seen(), overruns_before) << "a block was written past its end";
        alloc_hook::forget();
        mem_reset();
    }
};

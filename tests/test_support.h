// Shared fixture: every test starts on an empty in-memory machine.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/mem/mem_machine.h"
#include "quorvel.h"

class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override { mem_reset(); }
    void TearDown() override { mem_reset(); }
};

// The listing as a std::string (the library's copy freed).
inline std::string list_text() {
    char *text = quorvel_list();
    std::string s = text ? text : "<null>";
    quorvel_free_string(text);
    return s;
}

// The identifiers' hash (FNV-1a, 64 bits), ASCII A-Z folded to lower case
// when asked, written here again: expected identifiers never come from the
// code under test.
inline uint64_t expected_hash(const std::string &text, bool fold = false) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        if (fold && c >= 'A' && c <= 'Z') c = (unsigned char)(c - 'A' + 'a');
        h = (h ^ c) * 0x100000001b3ull;
    }
    return h;
}

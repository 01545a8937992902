// Shared fixture: every test starts on an empty in-memory machine.
#pragma once

#include <gtest/gtest.h>

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

#include <atomic>
#include <thread>

#include "platform/last_error.h"
#include "platform/com_policy.h"
#include "platform/mem/mem_com.h"
#include "platform/platform.h"
#include "platform/platform_com.h"
#include "test_support.h"

using ComTest = MachineTest;

TEST_F(ComTest, ThreadWithoutCom) {
    EXPECT_EQ(com_enter(), 0);
    EXPECT_EQ(mem_calls("CoInitializeEx"), 1);
    EXPECT_EQ(mem_com_apartment(), PLAT_COINIT_APARTMENTTHREADED);
    EXPECT_EQ(com_owned_here(), 1);
    EXPECT_EQ(com_enter(), 0);
    EXPECT_EQ(mem_calls("CoInitializeEx"), 1);
    com_leave();
    EXPECT_EQ(mem_calls("CoUninitialize"), 1);
    EXPECT_EQ(com_owned_here(), 0);
    EXPECT_EQ(mem_com_depth(), 0);
    com_leave();
    EXPECT_EQ(mem_calls("CoUninitialize"), 1);
}

// On a thread the host initialised, in either model, the S_FALSE level the
// library adds is taken away again: the host's thread ends as deep as it was.
TEST_F(ComTest, HostApartmentsAreLeftAsTheyWere) {
    for (int model : {PLAT_COINIT_APARTMENTTHREADED, PLAT_COINIT_MULTITHREADED}) {
        mem_reset();
        ASSERT_EQ(plat_co_initialize_ex(model), PLAT_S_OK);
        EXPECT_EQ(com_enter(), 0);
        EXPECT_EQ(com_enter(), 0);  // asks the platform once per operation
        EXPECT_EQ(mem_calls("CoInitializeEx"), model == PLAT_COINIT_MULTITHREADED ? 3 : 2);
        EXPECT_EQ(mem_com_depth(), 2);
        com_leave();
        EXPECT_EQ(mem_calls("CoUninitialize"), 1);
        EXPECT_EQ(mem_com_depth(), 1);
        EXPECT_EQ(mem_com_apartment(), model);
        com_leave();
        EXPECT_EQ(mem_calls("CoUninitialize"), 1);
        mem_reset();
    }
}

TEST_F(ComTest, RepeatedListingsOnHostThreadDoNotPileUp) {
    ASSERT_EQ(plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED), PLAT_S_OK);
    for (int i = 0; i < 3; i++) list_text();
    EXPECT_EQ(mem_com_depth(), 1);
}

TEST_F(ComTest, AnswerTable) {
    struct row {
        int64_t first, second;  // 0 = no fault injected
        int result;
        int owned;
        const char *message;
    } rows[] = {
        {PLAT_E_FAIL, 0, 0, 1, "before"},  // second attempt answers S_OK
        {PLAT_E_FAIL, PLAT_S_FALSE, 0, 1, "before"},
        {PLAT_E_FAIL, PLAT_RPC_E_CHANGED_MODE, 0, 0, "before"},
        {PLAT_E_FAIL, PLAT_E_INVALIDARG, 0, 0, "before"},
        {PLAT_E_FAIL, PLAT_E_OUTOFMEMORY, PLAT_E_OUTOFMEMORY, 0, "com: CoInitializeEx failed (0x8007000e)"},
        {PLAT_S_FALSE, 0, 0, 1, "before"},
        {2, 0, 0, 1, "before"},  // another success code
    };
    for (const row &r : rows) {
        mem_reset();
        set_last_error("before");
        mem_fail("CoInitializeEx", r.first, 1);
        if (r.second) mem_fail("CoInitializeEx", r.second, 2);
        EXPECT_EQ(com_enter(), r.result);
        EXPECT_EQ(com_owned_here(), r.owned);
        EXPECT_STREQ(quorvel_last_error(), r.message);
        com_leave();
        EXPECT_EQ(mem_calls("CoUninitialize"), r.owned);
        EXPECT_EQ(com_owned_here(), 0);
    }
}

TEST_F(ComTest, SecondAttemptIsMultithreaded) {
    mem_fail("CoInitializeEx", PLAT_E_FAIL, 1);
    EXPECT_EQ(com_enter(), 0);
    EXPECT_EQ(mem_com_apartment(), PLAT_COINIT_MULTITHREADED);
    com_leave();
    EXPECT_EQ(mem_com_depth(), 0);
}

TEST_F(ComTest, ListingEndsWithOneLeave) {
    ASSERT_EQ(com_enter(), 0);
    std::string text = list_text();
    EXPECT_EQ(mem_calls("CoUninitialize"), 1);
    EXPECT_EQ(com_owned_here(), 0);
}

// The ownership flag is per thread: two threads inside COM at once each
// undo exactly their own initialisation.
TEST_F(ComTest, TwoThreadsDoNotUndoEachOther) {
    std::atomic<int> stage{0};
    int a_depth_after_b_left = -1, a_owned_after_b_left = -1, b_depth = -1, a_depth = -1;
    std::thread a([&] {
        com_enter();
        stage = 1;
        while (stage < 2) std::this_thread::yield();
        a_depth_after_b_left = mem_com_depth();
        a_owned_after_b_left = com_owned_here();
        com_leave();
        a_depth = mem_com_depth();
    });
    std::thread b([&] {
        while (stage < 1) std::this_thread::yield();
        com_enter();
        com_leave();
        b_depth = mem_com_depth();
        stage = 2;
    });
    a.join();
    b.join();
    EXPECT_EQ(a_depth_after_b_left, 1);
    EXPECT_EQ(a_owned_after_b_left, 1);
    EXPECT_EQ(a_depth, 0);
    EXPECT_EQ(b_depth, 0);
    EXPECT_EQ(mem_calls("CoInitializeEx"), 2);
    EXPECT_EQ(mem_calls("CoUninitialize"), 2);
}

// COM entry and exit through the DLL on the real COM runtime: whatever
// apartment the calling thread was in before a call, it is in after it.
#include <objbase.h>

#include <string>
#include <thread>

#include "e2e/dll.h"
#include "test_support.h"

namespace {

const DWORD no_com = 0xFFFFFFFF;

// What CoInitializeEx answers on this thread now, for each model, with
// every level it added undone again.
struct apartment_probe {
    HRESULT sta, mta;
};

HRESULT probe_one(DWORD model) {
    HRESULT hr = CoInitializeEx(nullptr, model);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr;
}

apartment_probe probe() { return {probe_one(COINIT_APARTMENTTHREADED), probe_one(COINIT_MULTITHREADED)}; }

std::string describe(HRESULT hr) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lx", (unsigned long)hr);
    return text;
}

// Runs `work` on a new thread that the host first put into `model` (or
// left without COM), and returns the probes before and after it.
template <typename Work>
void run_in_apartment(DWORD model, Work work, apartment_probe *before, apartment_probe *after) {
    std::thread([&] {
        if (model != no_com) {
            ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
        }
        *before = probe();
        work();
        *after = probe();
        if (model != no_com) CoUninitialize();
    }).join();
}

struct host_apartment {
    const char *name;
    DWORD model;
    HRESULT sta, mta;  // the probe's answers in that apartment
} apartments[] = {
    {"no COM", no_com, S_OK, S_OK},
    {"single-threaded", COINIT_APARTMENTTHREADED, S_FALSE, RPC_E_CHANGED_MODE},
    {"multithreaded", COINIT_MULTITHREADED, RPC_E_CHANGED_MODE, S_FALSE},
};

}  // namespace

TEST(E2eCom, ProbeTellsTheApartmentsApart) {
    for (const host_apartment &a : apartments) {
        apartment_probe before{}, after{};
        run_in_apartment(a.model, [] {}, &before, &after);
        EXPECT_EQ(describe(before.sta), describe(a.sta)) << a.name;
        EXPECT_EQ(describe(before.mta), describe(a.mta)) << a.name;
    }
}

TEST(E2eCom, ListingLeavesTheApartmentAsItWas) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    for (const host_apartment &a : apartments) {
        apartment_probe before{}, after{};
        std::string text;
        run_in_apartment(
            a.model, [&] { text = dll.list_text() + dll.list_text(); }, &before, &after);
        EXPECT_EQ(text.front(), '[') << a.name;
        EXPECT_EQ(describe(after.sta), describe(a.sta)) << a.name;
        EXPECT_EQ(describe(after.mta), describe(a.mta)) << a.name;
    }
}

// A task toggle enters and leaves COM like a listing, whatever its result.
TEST(E2eCom, TaskToggleLeavesTheApartmentAsItWas) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    for (const host_apartment &a : apartments) {
        apartment_probe before{}, after{};
        run_in_apartment(
            a.model, [&] { dll.set_enabled("task:0000000000000000", 1); }, &before, &after);
        EXPECT_EQ(describe(after.sta), describe(a.sta)) << a.name;
        EXPECT_EQ(describe(after.mta), describe(a.mta)) << a.name;
    }
}

// The library takes back every level it adds, S_FALSE ones included: after
// listings and a task toggle, the host's one CoUninitialize ends COM on its
// thread, so the thread can then enter the other model.
TEST(E2eCom, HostTeardownStillEndsCom) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    for (DWORD model : {(DWORD)COINIT_APARTMENTTHREADED, (DWORD)COINIT_MULTITHREADED}) {
        DWORD other = model == COINIT_MULTITHREADED ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
        HRESULT after_teardown = E_FAIL;
        std::thread([&] {
            ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
            dll.list_text();
            dll.list_text();
            dll.set_enabled("task:0000000000000000", 1);
            CoUninitialize();
            after_teardown = CoInitializeEx(nullptr, other);
            if (SUCCEEDED(after_teardown)) CoUninitialize();
        }).join();
        EXPECT_EQ(describe(after_teardown), describe(S_OK)) << model;
    }
}

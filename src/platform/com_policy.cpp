#include "com_policy.h"

#include "last_error.h"
#include "platform.h"
#include "platform_com.h"

namespace {
// Kept per thread: one flag for the whole process would let two threads
// listing at once undo each other's initialisation.
thread_local int com_owned = 0;
}  // namespace

int com_enter() {
    if (com_owned) return 0;
    plat_hresult hr = plat_co_initialize_ex(PLAT_COINIT_APARTMENTTHREADED);
    if (PLAT_FAILED(hr)) hr = plat_co_initialize_ex(PLAT_COINIT_MULTITHREADED);
    // Every successful answer, S_FALSE on a thread the host initialised
    // included, adds a level that only CoUninitialize takes away. Owning
    // each, and asking once per operation, leaves the host's thread exactly
    // as deep as it was.
    if (!PLAT_FAILED(hr)) {
        com_owned = 1;
        return 0;
    }
    if (hr == PLAT_RPC_E_CHANGED_MODE || hr == PLAT_E_INVALIDARG) return 0;
    set_last_error("com: CoInitializeEx failed (0x%08x)", (unsigned)hr);
    return hr;
}

void com_leave() {
    if (!com_owned) return;
    plat_co_uninitialize();
    com_owned = 0;
}

int com_owned_here() { return com_owned; }

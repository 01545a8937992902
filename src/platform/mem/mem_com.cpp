// In-memory COM runtime: CoInitializeEx answers per thread and apartment as
// Windows does (S_OK first, S_FALSE again in the same model,
// RPC_E_CHANGED_MODE in the other), CoUninitialize undoes one level.
#include "mem_com.h"

#include "../platform_com.h"
#include "mem_machine.h"

namespace {
thread_local int apartment = -1;
thread_local int depth = 0;
}  // namespace

int mem_com_apartment() { return apartment; }
int mem_com_depth() { return depth; }

plat_hresult plat_co_initialize_ex(int model) {
    int64_t code = 0;
    if (mem_fault("CoInitializeEx", &code)) return (plat_hresult)code;
    if (model != PLAT_COINIT_APARTMENTTHREADED && model != PLAT_COINIT_MULTITHREADED)
        return PLAT_E_INVALIDARG;
    if (depth == 0) {
        apartment = model;
        depth = 1;
        return PLAT_S_OK;
    }
    if (apartment != model) return PLAT_RPC_E_CHANGED_MODE;
    depth++;
    return PLAT_S_FALSE;
}

void plat_co_uninitialize() {
    mem_fault("CoUninitialize", nullptr);
    if (depth == 0) return;
    if (--depth == 0) apartment = -1;
}

namespace {
// Clears the resetting thread's apartment, so each test starts without COM.
void reset_com() {
    apartment = -1;
    depth = 0;
}
const bool registered = (mem_on_reset(reset_com), true);
}  // namespace

// COM runtime operations (CoInitializeEx, CoUninitialize).
#pragma once

#include "platform.h"

#define PLAT_COINIT_MULTITHREADED 0
#define PLAT_COINIT_APARTMENTTHREADED 2

// CoInitializeEx(NULL, model).
plat_hresult plat_co_initialize_ex(int model);
// CoUninitialize().
void plat_co_uninitialize();

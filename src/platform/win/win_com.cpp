// COM runtime over Win32.
#include <objbase.h>

#include "../platform_com.h"

plat_hresult plat_co_initialize_ex(int model) { return (plat_hresult)CoInitializeEx(nullptr, (DWORD)model); }

void plat_co_uninitialize() { CoUninitialize(); }

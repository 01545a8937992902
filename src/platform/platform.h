// The one seam between the library and the operating system.
//
// Providers and helpers never call Windows directly: they call these
// operations, which mirror the Win32 calls the library needs (same
// arguments, same result codes). Two implementations sit side by side:
// win/ over the real Win32 API and mem/ over the in-memory machine that
// tests set up and fault. Exactly one of them is linked into a binary.
#pragma once

#include <cstdint>

typedef int32_t plat_hresult;  // HRESULT: failure when the sign bit is set
typedef uint32_t plat_error;   // Win32 error code (GetLastError, Reg* results)

#define PLAT_FAILED(hr) ((plat_hresult)(hr) < 0)

// HRESULT and error codes the logic tells apart.
#define PLAT_S_OK ((plat_hresult)0)
#define PLAT_S_FALSE ((plat_hresult)1)
#define PLAT_E_NOTIMPL ((plat_hresult)0x80004001)
#define PLAT_E_FAIL ((plat_hresult)0x80004005)
#define PLAT_E_OUTOFMEMORY ((plat_hresult)0x8007000E)
#define PLAT_E_ACCESSDENIED ((plat_hresult)0x80070005)
#define PLAT_E_INVALIDARG ((plat_hresult)0x80070057)
#define PLAT_RPC_E_CHANGED_MODE ((plat_hresult)0x80010106)
#define PLAT_REGDB_E_CLASSNOTREG ((plat_hresult)0x80040154)

#define PLAT_ERROR_SUCCESS 0u
#define PLAT_ERROR_FILE_NOT_FOUND 2u
#define PLAT_ERROR_PATH_NOT_FOUND 3u
#define PLAT_ERROR_ACCESS_DENIED 5u
#define PLAT_ERROR_INVALID_PARAMETER 87u
#define PLAT_ERROR_ALREADY_EXISTS 183u
#define PLAT_ERROR_MORE_DATA 234u
#define PLAT_ERROR_NO_MORE_ITEMS 259u

// Each area declares its operations in its own header: platform_com.h,
// platform_convert.h, and one header per provider area.

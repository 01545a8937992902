// Reading a package's manifest and its indirect strings over Win32
// (kernel32, shlwapi).
#include <windows.h>
#include <shlwapi.h>

#include "../platform_packages.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide text");

static HANDLE handle(plat_file f) { return reinterpret_cast<HANDLE>(f); }

int plat_get_file_size_ex(plat_file file, uint64_t *size) {
    LARGE_INTEGER n = {};
    if (!GetFileSizeEx(handle(file), &n)) return 0;
    *size = (uint64_t)n.QuadPart;
    return 1;
}

int plat_read_file(plat_file file, void *buffer, uint32_t to_read, uint32_t *read) {
    DWORD got = 0;
    BOOL ok = ReadFile(handle(file), buffer, to_read, &got, nullptr);
    *read = got;
    return ok ? 1 : 0;
}

plat_hresult plat_sh_load_indirect_string(const char16_t *source, char16_t *out, uint32_t out_units) {
    return (plat_hresult)SHLoadIndirectString(reinterpret_cast<LPCWSTR>(source), reinterpret_cast<LPWSTR>(out),
                                              out_units, nullptr);
}

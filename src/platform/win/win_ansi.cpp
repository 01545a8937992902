// ANSI code page conversion over Win32.
#include <windows.h>

#include "../platform_convert.h"

int plat_ansi_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap) {
    return MultiByteToWideChar(CP_ACP, 0, src, src_len, reinterpret_cast<wchar_t *>(dst), dst_cap);
}

int plat_utf16_to_ansi(const char16_t *src, int src_len, char *dst, int dst_cap, int *used_default) {
    BOOL used = FALSE;
    const wchar_t *w = reinterpret_cast<const wchar_t *>(src);
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, src_len, dst, dst_cap, nullptr, &used);
    *used_default = used ? 1 : 0;
    // Some code pages (UTF-8 among them) take neither the flag nor a default
    // character; the caller's conversion back tells whether the text survived.
    DWORD e = n ? 0 : GetLastError();
    if (!n && (e == ERROR_INVALID_FLAGS || e == ERROR_INVALID_PARAMETER))
        n = WideCharToMultiByte(CP_ACP, 0, w, src_len, dst, dst_cap, nullptr, nullptr);
    return n;
}

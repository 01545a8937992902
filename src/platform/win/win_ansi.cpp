// ANSI code page conversion over Win32.
#include <windows.h>

#include "../platform_convert.h"

int plat_ansi_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap) {
    return MultiByteToWideChar(CP_ACP, 0, src, src_len, reinterpret_cast<wchar_t *>(dst), dst_cap);
}

int plat_utf16_to_ansi(const char16_t *src, int src_len, char *dst, int dst_cap, int *used_default) {
    BOOL used = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t *>(src), src_len, dst,
                                dst_cap, nullptr, &used);
    *used_default = used ? 1 : 0;
    return n;
}

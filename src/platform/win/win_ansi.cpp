// ANSI code page conversion over Win32.
#include <windows.h>

#include "../platform_convert.h"

int plat_ansi_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap) {
    return MultiByteToWideChar(CP_ACP, 0, src, src_len, reinterpret_cast<wchar_t *>(dst), dst_cap);
}

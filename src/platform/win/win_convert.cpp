// Code-page conversion over Win32. char16_t and wchar_t are both UTF-16
// units on Windows, so the buffers are passed through as they are.
#include <windows.h>

#include "../platform_convert.h"

static_assert(sizeof(char16_t) == sizeof(wchar_t), "UTF-16 units");

int plat_utf8_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap) {
    return MultiByteToWideChar(CP_UTF8, 0, src, src_len, reinterpret_cast<wchar_t *>(dst), dst_cap);
}

int plat_utf16_to_utf8(const char16_t *src, int src_len, char *dst, int dst_cap) {
    return WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t *>(src), src_len, dst, dst_cap, nullptr,
                               nullptr);
}

// Environment, folders and version resources over Win32 (wide functions).
#include <windows.h>

#include "../platform_details.h"

namespace {

const wchar_t *wide(const char16_t *text) { return reinterpret_cast<const wchar_t *>(text); }
wchar_t *wide(char16_t *text) { return reinterpret_cast<wchar_t *>(text); }

}  // namespace

uint32_t plat_expand_environment_strings(const char16_t *src, char16_t *dst, uint32_t size) {
    return ExpandEnvironmentStringsW(wide(src), wide(dst), size);
}

uint32_t plat_get_environment_variable(const char16_t *name, char16_t *buffer, uint32_t size) {
    return GetEnvironmentVariableW(wide(name), wide(buffer), size);
}

uint32_t plat_get_system_directory(char16_t *buffer, uint32_t size) { return GetSystemDirectoryW(wide(buffer), size); }

uint32_t plat_get_windows_directory(char16_t *buffer, uint32_t size) {
    return GetWindowsDirectoryW(wide(buffer), size);
}

int plat_is_wow64_process(int *wow64) {
    BOOL is = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &is)) return 0;
    *wow64 = is ? 1 : 0;
    return 1;
}

uint32_t plat_get_file_version_info_size(const char16_t *path) {
    return GetFileVersionInfoSizeW(wide(path), nullptr);
}

int plat_get_file_version_info(const char16_t *path, uint32_t size, void *data) {
    return GetFileVersionInfoW(wide(path), 0, size, data) ? 1 : 0;
}

int plat_ver_query_value(const void *block, const char16_t *sub_block, const void **buffer, uint32_t *len) {
    void *found = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, wide(sub_block), &found, &length)) return 0;
    *buffer = found;
    *len = length;
    return 1;
}

// Registry calls and the system clock over Win32 (advapi32, kernel32).
#include <windows.h>

#include "../platform_registry.h"

static HKEY hkey(plat_hkey k) { return reinterpret_cast<HKEY>(k); }
static LPDWORD dw(uint32_t *p) { return reinterpret_cast<LPDWORD>(p); }
static LPCWSTR wide(const char16_t *s) { return reinterpret_cast<LPCWSTR>(s); }

plat_error plat_reg_open_key_ex_a(plat_hkey root, const char *subkey, uint32_t options, uint32_t access,
                                  plat_hkey *key) {
    HKEY out = nullptr;
    LONG e = RegOpenKeyExA(hkey(root), subkey, options, access, &out);
    *key = reinterpret_cast<plat_hkey>(out);
    return (plat_error)e;
}

plat_error plat_reg_create_key_ex_a(plat_hkey root, const char *subkey, uint32_t access, plat_hkey *key) {
    HKEY out = nullptr;
    LONG e = RegCreateKeyExA(hkey(root), subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &out,
                             nullptr);
    *key = reinterpret_cast<plat_hkey>(out);
    return (plat_error)e;
}

plat_error plat_reg_close_key(plat_hkey key) { return (plat_error)RegCloseKey(hkey(key)); }

plat_error plat_reg_enum_value_w(plat_hkey key, uint32_t index, char16_t *name, uint32_t *name_len,
                                 uint32_t *type, uint8_t *data, uint32_t *data_len) {
    return (plat_error)RegEnumValueW(hkey(key), index, reinterpret_cast<LPWSTR>(name), dw(name_len), nullptr,
                                     dw(type), data, dw(data_len));
}

plat_error plat_reg_query_value_ex_w(plat_hkey key, const char16_t *name, uint32_t *type, uint8_t *data,
                                     uint32_t *data_len) {
    return (plat_error)RegQueryValueExW(hkey(key), wide(name), nullptr, dw(type), data, dw(data_len));
}

plat_error plat_reg_set_value_ex_w(plat_hkey key, const char16_t *name, uint32_t type, const uint8_t *data,
                                   uint32_t data_len) {
    return (plat_error)RegSetValueExW(hkey(key), wide(name), 0, type, data, data_len);
}

plat_error plat_reg_delete_value_w(plat_hkey key, const char16_t *name) {
    return (plat_error)RegDeleteValueW(hkey(key), wide(name));
}

uint16_t plat_get_native_processor_architecture() {
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture;
}

uint64_t plat_get_system_time_as_file_time() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

plat_error plat_reg_enum_key_ex_w(plat_hkey key, uint32_t index, char16_t *name, uint32_t *name_len) {
    return (plat_error)RegEnumKeyExW(hkey(key), index, reinterpret_cast<LPWSTR>(name), dw(name_len), nullptr,
                                     nullptr, nullptr, nullptr);
}

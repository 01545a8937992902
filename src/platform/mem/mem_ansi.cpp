// Code page 1252 for the in-memory machine, and plat_ansi_to_utf16 over it
// with the counts of MultiByteToWideChar(CP_ACP, 0, ...).
#include "mem_ansi.h"

#include <cstring>

#include "../platform_convert.h"
#include "mem_convert.h"
#include "mem_machine.h"

namespace {

// 0x80..0x9F; the rest of the code page is Latin-1.
const char16_t high_block[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

unsigned code_page = 1252;
const bool registered = (mem_on_reset([] { code_page = 1252; }), true);

}  // namespace

void mem_set_ansi_code_page(unsigned cp) { code_page = cp; }

char16_t mem_cp1252_decode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return high_block[byte - 0x80];
    return byte;
}

unsigned char mem_cp1252_encode(char16_t unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return (unsigned char)unit;
    for (int i = 0; i < 32; i++)
        if (high_block[i] == unit) return (unsigned char)(0x80 + i);
    return '?';
}

std::u16string mem_cp1252_to_utf16(const char *bytes, size_t len) {
    std::u16string out;
    out.reserve(len);
    for (size_t i = 0; i < len; i++) out.push_back(mem_cp1252_decode((unsigned char)bytes[i]));
    return out;
}

std::string mem_utf16_to_cp1252(const char16_t *units, size_t len) {
    std::string out;
    out.reserve(len);
    for (size_t i = 0; i < len; i++) out.push_back((char)mem_cp1252_encode(units[i]));
    return out;
}

int plat_ansi_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap) {
    if (mem_fault("MultiByteToWideChar", nullptr)) return 0;
    if (code_page == 65001) return mem_convert_utf8(src, src_len, dst, dst_cap);
    if (!src || src_len == 0 || src_len < -1 || dst_cap < 0) return 0;
    int n = src_len == -1 ? (int)strlen(src) + 1 : src_len;
    if (dst_cap == 0) return n;
    if (!dst || dst_cap < n) return 0;
    for (int i = 0; i < n; i++) dst[i] = mem_cp1252_decode((unsigned char)src[i]);
    return n;
}

int plat_utf16_to_ansi(const char16_t *src, int src_len, char *dst, int dst_cap, int *used_default) {
    *used_default = 0;
    if (mem_fault("WideCharToMultiByte", nullptr)) return 0;
    if (code_page == 65001) return mem_convert_utf16(src, src_len, dst, dst_cap);
    if (!src || src_len == 0 || src_len < -1 || dst_cap < 0) return 0;
    int n = 0;
    if (src_len == -1)
        while (src[n++]) {}
    else
        n = src_len;
    if (dst_cap && (!dst || dst_cap < n)) return 0;
    for (int i = 0; i < n; i++) {
        unsigned char byte = mem_cp1252_encode(src[i]);
        if (byte == '?' && src[i] != u'?') *used_default = 1;
        if (dst_cap) dst[i] = (char)byte;
    }
    return n;
}

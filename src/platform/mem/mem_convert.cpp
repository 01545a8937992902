// The converter of the in-memory machine: lenient UTF-8 <-> UTF-16 with the
// counts of MultiByteToWideChar / WideCharToMultiByte (CP_UTF8, flags 0).
// A malformed UTF-8 sequence becomes one U+FFFD per maximal invalid
// subpart; an unpaired surrogate becomes U+FFFD.
#include <cstring>

#include "../platform_convert.h"
#include "mem_convert.h"
#include "mem_machine.h"

namespace {

// Decodes one code point at s[0..n); returns bytes used (>= 1) and sets *cp
// (0xFFFD for a malformed subpart).
int decode_utf8(const unsigned char *s, int n, unsigned *cp) {
    unsigned b = s[0];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    int need;
    unsigned lo = 0x80, hi = 0xBF, v;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        v = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        v = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        v = b & 0x07;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        *cp = 0xFFFD;
        return 1;
    }
    int used = 1;
    for (int k = 0; k < need; k++) {
        if (used >= n) break;
        unsigned c = s[used];
        if (c < lo || c > hi) break;
        v = (v << 6) | (c & 0x3F);
        used++;
        lo = 0x80;
        hi = 0xBF;
    }
    *cp = used == need + 1 ? v : 0xFFFD;
    return used;
}

template <typename Unit>
int put(Unit *dst, int cap, int at, Unit u) {
    if (dst && cap > 0) {
        if (at >= cap) return -1;
        dst[at] = u;
    }
    return at + 1;
}

}  // namespace

// The conversions themselves, shared by the platform operations (which
// count calls and take faults) and the machine's own set-up helpers.
int mem_convert_utf8(const char *src, int src_len, char16_t *dst, int dst_cap) {
    if (!src || src_len == 0 || src_len < -1 || dst_cap < 0) return 0;
    int n = src_len == -1 ? (int)strlen(src) + 1 : src_len;
    const unsigned char *s = (const unsigned char *)src;
    int out = 0;
    for (int i = 0; i < n;) {
        unsigned cp;
        i += decode_utf8(s + i, n - i, &cp);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            if ((out = put<char16_t>(dst, dst_cap, out, (char16_t)(0xD800 + (cp >> 10)))) < 0) return 0;
            if ((out = put<char16_t>(dst, dst_cap, out, (char16_t)(0xDC00 + (cp & 0x3FF)))) < 0) return 0;
        } else if ((out = put<char16_t>(dst, dst_cap, out, (char16_t)cp)) < 0) {
            return 0;
        }
    }
    return out;
}

int mem_convert_utf16(const char16_t *src, int src_len, char *dst, int dst_cap) {
    if (!src || src_len == 0 || src_len < -1 || dst_cap < 0) return 0;
    int n = src_len;
    if (n == -1) {
        n = 0;
        while (src[n]) n++;
        n++;
    }
    int out = 0;
    for (int i = 0; i < n; i++) {
        unsigned cp = src[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
            i++;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        unsigned char buf[4];
        int len;
        if (cp < 0x80) {
            buf[0] = (unsigned char)cp;
            len = 1;
        } else if (cp < 0x800) {
            buf[0] = (unsigned char)(0xC0 | (cp >> 6));
            buf[1] = (unsigned char)(0x80 | (cp & 0x3F));
            len = 2;
        } else if (cp < 0x10000) {
            buf[0] = (unsigned char)(0xE0 | (cp >> 12));
            buf[1] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
            buf[2] = (unsigned char)(0x80 | (cp & 0x3F));
            len = 3;
        } else {
            buf[0] = (unsigned char)(0xF0 | (cp >> 18));
            buf[1] = (unsigned char)(0x80 | ((cp >> 12) & 0x3F));
            buf[2] = (unsigned char)(0x80 | ((cp >> 6) & 0x3F));
            buf[3] = (unsigned char)(0x80 | (cp & 0x3F));
            len = 4;
        }
        for (int k = 0; k < len; k++)
            if ((out = put<char>(dst, dst_cap, out, (char)buf[k])) < 0) return 0;
    }
    return out;
}

int plat_utf8_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap) {
    if (mem_fault("MultiByteToWideChar", nullptr)) return 0;
    return mem_convert_utf8(src, src_len, dst, dst_cap);
}

int plat_utf16_to_utf8(const char16_t *src, int src_len, char *dst, int dst_cap) {
    if (mem_fault("WideCharToMultiByte", nullptr)) return 0;
    return mem_convert_utf16(src, src_len, dst, dst_cap);
}

std::u16string mem_widen(const std::string &text) {
    if (text.empty()) return u"";
    std::u16string out((size_t)mem_convert_utf8(text.data(), (int)text.size(), nullptr, 0), u'\0');
    mem_convert_utf8(text.data(), (int)text.size(), &out[0], (int)out.size());
    return out;
}

std::string mem_narrow(const std::u16string &text) {
    if (text.empty()) return "";
    std::string out((size_t)mem_convert_utf16(text.data(), (int)text.size(), nullptr, 0), '\0');
    mem_convert_utf16(text.data(), (int)text.size(), &out[0], (int)out.size());
    return out;
}

char16_t mem_fold_case(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return (char16_t)(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return (char16_t)(c + 0x50);
    if (c == 0x178) return 0xFF;
    // Latin Extended-A pairs capitals and small letters side by side.
    bool even_pairs = (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    bool odd_pairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if ((even_pairs && c % 2 == 0) || (odd_pairs && c % 2 == 1)) return (char16_t)(c + 1);
    return c;
}

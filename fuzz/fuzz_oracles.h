// Independent reference answers the fuzz targets compare the library with:
// strict UTF-8 validation, lenient decoding with U+FFFD, UTF-16 repair,
// and the byte-exact JSON string form of the listing.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(cond, ...)                                             \
    do {                                                                  \
        if (!(cond)) {                                                    \
            fprintf(stderr, "check failed at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
            fprintf(stderr, __VA_ARGS__);                                 \
            fprintf(stderr, "\n");                                        \
            abort();                                                      \
        }                                                                 \
    } while (0)

// Length of the well-formed sequence at s[0..n) (RFC 3629: no overlongs,
// no surrogates, nothing above U+10FFFF), or, when it is malformed, minus
// the length of its maximal subpart (at least 1), which one U+FFFD replaces.
inline int utf8_sequence(const unsigned char *s, size_t n, unsigned *cp) {
    unsigned b = s[0];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    int need;
    unsigned lo = 0x80, hi = 0xBF, v;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1, v = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2, v = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3, v = b & 0x07;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return -1;
    }
    size_t used = 1;
    for (int k = 0; k < need; k++, used++) {
        if (used >= n || s[used] < lo || s[used] > hi) return -(int)used;
        v = (v << 6) | (s[used] & 0x3F);
        lo = 0x80, hi = 0xBF;
    }
    *cp = v;
    return (int)used;
}

inline bool utf8_valid(const std::string &s) {
    const unsigned char *p = (const unsigned char *)s.data();
    for (size_t i = 0; i < s.size();) {
        unsigned cp;
        int k = utf8_sequence(p + i, s.size() - i, &cp);
        if (k < 0) return false;
        i += (size_t)k;
    }
    return true;
}

inline void put_utf16(std::u16string *out, unsigned cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out->push_back((char16_t)(0xD800 + (cp >> 10)));
        out->push_back((char16_t)(0xDC00 + (cp & 0x3FF)));
    } else {
        out->push_back((char16_t)cp);
    }
}

// UTF-8 to UTF-16, each maximal malformed subpart becoming U+FFFD.
inline std::u16string decode_lenient(const std::string &s) {
    std::u16string out;
    const unsigned char *p = (const unsigned char *)s.data();
    for (size_t i = 0; i < s.size();) {
        unsigned cp;
        int k = utf8_sequence(p + i, s.size() - i, &cp);
        if (k < 0) {
            out.push_back(u'\xFFFD');
            i += (size_t)-k;
        } else {
            put_utf16(&out, cp);
            i += (size_t)k;
        }
    }
    return out;
}

// UTF-16 to UTF-8, each unpaired surrogate becoming U+FFFD.
inline std::string encode_repaired(const std::u16string &w) {
    std::string out;
    for (size_t i = 0; i < w.size(); i++) {
        unsigned cp = w[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00u);
            i++;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += (char)cp;
        } else if (cp < 0x800) {
            out += (char)(0xC0 | (cp >> 6));
            out += (char)(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += (char)(0xE0 | (cp >> 12));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        } else {
            out += (char)(0xF0 | (cp >> 18));
            out += (char)(0x80 | ((cp >> 12) & 0x3F));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// A JSON string as the listing writes it: quotation mark and backslash
// escaped, \b \t \n \f \r, other controls as \u00XX (upper-case hex), every
// other byte as it is.
inline std::string json_string(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\f': out += "\\f"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\u%04X", c);
                out += hex;
            } else {
                out += (char)c;
            }
        }
    }
    return out + "\"";
}

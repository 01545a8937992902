#include "text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform_convert.h"

char *dup_string(const char *text) {
    if (!text) return nullptr;
    size_t n = strlen(text) + 1;
    char *copy = (char *)malloc(n);
    if (copy) memcpy(copy, text, n);
    return copy;
}

static unsigned char fold_ascii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c + 0x20) : c;
}

int iequals(const char *a, const char *b) {
    if (!a || !b) return 0;
    const unsigned char *x = (const unsigned char *)a, *y = (const unsigned char *)b;
    for (;; x++, y++) {
        if (fold_ascii(*x) != fold_ascii(*y)) return 0;
        if (!*x) return 1;
    }
}

int utf8_to_utf16(const char *text, char16_t **out) {
    if (!text || !out) return -1;
    int units = plat_utf8_to_utf16(text, -1, nullptr, 0);
    if (units <= 0) return -1;
    char16_t *buf = (char16_t *)malloc((size_t)units * sizeof(char16_t));
    if (!buf) return -1;
    if (plat_utf8_to_utf16(text, -1, buf, units) <= 0) {
        free(buf);
        return -1;
    }
    *out = buf;
    return units;
}

static char *empty_string() {
    char *s = (char *)malloc(1);
    if (s) s[0] = '\0';
    return s;
}

const char *utf16_to_utf8_in(const char16_t *text, char *fixed, size_t cap, char **heap) {
    if (!text) return nullptr;
    int bytes = plat_utf16_to_utf8(text, -1, nullptr, 0);
    if (bytes <= 0) return nullptr;
    char *dst = fixed;
    if ((size_t)bytes > cap) dst = *heap = (char *)malloc((size_t)bytes);
    if (!dst) return nullptr;
    if (plat_utf16_to_utf8(text, -1, dst, bytes) > 0) return dst;
    if (dst == *heap) {
        free(*heap);
        *heap = nullptr;
    }
    return nullptr;
}

char *utf16_to_utf8(const char16_t *text) {
    char *heap = nullptr;
    if (utf16_to_utf8_in(text, nullptr, 0, &heap)) return heap;
    return empty_string();
}

char *join_command(const char *program, const char *arguments) {
    if (!arguments[0]) return dup_string(program);
    size_t p = strlen(program), a = strlen(arguments);
    char *joined = (char *)malloc(p + 1 + a + 1);
    if (!joined) return nullptr;
    memcpy(joined, program, p);
    joined[p] = ' ';
    memcpy(joined + p + 1, arguments, a + 1);
    return joined;
}

int format_narrow(char *dst, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int n = vsnprintf(dst, size, format, args);
    va_end(args);
    return n;
}

size_t wide_length(const char16_t *text) {
    size_t n = 0;
    while (text[n]) n++;
    return n;
}

int format_wide(char16_t *dst, const char16_t *format, ...) {
    va_list args;
    va_start(args, format);
    size_t at = 0;
    bool fits = true;
    for (const char16_t *f = format; *f && fits; f++) {
        if (f[0] == u'%' && f[1] == u's') {
            const char16_t *arg = va_arg(args, const char16_t *);
            for (; arg && *arg; arg++) {
                if (at + 1 >= WIDE_PATH_UNITS) {
                    fits = false;
                    break;
                }
                dst[at++] = *arg;
            }
            f++;
            continue;
        }
        if (f[0] == u'%' && f[1] == u'%') f++;
        if (at + 1 >= WIDE_PATH_UNITS) {
            fits = false;
            break;
        }
        dst[at++] = *f;
    }
    va_end(args);
    if (!fits) {
        dst[0] = u'\0';
        return -1;
    }
    dst[at] = u'\0';
    return (int)at;
}

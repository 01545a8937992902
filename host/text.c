#include "text.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static int is_cont(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

/* Length of the well-formed UTF-8 sequence at `p`, or 1 for a stray byte. */
static size_t seq_len(const unsigned char *p, size_t left) {
    unsigned char b = p[0];
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF; /* allowed range of the second byte */
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b >= 0xE0 && b <= 0xEF) n = 3;
    else if (b >= 0xF0 && b <= 0xF4) n = 4;
    else return 1;
    if (b == 0xE0) lo = 0xA0;      /* overlong */
    if (b == 0xED) hi = 0x9F;      /* surrogates */
    if (b == 0xF0) lo = 0x90;      /* overlong */
    if (b == 0xF4) hi = 0x8F;      /* beyond U+10FFFF */
    if (left < n || p[1] < lo || p[1] > hi) return 1;
    for (size_t i = 2; i < n; i++)
        if (!is_cont(p[i])) return 1;
    return n;
}

size_t utf8_points(const char *text, size_t len) {
    const unsigned char *p = (const unsigned char *)text;
    size_t points = 0;
    for (size_t i = 0; i < len; points++) i += seq_len(p + i, len - i);
    return points;
}

size_t utf8_prefix(const char *text, size_t len, size_t points) {
    const unsigned char *p = (const unsigned char *)text;
    size_t i = 0;
    while (i < len && points > 0) {
        i += seq_len(p + i, len - i);
        points--;
    }
    return i;
}

/* The code point of the `n`-byte sequence at `p`; a stray byte gives a
 * value above U+10FFFF, so it equals only the same stray byte. */
static uint32_t decode(const unsigned char *p, size_t n) {
    static const unsigned char lead_bits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    if (n == 1) return p[0] < 0x80 ? p[0] : 0x110000u + p[0];
    uint32_t c = p[0] & lead_bits[n];
    for (size_t i = 1; i < n; i++) c = (c << 6) | (p[i] & 0x3F);
    return c;
}

/* Capital letters and what they fold to: the whole range moves by `delta`,
 * or, for `pairs`, every other letter from `first` on is a capital whose
 * small letter follows it. */
static const struct {
    uint16_t first, last;
    int16_t delta;
    uint8_t pairs;
} folds[] = {
    {0x0041, 0x005A, 32, 0},   {0x00C0, 0x00D6, 32, 0}, {0x00D8, 0x00DE, 32, 0},
    {0x0100, 0x012F, 1, 1},    {0x0132, 0x0137, 1, 1},  {0x0139, 0x0148, 1, 1},
    {0x014A, 0x0177, 1, 1},    {0x0178, 0x0178, -121, 0}, {0x0179, 0x017E, 1, 1},
    {0x0391, 0x03A1, 32, 0},   {0x03A3, 0x03AB, 32, 0}, {0x03C2, 0x03C2, 1, 0},
    {0x0400, 0x040F, 80, 0},   {0x0410, 0x042F, 32, 0},
};

static uint32_t fold(uint32_t c) {
    for (size_t i = 0; i < sizeof folds / sizeof folds[0]; i++) {
        if (c < folds[i].first || c > folds[i].last) continue;
        if (folds[i].pairs && (c - folds[i].first) % 2 != 0) return c;
        return (uint32_t)((int32_t)c + folds[i].delta);
    }
    return c;
}

int utf8_same_folded(const char *a, size_t a_len, const char *b, size_t b_len) {
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;
    size_t i = 0, j = 0;
    while (i < a_len && j < b_len) {
        size_t m = seq_len(p + i, a_len - i), n = seq_len(q + j, b_len - j);
        if (fold(decode(p + i, m)) != fold(decode(q + j, n))) return 0;
        i += m;
        j += n;
    }
    return i == a_len && j == b_len;
}

void text_put(struct text_buf *b, const char *s, size_t n) {
    if (b->failed) return;
    if (b->len + n + 1 > b->cap) {
        size_t cap = b->cap ? b->cap : 256;
        while (cap < b->len + n + 1) cap *= 2;
        char *grown = (char *)realloc(b->data, cap);
        if (!grown) {
            b->failed = 1;
            return;
        }
        b->data = grown;
        b->cap = cap;
    }
    memcpy(b->data + b->len, s, n);
    b->len += n;
    b->data[b->len] = '\0';
}

void text_put_str(struct text_buf *b, const char *s) { text_put(b, s, strlen(s)); }

void text_put_spaces(struct text_buf *b, size_t n) {
    static const char spaces[] = "                                ";
    while (n > 0) {
        size_t k = n < sizeof spaces - 1 ? n : sizeof spaces - 1;
        text_put(b, spaces, k);
        n -= k;
    }
}

/* C0, DEL, or C1 encoded as C2 80..9F. */
static int is_control(const unsigned char *p, size_t n) {
    if (n == 1) return p[0] < 0x20 || p[0] == 0x7F;
    return n == 2 && p[0] == 0xC2 && p[1] <= 0x9F;
}

void text_put_visible(struct text_buf *b, const char *text, size_t len) {
    const unsigned char *p = (const unsigned char *)text;
    for (size_t i = 0; i < len;) {
        size_t n = seq_len(p + i, len - i);
        if (is_control(p + i, n)) text_put(b, "?", 1);
        else text_put(b, text + i, n);
        i += n;
    }
}

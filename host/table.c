#include "table.h"

#include <stdlib.h>
#include <string.h>

#include <yyjson.h>

enum { COL_STATE, COL_SOURCE, COL_NAME, COL_COMMAND, COL_ID, COL_COUNT };

static const char *const col_header[COL_COUNT] = {"STATE", "SOURCE", "NAME", "COMMAND", "ID"};
/* The listing member shown in each column; the state comes from "enabled". */
static const char *const col_member[COL_COUNT] = {NULL, "source", "name", "command", "id"};

#define COL_GAP 2
#define ELLIPSIS "\xE2\x80\xA6" /* U+2026 */

struct cell {
    const char *text;
    size_t len;
};

struct row {
    struct cell cells[COL_COUNT];
};

struct out_buf {
    char *data;
    size_t len, cap;
    int failed;
};

int table_width(const char *columns_env, int console_width) {
    if (columns_env && *columns_env) {
        char *end = NULL;
        long n = strtol(columns_env, &end, 10);
        if (*end == '\0' && n > 0 && n <= 100000) return (int)n;
    }
    return console_width > 0 ? console_width : TABLE_DEFAULT_WIDTH;
}

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

static void put(struct out_buf *b, const char *s, size_t n) {
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

static void put_spaces(struct out_buf *b, size_t n) {
    static const char spaces[] = "                                ";
    while (n > 0) {
        size_t k = n < sizeof spaces - 1 ? n : sizeof spaces - 1;
        put(b, spaces, k);
        n -= k;
    }
}

/* A control character (C0, DEL, or C1 encoded as C2 80..9F) would move the
 * cursor or start a terminal sequence: it is shown as '?' instead. */
static int is_control(const unsigned char *p, size_t n) {
    if (n == 1) return p[0] < 0x20 || p[0] == 0x7F;
    return n == 2 && p[0] == 0xC2 && p[1] <= 0x9F;
}

static void put_visible(struct out_buf *b, const char *text, size_t len) {
    const unsigned char *p = (const unsigned char *)text;
    for (size_t i = 0; i < len;) {
        size_t n = seq_len(p + i, len - i);
        if (is_control(p + i, n)) put(b, "?", 1);
        else put(b, text + i, n);
        i += n;
    }
}

/* Writes a cell of `width` code points: cut with an ellipsis when longer,
 * padded with spaces when `pad` is set and it is shorter. */
static void put_cell(struct out_buf *b, struct cell c, size_t width, int pad) {
    size_t points = utf8_points(c.text, c.len);
    if (points > width) {
        size_t keep = width > 0 ? width - 1 : 0;
        put_visible(b, c.text, utf8_prefix(c.text, c.len, keep));
        if (width > 0) put(b, ELLIPSIS, sizeof ELLIPSIS - 1);
        return;
    }
    put_visible(b, c.text, c.len);
    if (pad) put_spaces(b, width - points);
}

static struct cell member_text(yyjson_val *obj, const char *key) {
    yyjson_val *v = yyjson_obj_get(obj, key);
    struct cell c = {"", 0};
    if (yyjson_is_str(v)) {
        c.text = yyjson_get_str(v);
        c.len = yyjson_get_len(v);
    }
    return c;
}

static struct cell state_text(yyjson_val *obj) {
    yyjson_val *v = yyjson_obj_get(obj, "enabled");
    struct cell c = {"?", 1};
    if (yyjson_is_bool(v)) {
        c.text = yyjson_get_bool(v) ? "on" : "off";
        c.len = strlen(c.text);
    }
    return c;
}

static struct row read_row(yyjson_val *obj) {
    struct row r;
    r.cells[COL_STATE] = state_text(obj);
    for (int c = COL_SOURCE; c < COL_COUNT; c++) r.cells[c] = member_text(obj, col_member[c]);
    return r;
}

static struct row header_row(void) {
    struct row r;
    for (int c = 0; c < COL_COUNT; c++) {
        r.cells[c].text = col_header[c];
        r.cells[c].len = strlen(col_header[c]);
    }
    return r;
}

/* Every column as wide as its widest cell; the command column then gives
 * up what the line lacks, down to its minimum. */
static void column_widths(const struct row *rows, size_t count, int width, size_t w[COL_COUNT]) {
    for (int c = 0; c < COL_COUNT; c++) {
        w[c] = 0;
        for (size_t i = 0; i < count; i++) {
            size_t n = utf8_points(rows[i].cells[c].text, rows[i].cells[c].len);
            if (n > w[c]) w[c] = n;
        }
    }
    size_t others = (size_t)COL_GAP * (COL_COUNT - 1);
    for (int c = 0; c < COL_COUNT; c++)
        if (c != COL_COMMAND) others += w[c];
    size_t room = (size_t)width > others ? (size_t)width - others : 0;
    if (room < TABLE_MIN_COMMAND) room = TABLE_MIN_COMMAND;
    if (w[COL_COMMAND] > room) w[COL_COMMAND] = room;
}

static void put_row(struct out_buf *b, const struct row *r, const size_t w[COL_COUNT]) {
    for (int c = 0; c < COL_COUNT; c++) {
        int last = c == COL_COUNT - 1;
        put_cell(b, r->cells[c], w[c], !last);
        if (!last) put_spaces(b, COL_GAP);
    }
    put(b, "\n", 1);
}

char *format_table(const char *json, size_t len, int width) {
    yyjson_doc *doc = yyjson_read(json, len, 0);
    yyjson_val *root = yyjson_doc_get_root(doc);
    if (!yyjson_is_arr(root)) {
        yyjson_doc_free(doc);
        return NULL;
    }
    size_t count = yyjson_arr_size(root) + 1;
    struct row *rows = (struct row *)malloc(count * sizeof *rows);
    struct out_buf b = {NULL, 0, 0, 0};
    if (rows) {
        size_t i = 1, max, idx;
        yyjson_val *item;
        rows[0] = header_row();
        yyjson_arr_foreach(root, idx, max, item) rows[i++] = read_row(item);
        size_t w[COL_COUNT];
        column_widths(rows, count, width, w);
        for (i = 0; i < count; i++) put_row(&b, &rows[i], w);
    }
    free(rows);
    yyjson_doc_free(doc);
    if (!rows || b.failed) {
        free(b.data);
        return NULL;
    }
    return b.data;
}

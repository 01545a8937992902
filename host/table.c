#include "table.h"

#include <stdlib.h>
#include <string.h>

#include <yyjson.h>

#include "text.h"

enum { COL_STATE, COL_FILE, COL_SCOPE, COL_SOURCE, COL_NAME, COL_PUBLISHER, COL_COMMAND, COL_ID, COL_COUNT };

static const char *const col_header[COL_COUNT] = {"STATE",     "FILE",    "SCOPE", "SOURCE", "NAME",
                                                  "PUBLISHER", "COMMAND", "ID"};
/* The listing member shown in each column; state and file are made out of
 * "enabled" and "image", "image_exists". */
static const char *const col_member[COL_COUNT] = {NULL, NULL, "scope", "source", "name", "publisher", "command", "id"};

/* The columns that give way to a narrow terminal, in turn, each down to
 * its minimum: the command first, then the publisher (never below its
 * header). */
static const struct {
    int col;
    size_t min;
} give_way[] = {{COL_COMMAND, TABLE_MIN_COMMAND}, {COL_PUBLISHER, sizeof "PUBLISHER" - 1}};

#define COL_GAP 2
#define ELLIPSIS "\xE2\x80\xA6" /* U+2026 */

struct cell {
    const char *text;
    size_t len;
};

struct row {
    struct cell cells[COL_COUNT];
};

int table_width(const char *columns_env, int console_width) {
    if (columns_env && *columns_env) {
        char *end = NULL;
        long n = strtol(columns_env, &end, 10);
        if (*end == '\0' && n > 0 && n <= 100000) return (int)n;
    }
    return console_width > 0 ? console_width : TABLE_DEFAULT_WIDTH;
}

/* Writes a cell of `width` code points: cut with an ellipsis when longer,
 * padded with spaces when `pad` is set and it is shorter. */
static void put_cell(struct text_buf *b, struct cell c, size_t width, int pad) {
    size_t points = utf8_points(c.text, c.len);
    if (points > width) {
        size_t keep = width > 0 ? width - 1 : 0;
        text_put_visible(b, c.text, utf8_prefix(c.text, c.len, keep));
        if (width > 0) text_put(b, ELLIPSIS, sizeof ELLIPSIS - 1);
        return;
    }
    text_put_visible(b, c.text, c.len);
    if (pad) text_put_spaces(b, width - points);
}

static struct cell literal(const char *text) {
    struct cell c = {text, strlen(text)};
    return c;
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
    if (!yyjson_is_bool(v)) return literal("?");
    return literal(yyjson_get_bool(v) ? "on" : "off");
}

/* Blank while the file is there or nothing is known of it (a listing
 * without the member); else "missing", or "none" when the item names no
 * file at all. */
static struct cell file_text(yyjson_val *obj) {
    yyjson_val *exists = yyjson_obj_get(obj, "image_exists");
    if (!yyjson_is_false(exists)) return literal("");
    return literal(member_text(obj, "image").len > 0 ? "missing" : "none");
}

static struct row read_row(yyjson_val *obj) {
    struct row r;
    for (int c = 0; c < COL_COUNT; c++) {
        if (c == COL_STATE) r.cells[c] = state_text(obj);
        else if (c == COL_FILE) r.cells[c] = file_text(obj);
        else r.cells[c] = member_text(obj, col_member[c]);
    }
    return r;
}

static struct row header_row(void) {
    struct row r;
    for (int c = 0; c < COL_COUNT; c++) r.cells[c] = literal(col_header[c]);
    return r;
}

/* Every column as wide as its widest cell; then the columns that give way
 * give up what the line lacks, in turn, down to their minimum. */
static void column_widths(const struct row *rows, size_t count, int width, size_t w[COL_COUNT]) {
    size_t total = (size_t)COL_GAP * (COL_COUNT - 1);
    for (int c = 0; c < COL_COUNT; c++) {
        w[c] = 0;
        for (size_t i = 0; i < count; i++) {
            size_t n = utf8_points(rows[i].cells[c].text, rows[i].cells[c].len);
            if (n > w[c]) w[c] = n;
        }
        total += w[c];
    }
    for (size_t g = 0; g < sizeof give_way / sizeof give_way[0] && total > (size_t)width; g++) {
        size_t *cw = &w[give_way[g].col];
        if (*cw <= give_way[g].min) continue;
        size_t take = *cw - give_way[g].min;
        if (take > total - (size_t)width) take = total - (size_t)width;
        *cw -= take;
        total -= take;
    }
}

static void put_row(struct text_buf *b, const struct row *r, const size_t w[COL_COUNT]) {
    for (int c = 0; c < COL_COUNT; c++) {
        int last = c == COL_COUNT - 1;
        put_cell(b, r->cells[c], w[c], !last);
        if (!last) text_put_spaces(b, COL_GAP);
    }
    text_put(b, "\n", 1);
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
    struct text_buf b = {NULL, 0, 0, 0};
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

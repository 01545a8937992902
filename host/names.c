#include "names.h"

#include <stdlib.h>
#include <string.h>

#include <yyjson.h>

#include "text.h"

int looks_like_id(const char *arg) {
    const char *p = arg;
    while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')) p++;
    if (p == arg || *p != ':' || p[1] == '\0') return 0;
    for (p++; *p; p++)
        if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F'))) return 0;
    return 1;
}

static int ends_with_folded(const char *text, size_t len, const char *ascii_end) {
    size_t n = strlen(ascii_end);
    return len >= n && utf8_same_folded(text + len - n, n, ascii_end, n);
}

/* The suffix that switching or the file system adds to a name, which
 * people leave off when they remember it: a run value's "disabled", a
 * Startup-folder file's extension (".lnk", ".bat", ...). Its length, or 0. */
static size_t added_suffix(const char *source, const char *name, size_t len) {
    if (strcmp(source, "runkey") == 0) return ends_with_folded(name, len, "disabled") ? 8 : 0;
    if (strcmp(source, "startup") != 0) return 0;
    for (size_t i = len; i-- > 1;)
        if (name[i] == '.') return len - i;
    return 0;
}

static int names_item(yyjson_val *item, const char *word, size_t word_len) {
    const char *name = yyjson_get_str(yyjson_obj_get(item, "name"));
    const char *source = yyjson_get_str(yyjson_obj_get(item, "source"));
    if (!name) return 0;
    size_t len = yyjson_get_len(yyjson_obj_get(item, "name"));
    if (utf8_same_folded(name, len, word, word_len)) return 1;
    size_t suffix = source ? added_suffix(source, name, len) : 0;
    return suffix && utf8_same_folded(name, len - suffix, word, word_len);
}

static void put_candidate(struct text_buf *b, yyjson_val *item) {
    yyjson_val *id = yyjson_obj_get(item, "id");
    yyjson_val *location = yyjson_obj_get(item, "location");
    yyjson_val *name = yyjson_obj_get(item, "name");
    size_t location_len = yyjson_get_len(location);
    text_put(b, "  ", 2);
    text_put_visible(b, yyjson_get_str(id), yyjson_get_len(id));
    text_put(b, "  ", 2);
    if (yyjson_is_str(location) && location_len > 0) {
        text_put_visible(b, yyjson_get_str(location), location_len);
        if (yyjson_get_str(location)[location_len - 1] != '\\') text_put(b, "\\", 1);
    }
    text_put_visible(b, yyjson_get_str(name), yyjson_get_len(name));
    text_put(b, "\n", 1);
}

int find_named(const char *json, size_t len, const char *word, struct named *found) {
    memset(found, 0, sizeof *found);
    yyjson_doc *doc = yyjson_read(json, len, 0);
    yyjson_val *root = yyjson_doc_get_root(doc);
    if (!yyjson_is_arr(root)) {
        yyjson_doc_free(doc);
        return 0;
    }
    struct text_buf lines = {NULL, 0, 0, 0};
    size_t idx, max, word_len = strlen(word);
    yyjson_val *item;
    yyjson_arr_foreach(root, idx, max, item) {
        yyjson_val *id = yyjson_obj_get(item, "id");
        if (!yyjson_is_str(id) || !names_item(item, word, word_len)) continue;
        if (found->count++ == 0) found->id = strdup(yyjson_get_str(id));
        put_candidate(&lines, item);
    }
    yyjson_doc_free(doc);
    found->candidates = lines.data;
    if (lines.failed || (found->count > 0 && !found->id)) {
        named_free(found);
        return 0;
    }
    return 1;
}

void named_free(struct named *found) {
    free(found->id);
    free(found->candidates);
    memset(found, 0, sizeof *found);
}

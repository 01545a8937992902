#include "entry_writer.h"

#include <yyjson.h>

#include <cstdlib>
#include <cstring>

bool listing_begin(listing *list) {
    list->doc = yyjson_mut_doc_new(nullptr);
    list->root = list->doc ? yyjson_mut_arr(list->doc) : nullptr;
    list->values = list->text_bytes = 0;
    if (list->root) yyjson_mut_doc_set_root(list->doc, list->root);
    return list->doc != nullptr;
}

// The writer sizes its buffer at some 18 bytes per document value, so the
// text sits in a block of up to about twice its length; a host may keep
// the listing for long, so the spare room goes back. A failed shrink keeps
// the text as written.
static char *fit_to_length(char *text) {
    if (!text) return nullptr;
    char *fitted = (char *)realloc(text, strlen(text) + 1);
    return fitted ? fitted : text;
}

char *listing_finish(listing *list) {
    char *text = yyjson_mut_write(list->doc, YYJSON_WRITE_NOFLAG, nullptr);
    yyjson_mut_doc_free(list->doc);
    *list = {nullptr, nullptr, 0, 0, nullptr};
    return fit_to_length(text);
}

static void add_text(listing *list, yyjson_mut_val *obj, const char *key, const char *value) {
    if (!value) return;
    yyjson_mut_obj_add_strcpy(list->doc, obj, key, value);
    list->values += 2;
    list->text_bytes += strlen(value) + 1;
}

// Left alone, the pools double, so up to half of each can sit unused while
// the text is written, at the listing's peak. A next chunk of a quarter of
// what the entries already hold keeps the spare room within a quarter.
static void size_next_chunks(listing *list) {
    const size_t least_values = 15, least_bytes = 240;  // the pools' own first chunks
    size_t values = list->values / 4, bytes = list->text_bytes / 4;
    yyjson_mut_doc_set_val_pool_size(list->doc, values > least_values ? values : least_values);
    yyjson_mut_doc_set_str_pool_size(list->doc, bytes > least_bytes ? bytes : least_bytes);
}

void append_entry(listing *list, const startup_entry *entry) {
    yyjson_mut_val *obj = yyjson_mut_obj(list->doc);
    if (!obj) return;
    add_text(list, obj, "id", entry->id);
    add_text(list, obj, "source", entry->source);
    add_text(list, obj, "name", entry->name);
    add_text(list, obj, "command", entry->command);
    yyjson_mut_obj_add_bool(list->doc, obj, "enabled", entry->enabled);
    add_text(list, obj, "location", entry->location ? entry->location : "");
    add_text(list, obj, "scope", entry->scope ? entry->scope : "");
    add_text(list, obj, "image", entry->image ? entry->image : "");
    yyjson_mut_obj_add_bool(list->doc, obj, "image_exists", entry->image_exists);
    add_text(list, obj, "publisher", entry->publisher ? entry->publisher : "");
    add_text(list, obj, "description", entry->description ? entry->description : "");
    list->values += 5;
    if (list->root) yyjson_mut_arr_append(list->root, obj);
    size_next_chunks(list);
}

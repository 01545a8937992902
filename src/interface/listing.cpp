#include "listing.h"

#include <yyjson.h>

#include <cstdlib>
#include <cstring>

#include "../platform/com_policy.h"
#include "../platform/text.h"
#include "../providers/providers.h"
#include "last_error.h"

bool listing_begin(listing *list) {
    list->doc = yyjson_mut_doc_new(nullptr);
    list->root = list->doc ? yyjson_mut_arr(list->doc) : nullptr;
    if (list->root) yyjson_mut_doc_set_root(list->doc, list->root);
    return list->doc != nullptr;
}

// The writer sizes its buffer from the document's value capacity, so the
// text can sit in a block of twice its length or more; a host may keep the
// listing for long, so the spare room goes back. A failed shrink keeps it.
static char *fit_to_length(char *text) {
    if (!text) return nullptr;
    char *fitted = (char *)realloc(text, strlen(text) + 1);
    return fitted ? fitted : text;
}

char *listing_finish(listing *list) {
    char *text = yyjson_mut_write(list->doc, YYJSON_WRITE_NOFLAG, nullptr);
    yyjson_mut_doc_free(list->doc);
    *list = {nullptr, nullptr};
    return fit_to_length(text);
}

char *collect_entries() {
    listing list;
    if (!listing_begin(&list)) {
        set_last_error("OOM creating json doc");
        return dup_string("[]");
    }
    list_run_entries(&list);
    list_startup_entries(&list);
    list_task_entries(&list);
    com_leave();

    char *text = listing_finish(&list);
    return text ? text : dup_string("[]");
}

static void add_text(yyjson_mut_doc *doc, yyjson_mut_val *obj, const char *key, const char *value) {
    if (value) yyjson_mut_obj_add_strcpy(doc, obj, key, value);
}

void append_entry(listing *list, const startup_entry *entry) {
    yyjson_mut_val *obj = yyjson_mut_obj(list->doc);
    if (!obj) return;
    add_text(list->doc, obj, "id", entry->id);
    add_text(list->doc, obj, "source", entry->source);
    add_text(list->doc, obj, "name", entry->name);
    add_text(list->doc, obj, "command", entry->command);
    yyjson_mut_obj_add_bool(list->doc, obj, "enabled", entry->enabled);
    if (list->root) yyjson_mut_arr_append(list->root, obj);
}

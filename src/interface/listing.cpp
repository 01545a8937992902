#include "listing.h"

#include <yyjson.h>

#include "../platform/com_policy.h"
#include "../platform/text.h"
#include "../providers/providers.h"
#include "last_error.h"

char *collect_entries() {
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    if (!doc) {
        set_last_error("OOM creating json doc");
        return dup_string("[]");
    }
    listing list = {doc, yyjson_mut_arr(doc)};
    if (list.root) yyjson_mut_doc_set_root(doc, list.root);

    list_run_entries(&list);
    list_startup_entries(&list);
    list_task_entries(&list);
    com_leave();

    char *text = yyjson_mut_write(doc, YYJSON_WRITE_NOFLAG, nullptr);
    yyjson_mut_doc_free(doc);
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

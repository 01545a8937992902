// Builds a document as collect_entries does, appends `entries` and writes
// it; `on_failure` stands for a write that gives no text.
#pragma once

#include <yyjson.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "interface/listing.h"

inline std::string written_listing(const std::vector<startup_entry> &entries, const char *on_failure) {
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    listing list = {doc, yyjson_mut_arr(doc)};
    yyjson_mut_doc_set_root(doc, list.root);
    for (const startup_entry &e : entries) append_entry(&list, &e);
    char *text = yyjson_mut_write(doc, YYJSON_WRITE_NOFLAG, nullptr);
    yyjson_mut_doc_free(doc);
    std::string s = text ? text : on_failure;
    free(text);
    return s;
}

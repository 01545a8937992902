// Builds a document as collect_entries does, appends `entries` and writes
// it; `on_failure` stands for a write that gives no text.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "interface/listing.h"

inline std::string written_listing(const std::vector<startup_entry> &entries, const char *on_failure) {
    listing list;
    listing_begin(&list);
    for (const startup_entry &e : entries) append_entry(&list, &e);
    char *text = listing_finish(&list);
    std::string s = text ? text : on_failure;
    free(text);
    return s;
}

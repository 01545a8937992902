// The entry writer: the listing's JSON document, which every provider
// appends its items to and the interface turns into the listing text. It
// lives below both so that the layers only point down.
#pragma once

#include <cstddef>

#define ENTRY_ID_SIZE 64  // an identifier's buffer: "source:" and 16 hex digits

struct yyjson_mut_doc;
struct yyjson_mut_val;
struct details_cache;  // the providers' images read so far; opaque here

// One listed item as a provider hands it over. Texts are copied into the
// document, so the provider may free them as soon as append_entry returns.
struct startup_entry {
    const char *id;
    const char *source;
    const char *name;
    const char *command;  // null only when memory ran out
    bool enabled;
    // What the item is: where it is kept, whether the user's or the
    // machine's, the file it starts and that file's version texts. A null
    // text is written as "": these members are always there.
    const char *location = nullptr;
    const char *scope = nullptr;  // "user" or "machine"
    const char *image = nullptr;
    bool image_exists = false;
    const char *publisher = nullptr;
    const char *description = nullptr;
};

// Where providers append their items.
struct listing {
    yyjson_mut_doc *doc;
    yyjson_mut_val *root;  // null when the root array could not be made
    size_t values = 0;      // document values and text bytes the entries
    size_t text_bytes = 0;  // hold so far, which size the pools' next chunks
    details_cache *details = nullptr;  // null: each item's image is read alone
};

// Creates the document with its root array (root left null when the array
// cannot be made); false, with nothing made, when the document cannot be.
bool listing_begin(listing *list);

// Writes the document as compact JSON and frees it, whether or not the
// write succeeded. The text is new heap memory held in a block of its own
// length; null when the write failed (text that is not UTF-8, no memory).
char *listing_finish(listing *list);

// Adds one object at the end of the root array; failures drop the entry
// or a member silently.
void append_entry(listing *list, const startup_entry *entry);

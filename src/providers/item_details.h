// What an item starts and who made it: the image (the program file, or
// the DLL or script a host program runs), whether it exists, and its
// version resource's company and description. Made out from a run value's
// command line, or from a program given apart from its arguments (a
// shortcut's target, a task's action). Nothing here fails an item: what
// cannot be made out is "" or false.
#pragma once

struct details_cache;

// One listing's images, each read once (compared without regard to case),
// and the folders the search looks in, asked for once. Null when memory
// ran out; every call below accepts null and then reads alone.
details_cache *details_cache_new();
void details_cache_free(details_cache *cache);

struct item_details {
    char *image = nullptr;              // UTF-8; null: ""
    bool image_exists = false;
    const char *publisher = "";         // held by the cache, or below
    const char *description = "";
    char *held_publisher = nullptr;     // when the cache could not keep them
    char *held_description = nullptr;
    details_cache *own = nullptr;       // a cache of this item alone
    item_details() = default;
    item_details(const item_details &) = delete;
    item_details &operator=(const item_details &) = delete;
    ~item_details();
};

// A command line, split as Windows splits it.
void describe_command(details_cache *cache, const char16_t *command, item_details *out);
// A program, possibly quoted, and its arguments.
void describe_program(details_cache *cache, const char16_t *program, const char16_t *arguments,
                      item_details *out);
// A file that Windows opens itself: its path, exactly as given, is the image.
void describe_file(details_cache *cache, const char16_t *path, item_details *out);

/*
 * Items as people name them on the command line: by identifier, or by the
 * name a listing shows for them.
 */
#ifndef QUORVEL_HOST_NAMES_H
#define QUORVEL_HOST_NAMES_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Whether `arg` has the form of an identifier: ASCII letters, ':' and hex
 * digits (`runkey:c266af6b6c853c45`). */
int looks_like_id(const char *arg);

struct named {
    size_t count;     /* listed items that the word names */
    char *id;         /* the first one's identifier; null when none */
    char *candidates; /* a line for each: two spaces, the identifier, two
                         spaces, the location and name joined by '\' */
};

/* Finds the items of `json` (a listing) that `word` names: their "name"
 * equals it without regard to case (see utf8_same_folded), or does once a
 * run value's "disabled" or a Startup-folder file's extension (".lnk",
 * ".bat", ...) is left off its end.
 * Items without an identifier are passed over. Returns 0, with nothing to
 * free, when `json` is not a listing or memory ran out. */
int find_named(const char *json, size_t len, const char *word, struct named *found);

void named_free(struct named *found);

#ifdef __cplusplus
}
#endif

#endif

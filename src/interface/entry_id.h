// Entry identifiers ("source:" and 16 lower-case hex digits of a 64-bit
// hash of a provider's key text) and the dispatch of a toggle request.
#pragma once

#include <cstdint>

#define ENTRY_ID_SIZE 64

uint64_t fnv1a64(const char *text);
// fnv1a64 of the text with ASCII A-Z folded to lower case; 0 for null or
// when the working copy cannot be allocated.
uint64_t path_hash(const char *text);

int has_source_prefix(const char *id, const char *source);
int parse_entry_id(const char *id, const char *source, uint64_t *value);

// Validates `id` and hands it to its provider; 1 on success, 0 with a message.
int set_entry_enabled(const char *id, int enabled);

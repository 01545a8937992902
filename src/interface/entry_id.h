// Entry identifiers ("source:" and 16 lower-case hex digits of a 64-bit
// hash of a provider's key text) and the dispatch of a toggle request.
#pragma once

#include <cstdint>

#include "../platform/entry_writer.h"
#include "../platform/text_hash.h"

int has_source_prefix(const char *id, const char *source);
int parse_entry_id(const char *id, const char *source, uint64_t *value);

// Validates `id` and hands it to its provider; 1 on success, 0 with a message.
int set_entry_enabled(const char *id, int enabled);

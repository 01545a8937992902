// The 64-bit hashes that identifiers are made of.
#pragma once

#include <cstdint>

#define FNV1A64_BASIS 0xcbf29ce484222325ull

uint64_t fnv1a64(const char *text);
// Continues an FNV-1a hash over more text, so that a long key text can be
// hashed in pieces without a buffer of its size.
uint64_t fnv1a64_more(uint64_t hash, const char *text);
// fnv1a64 of the text with ASCII A-Z folded to lower case; 0 for null or
// when the working copy cannot be allocated.
uint64_t path_hash(const char *text);

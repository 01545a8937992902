#include "text_hash.h"

#include <cstdlib>
#include <cstring>

uint64_t fnv1a64_more(uint64_t hash, const char *text) {
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        hash ^= *p;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

uint64_t fnv1a64(const char *text) { return text ? fnv1a64_more(FNV1A64_BASIS, text) : 0; }

uint64_t path_hash(const char *text) {
    if (!text) return 0;
    size_t n = strlen(text) + 1;
    char *copy = (char *)malloc(n);
    if (!copy) return 0;
    memcpy(copy, text, n);
    for (char *p = copy; *p; p++)
        if (*p >= 'A' && *p <= 'Z') *p = (char)(*p + 0x20);
    uint64_t hash = fnv1a64(copy);
    free(copy);
    return hash;
}

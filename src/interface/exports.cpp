// The four exported functions: thin doors onto the listing and the dispatch.
#include <cstdlib>

#include "../../include/quorvel.h"
#include "../platform/last_error.h"
#include "../platform/text.h"
#include "entry_id.h"
#include "listing.h"

extern "C" {

QUORVEL_API char *quorvel_list(void) {
    char *text = collect_entries();
    if (text) return text;
    set_last_error("provider collect failed");
    return dup_string("[]");
}

QUORVEL_API int quorvel_set_enabled(const char *id, int enabled) {
    return set_entry_enabled(id, enabled ? 1 : 0);
}

QUORVEL_API const char *quorvel_last_error(void) { return last_error_text(); }

QUORVEL_API void quorvel_free_string(char *text) { free(text); }
}

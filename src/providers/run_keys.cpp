// Placeholder until the provider is built: an empty machine.
#include "../interface/last_error.h"
#include "providers.h"

void list_run_entries(listing *) {}

int set_run_entry_enabled(uint64_t, int) {
    set_last_error("runkey: entry no longer exists");
    return 0;
}

// The listing: every provider's items in one JSON text, in a fixed order.
#include "listing.h"

#include "../platform/com_policy.h"
#include "../platform/last_error.h"
#include "../platform/text.h"
#include "../providers/item_details.h"
#include "../providers/providers.h"

char *collect_entries() {
    listing list;
    if (!listing_begin(&list)) {
        set_last_error("OOM creating json doc");
        return dup_string("[]");
    }
    // One cache for the whole listing, so each image is read once.
    list.details = details_cache_new();
    list_run_entries(&list);
    list_policy_entries(&list);
    list_startup_entries(&list);
    list_task_entries(&list);
    list_package_entries(&list);
    com_leave();
    details_cache_free(list.details);

    char *text = listing_finish(&list);
    return text ? text : dup_string("[]");
}

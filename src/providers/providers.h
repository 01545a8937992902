// The providers: each appends its items to a listing and, but for the
// policy values, switches one item found again by its identifier's hash.
#pragma once

#include <cstdint>

struct listing;

void list_run_entries(listing *list);
int set_run_entry_enabled(uint64_t key, int enabled);

// Never switched: the dispatch refuses them.
void list_policy_entries(listing *list);

void list_startup_entries(listing *list);
int set_startup_entry_enabled(uint64_t key, int enabled);

void list_task_entries(listing *list);
int set_task_entry_enabled(uint64_t key, int enabled);

void list_package_entries(listing *list);
int set_package_entry_enabled(uint64_t key, int enabled);

// The listing document: one JSON array with one object per autostart item,
// written by the entry writer below the providers.
#pragma once

#include "../platform/entry_writer.h"

// The listing text (new heap memory), or null when memory is exhausted.
char *collect_entries();

// A package's manifest read for its startup tasks. The XML is parsed by
// pugixml, which never loads external entities and expands no entity
// beyond XML's five predefined ones and character references: a document
// type declaration is skipped, not obeyed, so a hostile manifest can
// neither reach other files nor blow up. Texts are UTF-8 and live as long
// as the call.
#pragma once

#include <cstddef>

// The package's own texts, from its Properties ("" when missing).
struct manifest_properties {
    const char *display_name;
    const char *publisher;
};

// One declared startup task: an Extension of Category "windows.startupTask"
// (of whatever namespace) with its StartupTask element.
struct manifest_task {
    const char *task_id;       // never empty
    const char *display_name;  // "" when missing
    const char *executable;    // the Extension's, else its Application's; never empty
    bool enabled;              // Enabled="true" (or "1")
};

// Largest manifest read; a larger one contributes nothing.
#define PACKAGE_MANIFEST_MAX_BYTES (4u << 20)

typedef void (*manifest_task_visitor)(void *context, const manifest_properties *properties,
                                      const manifest_task *task);

// Parses `size` bytes (any encoding XML allows; the buffer is used in
// place and changed) and calls `visit` with each task in document order.
// Null on success, else why the manifest was refused (then no task was
// visited). Tasks without an identifier or a program are passed over.
const char *read_package_manifest(char *bytes, size_t size, manifest_task_visitor visit, void *context);

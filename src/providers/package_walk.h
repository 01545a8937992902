// The current user's registered packages and the startup tasks their
// manifests declare, walked in the registry's order of packages and the
// manifest's order of tasks. Listing and switching walk alike.
#pragma once

#include "package_manifest.h"

#define PACKAGE_NAME_SIZE 256  // a registry key name: up to 255 units

// Where the packages and their tasks' states are kept (under HKCU).
#define PACKAGE_APPMODEL_KEY "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel"

struct package_ref {
    const char *full_name;    // Name_Version_Architecture_ResourceId_PublisherId
    const char *family_name;  // Name_PublisherId
    const char16_t *folder;   // PackageRootFolder
};

typedef void (*package_task_visitor)(void *context, const package_ref *package,
                                     const manifest_properties *properties, const manifest_task *task);

// Calls `visit` with each task of each package. A package that cannot be
// read contributes nothing; why goes to the last-error record. Returns the
// result of opening the packages' key (0: it was walked).
unsigned walk_package_tasks(package_task_visitor visit, void *context);

// The names are plain ASCII without backslashes, as Windows makes them;
// anything else cannot name a registry key of ours and is passed over.
bool is_plain_name(const char *text);

// Finds each registered package's folder in the registry and reads its
// manifest through the platform. A full name must have its five fields; a
// folder or manifest path that would not fit is skipped, never cut.
#include "package_walk.h"

#include <cstdlib>
#include <cstring>

#include "../platform/last_error.h"
#include "../platform/platform_files.h"
#include "../platform/platform_packages.h"
#include "../platform/platform_registry.h"
#include "../platform/text.h"

namespace {

const char packages_key[] = PACKAGE_APPMODEL_KEY "\\Repository\\Packages";

struct key_holder {
    plat_hkey key = nullptr;
    ~key_holder() {
        if (key) plat_reg_close_key(key);
    }
};

struct file_holder {
    plat_file file = nullptr;
    ~file_holder() {
        if (file) plat_close_handle(file);
    }
};

// The family name out of a full name: its first and last fields.
bool family_of(const char *full, char *family) {
    const char *first = strchr(full, '_');
    const char *last = strrchr(full, '_');
    int fields = 1;
    for (const char *p = full; *p; p++) fields += *p == '_';
    if (fields != 5 || first == full || !last[1]) return false;
    format_narrow(family, PACKAGE_NAME_SIZE, "%.*s_%s", (int)(first - full), full, last + 1);
    return true;
}

// The PackageRootFolder value, terminated; false when missing, not text
// or too long for a path.
bool read_folder(plat_hkey packages, const char *full, char16_t *folder) {
    key_holder key;
    if (plat_reg_open_key_ex_a(packages, full, 0, PLAT_KEY_QUERY_VALUE, &key.key) != PLAT_ERROR_SUCCESS) return false;
    uint32_t type = 0, bytes = (WIDE_PATH_UNITS - 1) * sizeof(char16_t);
    if (plat_reg_query_value_ex_w(key.key, u"PackageRootFolder", &type, (uint8_t *)folder, &bytes) !=
        PLAT_ERROR_SUCCESS)
        return false;
    if (type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ) return false;
    folder[bytes / sizeof(char16_t)] = u'\0';
    return folder[0] != u'\0';
}

struct file_bytes {
    char *data = nullptr;
    size_t size = 0;
    ~file_bytes() { free(data); }
};

// The whole manifest, or null (nothing read) with why.
const char *read_manifest(const char16_t *path, file_bytes *out, plat_error *error) {
    file_holder f;
    f.file = plat_create_file(path, PLAT_GENERIC_READ, PLAT_FILE_SHARE_READ, PLAT_OPEN_EXISTING,
                              PLAT_FILE_ATTRIBUTE_NORMAL);
    if (!f.file) {
        *error = plat_get_last_error();
        return "cannot open the manifest";
    }
    uint64_t size = 0;
    if (!plat_get_file_size_ex(f.file, &size)) {
        *error = plat_get_last_error();
        return "cannot read the manifest's size";
    }
    if (size > PACKAGE_MANIFEST_MAX_BYTES) return "manifest too large";
    out->data = (char *)malloc(size ? (size_t)size : 1);
    if (!out->data) return "out of memory";
    while (out->size < size) {
        uint32_t got = 0;
        if (!plat_read_file(f.file, out->data + out->size, (uint32_t)(size - out->size), &got)) {
            *error = plat_get_last_error();
            return "cannot read the manifest";
        }
        if (!got) break;  // shorter than it said: parse what is there
        out->size += got;
    }
    return nullptr;
}

struct package_walk {
    package_task_visitor visit;
    void *context;
    const package_ref *package;
};

void visit_task(void *context, const manifest_properties *properties, const manifest_task *task) {
    package_walk *walk = (package_walk *)context;
    if (is_plain_name(task->task_id)) walk->visit(walk->context, walk->package, properties, task);
}

void walk_package(plat_hkey packages, const char *full, package_task_visitor visit, void *context) {
    char family[PACKAGE_NAME_SIZE];
    if (!is_plain_name(full) || !family_of(full, family)) return;
    char16_t *folder = (char16_t *)malloc(WIDE_PATH_UNITS * sizeof(char16_t));
    char16_t *manifest = (char16_t *)malloc(WIDE_PATH_UNITS * sizeof(char16_t));
    if (folder && manifest && read_folder(packages, full, folder) &&
        format_wide(manifest, u"%s\\AppxManifest.xml", folder) >= 0) {
        file_bytes bytes;
        plat_error error = 0;
        const char *why = read_manifest(manifest, &bytes, &error);
        package_ref package = {full, family, folder};
        package_walk walk = {visit, context, &package};
        if (!why) why = read_package_manifest(bytes.data, bytes.size, visit_task, &walk);
        if (why && error)
            set_last_error("package: '%s': %s (%u)", full, why, (unsigned)error);
        else if (why)
            set_last_error("package: '%s': %s", full, why);
    }
    free(folder);
    free(manifest);
}

}  // namespace

bool is_plain_name(const char *text) {
    size_t n = 0;
    for (; text[n]; n++)
        if ((unsigned char)text[n] <= 0x20 || (unsigned char)text[n] >= 0x7F || text[n] == '\\') return false;
    return n > 0 && n < PACKAGE_NAME_SIZE;
}

unsigned walk_package_tasks(package_task_visitor visit, void *context) {
    key_holder packages;
    plat_error e = plat_reg_open_key_ex_a(PLAT_HKEY_CURRENT_USER, packages_key, 0, PLAT_KEY_READ, &packages.key);
    if (e != PLAT_ERROR_SUCCESS) return e;
    for (uint32_t index = 0;; index++) {
        char16_t name[PACKAGE_NAME_SIZE];
        uint32_t units = PACKAGE_NAME_SIZE;
        e = plat_reg_enum_key_ex_w(packages.key, index, name, &units);
        if (e == PLAT_ERROR_MORE_DATA) continue;  // no full name is that long
        if (e != PLAT_ERROR_SUCCESS) break;
        name[units < PACKAGE_NAME_SIZE ? units : PACKAGE_NAME_SIZE - 1] = u'\0';
        utf8_text<PACKAGE_NAME_SIZE * 3> full;
        if (utf16_to_utf8(name, &full)) walk_package(packages.key, full.text, visit, context);
    }
    return PLAT_ERROR_SUCCESS;
}

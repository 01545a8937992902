#include "entry_id.h"

#include <cstdlib>
#include <cstring>

#include "../platform/last_error.h"
#include "../providers/providers.h"

int has_source_prefix(const char *id, const char *source) {
    if (!id) return 0;
    size_t n = strlen(source);
    // strncmp stops at the end of `id`, so a short id is never overread.
    return strncmp(id, source, n) == 0 && id[n] == ':';
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int parse_entry_id(const char *id, const char *source, uint64_t *value) {
    if (!id || !value) return 0;
    if (!has_source_prefix(id, source)) return 0;
    const char *digits = id + strlen(source) + 1;
    uint64_t v = 0;
    for (int i = 0; i < 16; i++) {
        int d = hex_digit(digits[i]);  // the NUL of a short id fails here
        if (d < 0) return 0;
        v = (v << 4) | (uint64_t)d;
    }
    if (digits[16] != '\0') return 0;
    *value = v;
    return 1;
}

namespace {
struct route {
    const char *source;
    int (*toggle)(uint64_t key, int enabled);
};
const route routes[] = {
    {"runkey", set_run_entry_enabled},
    {"startup", set_startup_entry_enabled},
    {"task", set_task_entry_enabled},
    {"package", set_package_entry_enabled},
};
}  // namespace

int set_entry_enabled(const char *id, int enabled) {
    if (!id) {
        set_last_error("null id");
        return 0;
    }
    if (has_source_prefix(id, "runonce")) {
        set_last_error("runonce entries are one-shot and cannot be toggled");
        return 0;
    }
    if (has_source_prefix(id, "policy")) {
        set_last_error("policy entries are set by an administrator's policy and cannot be toggled");
        return 0;
    }
    for (const route &r : routes) {
        if (!has_source_prefix(id, r.source)) continue;
        uint64_t key = 0;
        if (!parse_entry_id(id, r.source, &key)) {
            set_last_error("bad id format");
            return 0;
        }
        return r.toggle(key, enabled);
    }
    set_last_error("unknown entry source in id '%s'", id);
    return 0;
}

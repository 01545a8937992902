// Making out an item's image and reading its version texts (see
// item_details.h). Every text is UTF-16 until it is handed over as UTF-8.
#include "item_details.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../platform/platform_details.h"
#include "../platform/platform_files.h"
#include "../platform/text.h"

namespace {

// ---- wide text ----

// A heap text that frees itself; null when memory ran out.
struct wide {
    char16_t *p = nullptr;
    wide() = default;
    explicit wide(char16_t *text) : p(text) {}
    wide(const wide &) = delete;
    wide &operator=(const wide &) = delete;
    ~wide() { free(p); }
    void reset(char16_t *text) {
        free(p);
        p = text;
    }
    char16_t *release() {
        char16_t *t = p;
        p = nullptr;
        return t;
    }
};

size_t units_of(const char16_t *s) { return s ? wide_length(s) : 0; }

// The pieces one after another, terminated; null when memory ran out.
char16_t *join(const char16_t *a, size_t na, const char16_t *b = nullptr, size_t nb = 0,
               const char16_t *c = nullptr, size_t nc = 0) {
    char16_t *out = (char16_t *)malloc((na + nb + nc + 1) * sizeof(char16_t));
    if (!out) return nullptr;
    if (na) memcpy(out, a, na * sizeof(char16_t));
    if (nb) memcpy(out + na, b, nb * sizeof(char16_t));
    if (nc) memcpy(out + na + nb, c, nc * sizeof(char16_t));
    out[na + nb + nc] = 0;
    return out;
}

char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? (char16_t)(c + 0x20) : c; }
bool is_space(char16_t c) { return c == u' ' || c == u'\t'; }
bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }
bool is_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool same_folded(const char16_t *a, const char16_t *b, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

bool ends_with(const char16_t *s, size_t n, const char16_t *tail) {
    size_t t = wide_length(tail);
    return n >= t && same_folded(s + n - t, tail, t);
}

// A drive's root or a UNC share: what names a file wherever the host runs.
bool is_absolute(const char16_t *p) {
    return (is_letter(p[0]) && p[1] == u':' && is_separator(p[2])) || (p[0] == u'\\' && p[1] == u'\\');
}

// No drive and no folder: a name the search path resolves.
bool is_bare(const char16_t *p, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (p[i] == u':' || is_separator(p[i])) return false;
    return n > 0;
}

size_t name_start(const char16_t *p, size_t n) {
    while (n > 0 && !is_separator(p[n - 1])) n--;
    return n;
}

bool has_extension(const char16_t *p, size_t n) {
    for (size_t i = name_start(p, n); i < n; i++)
        if (p[i] == u'.') return true;
    return false;
}

// ---- the cache ----

struct image_record {
    char16_t *key = nullptr;  // folded; null: a free slot
    size_t units = 0;
    uint64_t hash = 0;
    bool exists = false;
    char *publisher = nullptr;
    char *description = nullptr;
};

void free_record(image_record *r) {
    free(r->key);
    free(r->publisher);
    free(r->description);
    *r = image_record();
}

}  // namespace

struct details_cache {
    bool ready = false;
    char16_t *system = nullptr;  // "" when it could not be had
    char16_t *windows = nullptr;
    char16_t *path = nullptr;    // the PATH variable
    bool wow64 = false;
    image_record *slots = nullptr;
    size_t capacity = 0, count = 0;
};

namespace {

// ---- folders and the environment ----

#define FIXED_UNITS 260

// A text asked for with a fixed buffer, then one of the size it needs.
// `found` is the call's answer for a text that fitted: its length, or the
// units it needs with the terminator when it did not fit.
template <typename Ask>
char16_t *ask_text(Ask ask) {
    char16_t fixed[FIXED_UNITS];
    uint32_t got = ask(fixed, FIXED_UNITS);
    if (got == 0) return join(nullptr, 0);
    if (got < FIXED_UNITS) return join(fixed, got);
    char16_t *heap = (char16_t *)malloc((size_t)got * sizeof(char16_t));
    if (!heap) return nullptr;
    uint32_t again = ask(heap, got);
    if (again == 0 || again >= got) heap[0] = 0;  // changed meanwhile: leave it out
    return heap;
}

void make_ready(details_cache *c) {
    if (c->ready) return;
    c->ready = true;
    c->system = ask_text([](char16_t *b, uint32_t n) { return plat_get_system_directory(b, n); });
    c->windows = ask_text([](char16_t *b, uint32_t n) { return plat_get_windows_directory(b, n); });
    c->path = ask_text([](char16_t *b, uint32_t n) { return plat_get_environment_variable(u"PATH", b, n); });
    int wow64 = 0;
    c->wow64 = plat_is_wow64_process(&wow64) && wow64;
}

// The text with its %variables% expanded; as written when that fails.
char16_t *expand(const char16_t *text) {
    char16_t fixed[FIXED_UNITS * 4];
    uint32_t got = plat_expand_environment_strings(text, fixed, FIXED_UNITS * 4);
    if (got == 0) return join(text, units_of(text));
    if (got <= FIXED_UNITS * 4) return join(fixed, got - 1);
    wide heap((char16_t *)malloc((size_t)got * sizeof(char16_t)));
    if (!heap.p) return nullptr;
    uint32_t again = plat_expand_environment_strings(text, heap.p, got);
    if (again == 0 || again > got) return join(text, units_of(text));
    return heap.release();
}

// The path the checks use: a 32-bit process on 64-bit Windows would see
// the 32-bit system folder in place of the native one, so that folder is
// reached through Sysnative.
char16_t *checked_path(const details_cache *c, const char16_t *path, size_t n) {
    size_t s = units_of(c->system);
    if (c->wow64 && s && n > s && is_separator(path[s]) && same_folded(path, c->system, s) && units_of(c->windows))
        return join(c->windows, units_of(c->windows), u"\\Sysnative", 10, path + s, n - s);
    return join(path, n);
}

bool is_file(const details_cache *c, const char16_t *path, size_t n) {
    wide checked(checked_path(c, path, n));
    if (!checked.p) return false;
    uint32_t attributes = plat_get_file_attributes(checked.p);
    return attributes != PLAT_INVALID_FILE_ATTRIBUTES && !(attributes & PLAT_FILE_ATTRIBUTE_DIRECTORY);
}

// `folder`\`name`, with `ext` when the name has no extension, when that
// is a file; else null.
char16_t *file_in(const details_cache *c, const char16_t *folder, size_t nf, const char16_t *name, size_t n,
                  const char16_t *ext) {
    while (nf > 0 && is_separator(folder[nf - 1])) nf--;
    if (nf == 0) return nullptr;
    wide base(join(folder, nf, u"\\", 1, name, n));
    if (!base.p) return nullptr;
    size_t nb = nf + 1 + n;
    if (has_extension(name, n)) return is_file(c, base.p, nb) ? base.release() : nullptr;
    wide with(join(base.p, nb, ext, units_of(ext)));
    return with.p && is_file(c, with.p, nb + units_of(ext)) ? with.release() : nullptr;
}

// A bare name searched in the system folder, the Windows folder and the
// folders of PATH, nowhere else: never the host's own folders. Null when
// it is found nowhere.
char16_t *search(const details_cache *c, const char16_t *name, size_t n, const char16_t *ext) {
    char16_t *found = file_in(c, c->system, units_of(c->system), name, n, ext);
    if (!found) found = file_in(c, c->windows, units_of(c->windows), name, n, ext);
    for (const char16_t *p = c->path; !found && p && *p;) {
        const char16_t *end = p;
        while (*end && *end != u';') end++;
        const char16_t *a = p, *b = end;
        if (b - a >= 2 && *a == u'"' && b[-1] == u'"') a++, b--;
        // A relative entry would depend on the host's current folder.
        if (b > a && is_absolute(a)) found = file_in(c, a, (size_t)(b - a), name, n, ext);
        p = *end ? end + 1 : end;
    }
    return found;
}

// The program a text names: a bare name as the search finds it, else the
// text as written.
char16_t *resolve(const details_cache *c, const char16_t *text, size_t n, const char16_t *ext) {
    if (is_bare(text, n)) {
        char16_t *found = search(c, text, n, ext);
        if (found) return found;
    }
    return join(text, n);
}

// The file that the first `n` units of an unquoted command name, as
// written or with ".exe"; null when they name none.
char16_t *names_file(const details_cache *c, const char16_t *text, size_t n) {
    // A file name holds at most 255 units, so a longer bare text names none.
    if (is_bare(text, n)) return n <= 255 ? search(c, text, n, u".exe") : nullptr;
    if (!is_absolute(text)) return nullptr;
    if (is_file(c, text, n)) return join(text, n);
    if (has_extension(text, n)) return nullptr;
    wide with(join(text, n, u".exe", 4));
    return with.p && is_file(c, with.p, n + 4) ? with.release() : nullptr;
}

// Splits a command line into its program (made out) and the rest.
char16_t *split_command(const details_cache *c, const char16_t *s, const char16_t **rest) {
    while (is_space(*s)) s++;
    size_t n = wide_length(s);
    if (*s == u'"') {
        const char16_t *close = s + 1;
        while (*close && *close != u'"') close++;
        *rest = *close ? close + 1 : close;
        return resolve(c, s + 1, (size_t)(close - s - 1), u".exe");
    }
    // Each text before a space, then the whole text: the first that names
    // a file is the program, as CreateProcess finds it.
    // No longer than a path the library checks: a huge command must not
    // cost a look-up per space.
    for (size_t i = 1; i <= n && i < WIDE_PATH_UNITS; i++) {
        if ((i < n && !is_space(s[i])) || is_space(s[i - 1])) continue;
        char16_t *found = names_file(c, s, i);
        if (found) {
            *rest = s + i;
            return found;
        }
    }
    size_t end = 0;
    for (size_t i = 1; i <= n && !end; i++)
        if ((i == n || is_space(s[i])) && !is_space(s[i - 1]) && ends_with(s, i, u".exe")) end = i;
    if (!end)
        while (end < n && !is_space(s[end])) end++;
    *rest = s + end;
    return resolve(c, s, end, u".exe");
}

// ---- host programs ----

enum host_kind { HOST_NONE, HOST_RUNDLL, HOST_SCRIPT };

host_kind host_of(const char16_t *program) {
    size_t n = wide_length(program);
    const char16_t *name = program + name_start(program, n);
    size_t m = n - (size_t)(name - program);
    if (m >= 4 && ends_with(name, m, u".exe")) m -= 4;
    if (m == 8 && same_folded(name, u"rundll32", 8)) return HOST_RUNDLL;
    if (m == 7 && (same_folded(name, u"wscript", 7) || same_folded(name, u"cscript", 7))) return HOST_SCRIPT;
    return HOST_NONE;
}

// The next argument from *at, its quotes removed, ending at a space (or,
// when `comma`, a comma) outside quotes; *at moves past it. Null when
// memory ran out; "" when there is none.
char16_t *next_argument(const char16_t **at, bool comma, bool *any) {
    const char16_t *p = *at;
    while (is_space(*p)) p++;
    *any = *p != 0;
    char16_t *out = (char16_t *)malloc((wide_length(p) + 1) * sizeof(char16_t));
    if (!out) return nullptr;
    size_t k = 0;
    bool quoted = false;
    for (; *p && (quoted || !(is_space(*p) || (comma && *p == u','))); p++) {
        if (*p == u'"')
            quoted = !quoted;
        else
            out[k++] = *p;
    }
    out[k] = 0;
    while (*p && !is_space(*p)) p++;  // what follows a comma belongs to the same argument
    *at = p;
    return out;
}

// The image of `program` run with `arguments`: the DLL of rundll32, the
// script of wscript and cscript, else the program itself.
char16_t *image_of(const details_cache *c, char16_t *program, const char16_t *arguments) {
    wide owned(program);
    host_kind kind = host_of(program);
    if (kind == HOST_NONE) return owned.release();
    bool any = false;
    for (const char16_t *at = arguments;;) {
        wide argument(next_argument(&at, kind == HOST_RUNDLL, &any));
        if (!argument.p || !any) return owned.release();
        if (kind == HOST_RUNDLL) {
            size_t n = wide_length(argument.p);
            return n ? resolve(c, argument.p, n, u".dll") : owned.release();
        }
        if (argument.p[0] != u'/' && argument.p[0]) return argument.release();
    }
}

// ---- version texts ----

// The string of `key` from the first table that holds it, as UTF-8; "" is
// returned as null.
// The units of a value that `found` and `len` give which lie inside the
// block: a malformed resource may claim more than the file holds.
uint32_t units_inside(const void *block, uint32_t size, const void *found, uint32_t len) {
    const char *start = (const char *)block, *at = (const char *)found;
    if (at < start || at >= start + size) return 0;
    size_t room = (size_t)(start + size - at) / sizeof(char16_t);
    return len < room ? len : (uint32_t)room;
}

char *version_text(const void *block, uint32_t size, const char16_t *const *tables, int count,
                   const char16_t *key) {
    for (int t = 0; t < count; t++) {
        char16_t query[WIDE_PATH_UNITS];
        if (format_wide(query, u"\\StringFileInfo\\%s\\%s", tables[t], key) < 0) continue;
        const void *found = nullptr;
        uint32_t len = 0;
        if (!plat_ver_query_value(block, query, &found, &len) || !found) continue;
        len = units_inside(block, size, found, len);
        if (!len) continue;
        wide text((char16_t *)malloc(((size_t)len + 1) * sizeof(char16_t)));
        if (!text.p) return nullptr;
        memcpy(text.p, found, (size_t)len * sizeof(char16_t));  // may be unaligned in the block
        size_t n = 0;
        while (n < len && text.p[n]) n++;
        while (n > 0 && text.p[n - 1] == u' ') n--;
        if (n == 0) continue;
        text.p[n] = 0;
        char *utf8 = utf16_to_utf8(text.p);
        if (utf8 && *utf8) return utf8;
        free(utf8);
    }
    return nullptr;
}

void read_version(const details_cache *c, const char16_t *image, image_record *r) {
    wide checked(checked_path(c, image, wide_length(image)));
    if (!checked.p) return;
    uint32_t size = plat_get_file_version_info_size(checked.p);
    if (!size) return;
    void *block = malloc(size);
    if (!block) return;
    if (plat_get_file_version_info(checked.p, size, block)) {
        char16_t first[16];
        const char16_t *tables[3];
        int count = 0;
        bool has_first = false;
        const void *found = nullptr;
        uint32_t len = 0;
        if (plat_ver_query_value(block, u"\\VarFileInfo\\Translation", &found, &len) && found && len >= 4 &&
            units_inside(block, size, found, 2) == 2) {
            uint16_t pair[2];
            memcpy(pair, found, sizeof pair);
            static const char16_t hex[] = u"0123456789ABCDEF";
            uint32_t v = ((uint32_t)pair[0] << 16) | pair[1];
            for (int i = 0; i < 8; i++) first[i] = hex[(v >> (28 - 4 * i)) & 15];
            first[8] = 0;
            tables[count++] = first;
            has_first = true;
        }
        static const char16_t *const usual[] = {u"040904B0", u"040904E4"};  // U.S. English: Unicode, 1252
        for (const char16_t *table : usual)
            if (!has_first || !same_folded(first, table, 9)) tables[count++] = table;
        r->publisher = version_text(block, size, tables, count, u"CompanyName");
        r->description = version_text(block, size, tables, count, u"FileDescription");
    }
    free(block);
}

// Reads what the image's file says into *r (its key already set).
void read_image(const details_cache *c, const char16_t *image, image_record *r) {
    r->exists = is_absolute(image) && is_file(c, image, wide_length(image));
    if (r->exists) read_version(c, image, r);
}

uint64_t hash_of(const char16_t *key, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; i++) h = (h ^ key[i]) * 1099511628211ull;
    return h;
}

image_record *slot_for(details_cache *c, const char16_t *key, size_t n, uint64_t h) {
    size_t mask = c->capacity - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        image_record *r = &c->slots[i];
        if (!r->key || (r->hash == h && r->units == n && memcmp(r->key, key, n * sizeof(char16_t)) == 0)) return r;
    }
}

// Room for one more record; false when memory ran out.
bool make_room(details_cache *c) {
    if ((c->count + 1) * 2 <= c->capacity) return true;
    size_t capacity = c->capacity ? c->capacity * 2 : 64;
    image_record *slots = (image_record *)calloc(capacity, sizeof(image_record));
    if (!slots) return false;
    image_record *old = c->slots;
    size_t old_capacity = c->capacity;
    c->slots = slots;
    c->capacity = capacity;
    for (size_t i = 0; i < old_capacity; i++)
        if (old[i].key) *slot_for(c, old[i].key, old[i].units, old[i].hash) = old[i];
    free(old);
    return true;
}

// The record of `image`, read on first sight; null when it cannot be kept.
image_record *record_of(details_cache *c, const char16_t *image) {
    size_t n = wide_length(image);
    wide key(join(image, n));
    if (!key.p || !make_room(c)) return nullptr;
    for (size_t i = 0; i < n; i++) key.p[i] = fold(key.p[i]);
    uint64_t h = hash_of(key.p, n);
    image_record *r = slot_for(c, key.p, n, h);
    if (r->key) return r;
    r->key = key.release();
    r->units = n;
    r->hash = h;
    c->count++;
    read_image(c, image, r);
    return r;
}

void fill(details_cache *cache, char16_t *image_text, item_details *out) {
    wide image(image_text);
    if (!image.p) return;
    out->image = utf16_to_utf8(image.p);
    if (!image.p[0]) return;
    image_record *r = record_of(cache, image.p);
    if (r) {
        out->image_exists = r->exists;
        if (r->publisher) out->publisher = r->publisher;
        if (r->description) out->description = r->description;
        return;
    }
    // No room to keep it: read for this item alone.
    image_record alone;
    read_image(cache, image.p, &alone);
    out->image_exists = alone.exists;
    if ((out->held_publisher = alone.publisher)) out->publisher = alone.publisher;
    if ((out->held_description = alone.description)) out->description = alone.description;
}

// The cache to use: the listing's, or one of the item's own.
details_cache *cache_for(details_cache *cache, item_details *out) {
    if (!cache) cache = out->own = details_cache_new();
    if (cache) make_ready(cache);
    return cache;
}

}  // namespace

details_cache *details_cache_new() {
    details_cache *c = (details_cache *)malloc(sizeof(details_cache));
    if (c) *c = details_cache();
    return c;
}

void details_cache_free(details_cache *c) {
    if (!c) return;
    for (size_t i = 0; i < c->capacity; i++) free_record(&c->slots[i]);
    free(c->slots);
    free(c->system);
    free(c->windows);
    free(c->path);
    free(c);
}

item_details::~item_details() {
    free(image);
    free(held_publisher);
    free(held_description);
    details_cache_free(own);
}

void describe_command(details_cache *cache, const char16_t *command, item_details *out) {
    cache = cache_for(cache, out);
    if (!cache || !command) return;
    wide text(expand(command));
    if (!text.p) return;
    const char16_t *rest = nullptr;
    char16_t *program = split_command(cache, text.p, &rest);
    if (program) fill(cache, image_of(cache, program, rest), out);
}

void describe_program(details_cache *cache, const char16_t *program, const char16_t *arguments,
                      item_details *out) {
    cache = cache_for(cache, out);
    if (!cache || !program) return;
    wide path(expand(program)), args(expand(arguments ? arguments : u""));
    if (!path.p || !args.p) return;
    const char16_t *p = path.p;
    while (is_space(*p)) p++;
    size_t n = wide_length(p);
    if (*p == u'"') {
        const char16_t *close = ++p;
        while (*close && *close != u'"') close++;
        n = (size_t)(close - p);
    }
    while (n > 0 && is_space(p[n - 1])) n--;
    char16_t *resolved = resolve(cache, p, n, u".exe");
    if (resolved) fill(cache, image_of(cache, resolved, args.p), out);
}

void describe_file(details_cache *cache, const char16_t *path, item_details *out) {
    cache = cache_for(cache, out);
    if (cache && path) fill(cache, join(path, wide_length(path)), out);
}

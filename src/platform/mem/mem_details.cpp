// The in-memory environment, folders and version resources (see
// mem_details.h). A version block is the machine's own serialisation,
// which only its VerQueryValueW reads: a header with the block's size,
// then one record per value that a query can find.
#include "mem_details.h"

#include <cstring>
#include <map>
#include <mutex>

#include "../platform_details.h"
#include "../platform_files.h"
#include "mem_convert.h"
#include "mem_files.h"
#include "mem_machine.h"

namespace {

const uint32_t block_magic = 0x564d454du;  // "MEMV"

char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? (char16_t)(c + 0x20) : c; }

std::u16string folded(std::u16string s) {
    for (char16_t &c : s) c = fold(c);
    return s;
}

struct details {
    std::mutex lock;
    std::map<std::u16string, std::u16string> env;  // by folded name
    std::u16string system, windows;
    bool wow64 = false;
    std::map<std::u16string, std::vector<uint8_t>> blocks;  // by folded path
};

details &the_details() {
    static details d;
    return d;
}

void reset_details() {
    details &d = the_details();
    std::lock_guard<std::mutex> g(d.lock);
    d.env.clear();
    d.system = u"C:\\Windows\\system32";
    d.windows = u"C:\\Windows";
    d.wow64 = false;
    d.blocks.clear();
}
const bool registered = (mem_on_reset(reset_details), reset_details(), true);

void put32(std::vector<uint8_t> *b, uint32_t v) {
    uint8_t bytes[4];
    memcpy(bytes, &v, 4);
    b->insert(b->end(), bytes, bytes + 4);
}

// One record: the key's units with a terminator, the length a query
// reports, then the value's bytes, padded to four.
void put_record(std::vector<uint8_t> *b, const std::u16string &key, uint32_t len, const void *value, size_t bytes) {
    std::u16string k = folded(key);
    put32(b, (uint32_t)((k.size() + 1) * 2));
    const uint8_t *kb = (const uint8_t *)k.c_str();
    b->insert(b->end(), kb, kb + (k.size() + 1) * 2);
    put32(b, len);
    put32(b, (uint32_t)bytes);
    const uint8_t *vb = (const uint8_t *)value;
    b->insert(b->end(), vb, vb + bytes);
    while (b->size() % 4) b->push_back(0);
}

uint32_t get32(const uint8_t *p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

std::u16string upper_hex(const std::string &table) {
    std::u16string out;
    for (char c : table) out += (char16_t)(c >= 'a' && c <= 'f' ? c - 0x20 : c);
    return out;
}

// The text copied into a caller's buffer as the folder calls do.
uint32_t deliver(const std::u16string &text, char16_t *buffer, uint32_t size) {
    if (!buffer || size <= text.size()) return (uint32_t)text.size() + 1;
    memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return (uint32_t)text.size();
}

// The details' callers read no error codes: a failure answers 0 alone.
uint32_t fail(plat_error) { return 0; }

// The block of the file at `path`, or null with the reason in last_error.
const std::vector<uint8_t> *block_of(const char16_t *path) {
    if (!path) return (fail(PLAT_ERROR_INVALID_PARAMETER), nullptr);
    std::string narrow = mem_narrow(path);
    if (!mem_files_exists(narrow.c_str())) return (fail(PLAT_ERROR_FILE_NOT_FOUND), nullptr);
    if (mem_files_is_dir(narrow.c_str())) return (fail(PLAT_ERROR_ACCESS_DENIED), nullptr);
    auto it = the_details().blocks.find(folded(path));
    if (it == the_details().blocks.end()) return (fail(PLAT_ERROR_RESOURCE_DATA_NOT_FOUND), nullptr);
    return &it->second;
}

}  // namespace

// ---- set-up ----

void mem_details_set_env(const char *name, const char *value) {
    details &d = the_details();
    std::lock_guard<std::mutex> g(d.lock);
    std::u16string key = folded(mem_widen(name));
    if (!value) {
        d.env.erase(key);
        return;
    }
    d.env[key] = mem_widen(value);
}

void mem_details_set_folders(const char *system, const char *windows) {
    details &d = the_details();
    std::lock_guard<std::mutex> g(d.lock);
    d.system = mem_widen(system);
    d.windows = mem_widen(windows);
}

void mem_details_set_wow64(bool wow64) {
    details &d = the_details();
    std::lock_guard<std::mutex> g(d.lock);
    d.wow64 = wow64;
}

void mem_details_set_version(const char *path, const std::vector<uint32_t> &translations,
                             const std::vector<mem_version_string> &strings) {
    std::vector<uint8_t> b;
    put32(&b, block_magic);
    put32(&b, 0);
    if (!translations.empty())
        put_record(&b, u"\\VarFileInfo\\Translation", (uint32_t)(translations.size() * 4), translations.data(),
                   translations.size() * 4);
    for (const mem_version_string &s : strings) {
        std::u16string text = mem_widen(s.text);
        std::u16string key = u"\\StringFileInfo\\" + upper_hex(s.table) + u"\\" + mem_widen(s.key);
        uint32_t units = s.claimed_units ? s.claimed_units : (uint32_t)text.size() + 1;
        put_record(&b, key, units, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    }
    uint32_t size = (uint32_t)b.size();
    memcpy(b.data() + 4, &size, 4);
    details &d = the_details();
    std::lock_guard<std::mutex> g(d.lock);
    d.blocks[folded(mem_widen(path))] = b;
}

// ---- the platform operations ----

uint32_t plat_expand_environment_strings(const char16_t *src, char16_t *dst, uint32_t size) {
    int64_t code = 0;
    if (mem_fault("ExpandEnvironmentStringsW", &code)) return fail((plat_error)code);
    if (!src) return fail(PLAT_ERROR_INVALID_PARAMETER);
    details &d = the_details();
    std::u16string out;
    {
        std::lock_guard<std::mutex> g(d.lock);
        for (const char16_t *p = src; *p;) {
            const char16_t *close = *p == u'%' ? p + 1 : nullptr;
            while (close && *close && *close != u'%') close++;
            if (!close || !*close) {
                out += *p++;
                continue;
            }
            auto it = d.env.find(folded(std::u16string(p + 1, close)));
            if (it == d.env.end()) {
                // Unknown: the text stays, and its closing '%' may open the next name.
                out.append(p, close);
                p = close;
            } else {
                out += it->second;
                p = close + 1;
            }
        }
    }
    uint32_t needed = (uint32_t)out.size() + 1;
    if (dst && size >= needed) memcpy(dst, out.c_str(), needed * sizeof(char16_t));
    return needed;
}

uint32_t plat_get_environment_variable(const char16_t *name, char16_t *buffer, uint32_t size) {
    int64_t code = 0;
    if (mem_fault("GetEnvironmentVariableW", &code)) return fail((plat_error)code);
    if (!name) return fail(PLAT_ERROR_INVALID_PARAMETER);
    details &d = the_details();
    std::lock_guard<std::mutex> g(d.lock);
    auto it = d.env.find(folded(name));
    if (it == d.env.end()) return fail(PLAT_ERROR_ENVVAR_NOT_FOUND);
    return deliver(it->second, buffer, size);
}

uint32_t plat_get_system_directory(char16_t *buffer, uint32_t size) {
    int64_t code = 0;
    if (mem_fault("GetSystemDirectoryW", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(the_details().lock);
    return deliver(the_details().system, buffer, size);
}

uint32_t plat_get_windows_directory(char16_t *buffer, uint32_t size) {
    int64_t code = 0;
    if (mem_fault("GetWindowsDirectoryW", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(the_details().lock);
    return deliver(the_details().windows, buffer, size);
}

int plat_is_wow64_process(int *wow64) {
    int64_t code = 0;
    if (mem_fault("IsWow64Process", &code)) return (int)fail((plat_error)code);
    if (!wow64) return (int)fail(PLAT_ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> g(the_details().lock);
    *wow64 = the_details().wow64 ? 1 : 0;
    return 1;
}

uint32_t plat_get_file_version_info_size(const char16_t *path) {
    int64_t code = 0;
    if (mem_fault("GetFileVersionInfoSizeW", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(the_details().lock);
    const std::vector<uint8_t> *block = block_of(path);
    return block ? (uint32_t)block->size() : 0;
}

int plat_get_file_version_info(const char16_t *path, uint32_t size, void *data) {
    int64_t code = 0;
    if (mem_fault("GetFileVersionInfoW", &code)) return (int)fail((plat_error)code);
    std::lock_guard<std::mutex> g(the_details().lock);
    const std::vector<uint8_t> *block = block_of(path);
    if (!block) return 0;
    if (!data || size < block->size()) return (int)fail(122);  // ERROR_INSUFFICIENT_BUFFER
    memcpy(data, block->data(), block->size());
    return 1;
}

int plat_ver_query_value(const void *block, const char16_t *sub_block, const void **buffer, uint32_t *len) {
    int64_t code = 0;
    if (mem_fault("VerQueryValueW", &code)) return (int)fail((plat_error)code);
    if (!block || !sub_block || !buffer || !len) return 0;
    const uint8_t *b = (const uint8_t *)block;
    if (get32(b) != block_magic) return 0;
    std::u16string want = folded(sub_block);
    uint32_t size = get32(b + 4);
    for (uint32_t at = 8; at + 4 <= size;) {
        uint32_t key_bytes = get32(b + at);
        const uint8_t *key = b + at + 4;
        uint32_t value_len = get32(key + key_bytes), value_bytes = get32(key + key_bytes + 4);
        const uint8_t *value = key + key_bytes + 8;
        if (key_bytes == (want.size() + 1) * 2 && memcmp(key, want.c_str(), key_bytes) == 0) {
            *buffer = value;
            *len = value_len;
            return 1;
        }
        at = (uint32_t)(value - b) + value_bytes;
        at = (at + 3) & ~3u;
    }
    return 0;
}

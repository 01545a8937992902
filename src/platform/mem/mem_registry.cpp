// The in-memory registry: keys of typed values behind the advapi32 calls.
//
// Keys are found by root and path (ASCII case folded). A path exists when a
// key was made there or below it. Handles are small numbers with the rights
// they were opened with, so a write through a read handle fails as on
// Windows. Every platform call starts with its fault hook.
#include "mem_registry.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <unordered_map>

#include "mem_ansi.h"
#include "mem_convert.h"
#include "mem_machine.h"

namespace {

// The longest value name, in units.
const size_t max_value_name = 16383;

const uint32_t write_rights = PLAT_KEY_SET_VALUE | 0x0004u /* KEY_CREATE_SUB_KEY */;

struct reg_key {
    std::string spelled;  // the path as first written, for the subkey names
    std::vector<mem_reg_value> values;
    // Position of each value by folded name, so that writing or querying a
    // value does not scan the key (filling a key of N values was N^2).
    std::unordered_map<std::u16string, size_t> index;
};

struct reg_handle {
    uintptr_t root;
    std::string path;  // folded
    uint32_t access;
};

struct registry {
    std::mutex lock;
    std::map<std::string, reg_key> keys;  // "<root>|<folded path>"
    std::vector<std::string> denied;      // same form: no write rights here or below
    std::map<uintptr_t, reg_handle> handles;
    uintptr_t next_handle = 0x1000;
    uint64_t file_time = 0x01D0000000000000ull;
    uint16_t architecture = PLAT_PROCESSOR_ARCHITECTURE_AMD64;
};

registry &reg() {
    static registry r;
    return r;
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + 0x20) : c; }
char16_t fold16(char16_t c) { return mem_fold_case(c); }

bool is_root(uintptr_t h) { return h == (uintptr_t)PLAT_HKEY_CURRENT_USER || h == (uintptr_t)PLAT_HKEY_LOCAL_MACHINE; }

// Folded path without leading, trailing or doubled backslashes.
std::string clean_path(const char *subkey) {
    std::string out;
    for (const char *p = subkey ? subkey : ""; *p; p++) {
        if (*p == '\\' && (out.empty() || out.back() == '\\')) continue;
        out.push_back(fold(*p));
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

// The same path in the case it was written in.
std::string spelled_path(const char *subkey) {
    std::string out;
    for (const char *p = subkey ? subkey : ""; *p; p++) {
        if (*p == '\\' && (out.empty() || out.back() == '\\')) continue;
        out.push_back(*p);
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

std::string join(const std::string &base, const std::string &rest) {
    if (base.empty()) return rest;
    if (rest.empty()) return base;
    return base + "\\" + rest;
}

std::string key_id(uintptr_t root, const std::string &path) { return std::to_string(root) + "|" + path; }

// The key at `subkey` of a predefined root, made when missing.
reg_key &make_key(std::map<std::string, reg_key> &keys, plat_hkey root, const char *subkey) {
    reg_key &k = keys[key_id((uintptr_t)root, clean_path(subkey))];
    if (k.spelled.empty()) k.spelled = spelled_path(subkey);
    return k;
}

bool is_below(const std::string &id, const std::string &top) {
    if (id == top) return true;
    if (top.back() == '|') return id.compare(0, top.size(), top) == 0;
    return id.size() > top.size() && id.compare(0, top.size(), top) == 0 && id[top.size()] == '\\';
}

bool key_exists(registry &r, const std::string &id) {
    if (r.keys.count(id)) return true;
    if (id.back() == '|') return true;  // a hive root always exists
    for (auto &k : r.keys)
        if (is_below(k.first, id)) return true;
    return false;
}

bool writes_denied(registry &r, const std::string &id) {
    for (const std::string &top : r.denied)
        if (is_below(id, top)) return true;
    return false;
}

bool is_string_type(uint32_t type) {
    return type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ || type == PLAT_REG_MULTI_SZ;
}

std::u16string ansi_name(const char *name) { return name ? mem_cp1252_to_utf16(name, strlen(name)) : u""; }

std::u16string wide_name(const char16_t *name) { return name ? std::u16string(name) : u""; }

std::vector<uint8_t> units_to_bytes(const std::u16string &units) {
    std::vector<uint8_t> out;
    for (char16_t u : units) {
        out.push_back((uint8_t)(u & 0xFF));
        out.push_back((uint8_t)(u >> 8));
    }
    return out;
}

std::u16string bytes_to_units(const std::vector<uint8_t> &bytes) {
    std::u16string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back((char16_t)(bytes[i] | (bytes[i + 1] << 8)));
    return out;
}

// Data as RegSetValueExA stores it.
std::vector<uint8_t> stored_from_ansi(uint32_t type, const void *data, size_t len) {
    const char *p = (const char *)data;
    if (is_string_type(type)) return units_to_bytes(mem_cp1252_to_utf16(p ? p : "", p ? len : 0));
    return std::vector<uint8_t>(p, p ? p + len : p);
}

// Data as the 8-bit read calls hand it out.
std::vector<uint8_t> ansi_from_stored(const mem_reg_value &v) {
    if (!is_string_type(v.type)) return v.data;
    std::u16string units = bytes_to_units(v.data);
    std::string text = mem_utf16_to_cp1252(units.data(), units.size());
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::u16string folded(const std::u16string &name) {
    std::u16string out(name);
    for (char16_t &c : out) c = fold16(c);
    return out;
}

mem_reg_value *find_value(reg_key &k, const std::u16string &name) {
    auto it = k.index.find(folded(name));
    return it == k.index.end() ? nullptr : &k.values[it->second];
}

// Removes the value; the positions after it move up by one.
bool erase_value(reg_key &k, const std::u16string &name) {
    auto it = k.index.find(folded(name));
    if (it == k.index.end()) return false;
    size_t at = it->second;
    k.index.erase(it);
    k.values.erase(k.values.begin() + (ptrdiff_t)at);
    for (auto &entry : k.index)
        if (entry.second > at) entry.second--;
    return true;
}

void put_value(reg_key &k, const std::u16string &name, uint32_t type, std::vector<uint8_t> data) {
    if (mem_reg_value *v = find_value(k, name)) {
        v->type = type;
        v->data = std::move(data);
        return;
    }
    k.index[folded(name)] = k.values.size();
    k.values.push_back({name, type, std::move(data)});
}

// Resolves `root` (a predefined root or an open handle) and `subkey` to a key id.
bool resolve(registry &r, plat_hkey root, const char *subkey, std::string *id, uint32_t *rights) {
    uintptr_t h = (uintptr_t)root;
    if (is_root(h)) {
        *id = key_id(h, clean_path(subkey));
        *rights = ~0u;
        return true;
    }
    auto it = r.handles.find(h);
    if (it == r.handles.end()) return false;
    *id = key_id(it->second.root, join(it->second.path, clean_path(subkey)));
    *rights = it->second.access;
    return true;
}

// The key behind an open handle (or a predefined root), with its rights.
plat_error handle_key(registry &r, plat_hkey key, uint32_t need, reg_key **out) {
    std::string id;
    uint32_t rights;
    if (!resolve(r, key, nullptr, &id, &rights)) return PLAT_ERROR_INVALID_HANDLE;
    if ((rights & need) != need) return PLAT_ERROR_ACCESS_DENIED;
    if (!key_exists(r, id)) return PLAT_ERROR_KEY_DELETED;
    *out = &r.keys[id];
    return PLAT_ERROR_SUCCESS;
}

// The 32-bit view of 64-bit Windows: the machine hive's Software key of a
// 32-bit program is Software\WOW6432Node. The current user's hive is shared.
const char software[] = "software", wow_node[] = "software\\wow6432node";

std::string in_view(plat_hkey root, uint32_t access, std::string id, const registry &r) {
    bool one_view = r.architecture == PLAT_PROCESSOR_ARCHITECTURE_INTEL ||
                    r.architecture == PLAT_PROCESSOR_ARCHITECTURE_ARM;
    if (root != PLAT_HKEY_LOCAL_MACHINE || !(access & PLAT_KEY_WOW64_32KEY) || one_view) return id;
    std::string path = id.substr(id.find('|') + 1);
    if (path.compare(0, sizeof software - 1, software) != 0) return id;
    if (path.size() > sizeof software - 1 && path[sizeof software - 1] != '\\') return id;
    if (path.compare(0, sizeof wow_node - 1, wow_node) == 0 &&
        (path.size() == sizeof wow_node - 1 || path[sizeof wow_node - 1] == '\\'))
        return id;
    return key_id((uintptr_t)root, wow_node + path.substr(sizeof software - 1));
}

plat_error new_handle(registry &r, plat_hkey root, const char *subkey, uint32_t access, bool create,
                      plat_hkey *key) {
    if (!key) return PLAT_ERROR_INVALID_PARAMETER;
    *key = nullptr;
    std::string id;
    uint32_t rights;
    if (!resolve(r, root, subkey, &id, &rights)) return PLAT_ERROR_INVALID_HANDLE;
    id = in_view(root, access, id, r);
    access &= ~(PLAT_KEY_WOW64_32KEY | PLAT_KEY_WOW64_64KEY);
    if ((access & write_rights) && writes_denied(r, id)) return PLAT_ERROR_ACCESS_DENIED;
    if (!key_exists(r, id)) {
        if (!create) return PLAT_ERROR_FILE_NOT_FOUND;
        reg_key &made = r.keys[id];
        if (is_root((uintptr_t)root)) made.spelled = spelled_path(subkey);
    }
    size_t bar = id.find('|');
    uintptr_t h = r.next_handle;
    r.next_handle += 4;
    r.handles[h] = {(uintptr_t)std::stoull(id.substr(0, bar)), id.substr(bar + 1), access};
    *key = (plat_hkey)h;
    return PLAT_ERROR_SUCCESS;
}

// Hands out `bytes` through the optional data/length pair, as Reg*Value* do.
plat_error deliver(const std::vector<uint8_t> &bytes, uint8_t *data, uint32_t *data_len) {
    if (!data_len) return PLAT_ERROR_SUCCESS;
    uint32_t need = (uint32_t)bytes.size();
    if (data && *data_len < need) {
        *data_len = need;
        return PLAT_ERROR_MORE_DATA;
    }
    if (data && need) memcpy(data, bytes.data(), need);
    *data_len = need;
    return PLAT_ERROR_SUCCESS;
}


plat_error set_value(plat_hkey key, const std::u16string &name, uint32_t type, std::vector<uint8_t> bytes) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    reg_key *k;
    if (plat_error e = handle_key(r, key, PLAT_KEY_SET_VALUE, &k)) return e;
    put_value(*k, name, type, std::move(bytes));
    return PLAT_ERROR_SUCCESS;
}

void reset_registry() {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.keys.clear();
    r.denied.clear();
    r.handles.clear();
    r.next_handle = 0x1000;
    r.file_time = 0x01D0000000000000ull;
    r.architecture = PLAT_PROCESSOR_ARCHITECTURE_AMD64;
}
const bool registered = (mem_on_reset(reset_registry), true);

}  // namespace

// ---- platform operations ----

plat_error plat_reg_open_key_ex_a(plat_hkey root, const char *subkey, uint32_t options, uint32_t access,
                                  plat_hkey *key) {
    int64_t code = 0;
    if (key) *key = nullptr;
    if (mem_fault("RegOpenKeyExA", &code)) return (plat_error)code;
    (void)options;
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    return new_handle(r, root, subkey, access, false, key);
}

plat_error plat_reg_create_key_ex_a(plat_hkey root, const char *subkey, uint32_t access, plat_hkey *key) {
    int64_t code = 0;
    if (key) *key = nullptr;
    if (mem_fault("RegCreateKeyExA", &code)) return (plat_error)code;
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    return new_handle(r, root, subkey, access | write_rights, true, key);
}

plat_error plat_reg_close_key(plat_hkey key) {
    int64_t code = 0;
    if (mem_fault("RegCloseKey", &code)) return (plat_error)code;
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    if (is_root((uintptr_t)key)) return PLAT_ERROR_SUCCESS;
    return r.handles.erase((uintptr_t)key) ? PLAT_ERROR_SUCCESS : PLAT_ERROR_INVALID_HANDLE;
}

plat_error plat_reg_enum_value_w(plat_hkey key, uint32_t index, char16_t *name, uint32_t *name_len,
                                 uint32_t *type, uint8_t *data, uint32_t *data_len) {
    int64_t code = 0;
    if (mem_fault("RegEnumValueW", &code)) return (plat_error)code;
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    if (!name || !name_len || (data && !data_len)) return PLAT_ERROR_INVALID_PARAMETER;
    reg_key *k;
    if (plat_error e = handle_key(r, key, PLAT_KEY_QUERY_VALUE, &k)) return e;
    if (index >= k->values.size()) return PLAT_ERROR_NO_MORE_ITEMS;
    const mem_reg_value &v = k->values[index];
    if (*name_len <= v.name.size()) {
        // As Wine answers: the data's size is told even so.
        if (data_len) *data_len = (uint32_t)v.data.size();
        return PLAT_ERROR_MORE_DATA;
    }
    memcpy(name, v.name.c_str(), (v.name.size() + 1) * sizeof(char16_t));
    *name_len = (uint32_t)v.name.size();
    if (type) *type = v.type;
    return deliver(v.data, data, data_len);
}

plat_error plat_reg_query_value_ex_w(plat_hkey key, const char16_t *name, uint32_t *type, uint8_t *data,
                                     uint32_t *data_len) {
    int64_t code = 0;
    if (mem_fault("RegQueryValueExW", &code)) return (plat_error)code;
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    if (data && !data_len) return PLAT_ERROR_INVALID_PARAMETER;
    reg_key *k;
    if (plat_error e = handle_key(r, key, PLAT_KEY_QUERY_VALUE, &k)) return e;
    mem_reg_value *v = find_value(*k, wide_name(name));
    if (!v) return PLAT_ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    const std::vector<uint8_t> &bytes = v->data;
    uint32_t cap = data_len ? *data_len : 0;
    plat_error e = deliver(bytes, data, data_len);
    // As Wine does: the wide call terminates unterminated string data in the
    // caller's buffer when there is room, without counting the terminator.
    size_t n = bytes.size();
    bool open_string = is_string_type(v->type) && (n < 2 || bytes[n - 1] || bytes[n - 2]);
    if (e == PLAT_ERROR_SUCCESS && open_string && data && cap >= n + 2) data[n] = data[n + 1] = 0;
    return e;
}

plat_error plat_reg_set_value_ex_w(plat_hkey key, const char16_t *name, uint32_t type, const uint8_t *data,
                                   uint32_t data_len) {
    int64_t code = 0;
    if (mem_fault("RegSetValueExW", &code)) return (plat_error)code;
    std::u16string wide = wide_name(name);
    if (wide.size() > max_value_name) return PLAT_ERROR_INVALID_PARAMETER;
    // String data whose last unit is not NUL but is followed in memory by a
    // NUL unit is stored with that unit, taken as a forgotten terminator.
    if (data && is_string_type(type) && data_len >= 2 && data_len % 2 == 0 &&
        (data[data_len - 2] || data[data_len - 1]) && !data[data_len] && !data[data_len + 1])
        data_len += 2;
    return set_value(key, wide, type, std::vector<uint8_t>(data, data ? data + data_len : data));
}

plat_error plat_reg_delete_value_w(plat_hkey key, const char16_t *name) {
    int64_t code = 0;
    if (mem_fault("RegDeleteValueW", &code)) return (plat_error)code;
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    reg_key *k;
    if (plat_error e = handle_key(r, key, PLAT_KEY_SET_VALUE, &k)) return e;
    return erase_value(*k, wide_name(name)) ? PLAT_ERROR_SUCCESS : PLAT_ERROR_FILE_NOT_FOUND;
}

// Windows keeps subkeys sorted by their upper-case names.
std::string upper(std::string s) {
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = (char)(c - 0x20);
    return s;
}

// Component `at` (0-based) of a backslash-separated path.
std::string component(const std::string &path, size_t at) {
    size_t from = 0;
    for (size_t i = 0; i < at; i++) {
        from = path.find('\\', from);
        if (from == std::string::npos) return "";
        from++;
    }
    return path.substr(from, path.find('\\', from) - from);
}

plat_error plat_reg_enum_key_ex_w(plat_hkey key, uint32_t index, char16_t *name, uint32_t *name_len) {
    int64_t code = 0;
    if (mem_fault("RegEnumKeyExW", &code)) return (plat_error)code;
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    if (!name || !name_len) return PLAT_ERROR_INVALID_PARAMETER;
    std::string id;
    uint32_t rights;
    if (!resolve(r, key, nullptr, &id, &rights)) return PLAT_ERROR_INVALID_HANDLE;
    if ((rights & 0x0008u /* KEY_ENUMERATE_SUB_KEYS */) == 0) return PLAT_ERROR_ACCESS_DENIED;
    if (!key_exists(r, id)) return PLAT_ERROR_KEY_DELETED;
    std::string path = id.substr(id.find('|') + 1);
    size_t depth = path.empty() ? 0 : (size_t)std::count(path.begin(), path.end(), '\\') + 1;
    std::map<std::string, std::string> children;  // upper-case name -> as spelled
    for (auto &k : r.keys) {
        if (k.first == id || !is_below(k.first, id)) continue;
        std::string below = k.first.substr(k.first.find('|') + 1);
        std::string spelled = k.second.spelled.empty() ? below : k.second.spelled;
        std::string child = component(spelled, depth);
        if (child.empty()) child = component(below, depth);
        children.emplace(upper(child), child);
    }
    if (index >= children.size()) return PLAT_ERROR_NO_MORE_ITEMS;
    auto it = children.begin();
    std::advance(it, index);
    std::u16string units = mem_cp1252_to_utf16(it->second.data(), it->second.size());
    if (*name_len <= units.size()) return PLAT_ERROR_MORE_DATA;
    memcpy(name, units.c_str(), (units.size() + 1) * sizeof(char16_t));
    *name_len = (uint32_t)units.size();
    return PLAT_ERROR_SUCCESS;
}

uint16_t plat_get_native_processor_architecture() {
    mem_fault("GetNativeSystemInfo", nullptr);
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    return r.architecture;
}

uint64_t plat_get_system_time_as_file_time() {
    mem_fault("GetSystemTimeAsFileTime", nullptr);
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    return r.file_time;
}

// ---- set-up and inspection ----

void mem_reg_add_key(plat_hkey root, const char *subkey) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    make_key(r.keys, root, subkey);
}

void mem_reg_remove_key(plat_hkey root, const char *subkey) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    std::string top = key_id((uintptr_t)root, clean_path(subkey));
    for (auto it = r.keys.begin(); it != r.keys.end();)
        it = is_below(it->first, top) ? r.keys.erase(it) : std::next(it);
}

void mem_reg_put_a(plat_hkey root, const char *subkey, const char *name, uint32_t type, const void *data,
                   size_t len) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    put_value(make_key(r.keys, root, subkey), ansi_name(name), type,
              stored_from_ansi(type, data, len));
}

void mem_reg_put_w(plat_hkey root, const char *subkey, const std::u16string &name, uint32_t type,
                   const void *data, size_t len) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    const uint8_t *p = (const uint8_t *)data;
    put_value(make_key(r.keys, root, subkey), name, type,
              std::vector<uint8_t>(p, p ? p + len : p));
}

void mem_reg_put_string(plat_hkey root, const char *subkey, const char *name, const char *text, uint32_t type) {
    mem_reg_put_a(root, subkey, name, type, text, strlen(text) + 1);
}

std::vector<mem_reg_value> mem_reg_values(plat_hkey root, const char *subkey) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.keys.find(key_id((uintptr_t)root, clean_path(subkey)));
    return it == r.keys.end() ? std::vector<mem_reg_value>() : it->second.values;
}

bool mem_reg_find(plat_hkey root, const char *subkey, const char *name, mem_reg_value *out) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.keys.find(key_id((uintptr_t)root, clean_path(subkey)));
    if (it == r.keys.end()) return false;
    mem_reg_value *v = find_value(it->second, ansi_name(name));
    if (v && out) *out = *v;
    return v != nullptr;
}

std::string mem_reg_ansi_text(const mem_reg_value &value) {
    std::vector<uint8_t> bytes = ansi_from_stored(value);
    std::string text(bytes.begin(), bytes.end());
    return text.substr(0, text.find('\0'));
}

std::vector<uint8_t> mem_reg_utf16_bytes(const std::u16string &text, bool terminated) {
    std::vector<uint8_t> bytes = units_to_bytes(text);
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

void mem_reg_deny_writes(plat_hkey root, const char *subkey) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.denied.push_back(key_id((uintptr_t)root, clean_path(subkey)));
}

int mem_reg_open_handles() {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    return (int)r.handles.size();
}

void mem_set_file_time(uint64_t file_time) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.file_time = file_time;
}

void mem_set_native_architecture(uint16_t architecture) {
    registry &r = reg();
    std::lock_guard<std::mutex> g(r.lock);
    r.architecture = architecture;
}

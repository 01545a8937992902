// The in-memory file system and shell folder lookups (see mem_files.h for
// the model). Every operation begins with its fault check and, where the
// Win32 call would, leaves its error code for GetLastError on this thread.
#include "mem_files.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "../platform_files.h"
#include "mem_convert.h"
#include "mem_machine.h"

namespace {

const size_t max_name_units = 255;

struct node {
    std::u16string name;
    bool dir = false;
    bool shortcut = false;
    std::u16string target, arguments;
    std::string data;  // a plain file's bytes
    std::vector<std::unique_ptr<node>> children;  // insertion order
    // Children by folded name, so that a path lookup does not scan large
    // directories (listing N shortcuts would otherwise cost N^2).
    std::unordered_map<std::u16string, node *> by_name;
};

struct search {
    // Names only: a full find record per match would make the snapshot of
    // a large directory cost 524 bytes an entry.
    struct match {
        uint32_t attributes;
        std::u16string name;
    };
    std::vector<match> matches;
    size_t next = 0;

    void deliver(size_t i, plat_find_data *data) const {
        *data = {};
        data->attributes = matches[i].attributes;
        memcpy(data->file_name, matches[i].name.c_str(), (matches[i].name.size() + 1) * sizeof(char16_t));
    }
};

struct file_system {
    std::mutex lock;
    node root;  // its children are the drives
    plat_hresult profile_result = PLAT_S_OK;
    std::u16string profile;
    plat_hresult common_result = PLAT_S_OK;
    std::u16string common;
    int open_searches = 0;
    int task_mem = 0;
};

file_system &fs() {
    static file_system f;
    return f;
}

thread_local plat_error last_error = 0;

// Set-up text is UTF-8, converted without counting (or consuming faults
// of) the platform converter.
std::u16string widen(const char *s) { return s ? mem_widen(s) : std::u16string(); }
std::string narrow(const std::u16string &s) { return mem_narrow(s); }

char16_t fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? (char16_t)(c + 0x20) : c; }

// Windows wildcards on one name: '*' any run of units, '?' any one unit.
bool wildcard_match(const char16_t *pattern, const char16_t *name) {
    const char16_t *star = nullptr, *resume = nullptr;
    while (*name) {
        if (*pattern == u'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == u'?' || (*pattern && fold(*pattern) == fold(*name))) {
            pattern++;
            name++;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == u'*') pattern++;
    return !*pattern;
}

bool is_drive(const std::u16string &c) {
    return c.size() == 2 && c[1] == u':' && ((c[0] >= u'A' && c[0] <= u'Z') || (c[0] >= u'a' && c[0] <= u'z'));
}

// Splits an absolute path into its components, the drive first.
bool split(const char16_t *path, std::vector<std::u16string> *parts) {
    parts->clear();
    if (!path) return false;
    std::u16string part;
    for (const char16_t *p = path;; p++) {
        if (*p == u'\\' || *p == u'/' || !*p) {
            if (!part.empty()) parts->push_back(part);
            part.clear();
            if (!*p) break;
        } else {
            part += *p;
        }
    }
    return !parts->empty() && is_drive((*parts)[0]);
}

bool valid_name(const std::u16string &name) {
    if (name.empty() || name.size() > max_name_units) return false;
    for (char16_t c : name)
        if (c == u'*' || c == u'?' || c == u':' || c == u'"' || c == u'<' || c == u'>' || c == u'|' || c < 0x20)
            return false;
    return true;
}

std::u16string folded(const std::u16string &name) {
    std::u16string out(name);
    for (char16_t &c : out) c = fold(c);
    return out;
}

node *child(node *dir, const std::u16string &name) {
    auto it = dir->by_name.find(folded(name));
    return it == dir->by_name.end() ? nullptr : it->second;
}

node *adopt(node *dir, std::unique_ptr<node> item) {
    node *n = item.get();
    dir->by_name[folded(n->name)] = n;
    dir->children.push_back(std::move(item));
    return n;
}

// The node at parts[0..count), or null.
node *walk(node *root, const std::vector<std::u16string> &parts, size_t count) {
    node *at = root;
    for (size_t i = 0; i < count && at; i++) at = at->dir ? child(at, parts[i]) : nullptr;
    return at;
}

node *lookup(const char16_t *path) {
    std::vector<std::u16string> parts;
    if (!split(path, &parts)) return nullptr;
    return walk(&fs().root, parts, parts.size());
}

// The directory that is to hold the last component, with the error code of
// the Win32 calls when there is none.
node *parent_of(const std::vector<std::u16string> &parts, plat_error *error) {
    node *parent = parts.size() > 1 ? walk(&fs().root, parts, parts.size() - 1) : nullptr;
    if (!parent || !parent->dir) {
        *error = PLAT_ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    return parent;
}

std::unique_ptr<node> detach(node *parent, node *item) {
    for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
        if (it->get() == item) {
            std::unique_ptr<node> owned = std::move(*it);
            parent->children.erase(it);
            parent->by_name.erase(folded(owned->name));
            return owned;
        }
    }
    return nullptr;
}

bool contains(const node *tree, const node *item) {
    if (tree == item) return true;
    for (auto &c : tree->children)
        if (contains(c.get(), item)) return true;
    return false;
}

int fail(plat_error code) {
    last_error = code;
    return 0;
}

plat_find no_search(plat_error code) {
    last_error = code;
    return nullptr;
}

uint32_t no_attributes(plat_error code) {
    last_error = code;
    return PLAT_INVALID_FILE_ATTRIBUTES;
}

// Set-up: the node at `path`, made with its missing parents; the last one
// is a directory when `dir`. Null when something is in the way.
node *make_path(const char *path, bool dir) {
    std::u16string wide = widen(path);
    std::vector<std::u16string> parts;
    if (!split(wide.c_str(), &parts)) return nullptr;
    node *at = &fs().root;
    for (size_t i = 0; i < parts.size(); i++) {
        bool last = i + 1 == parts.size();
        if (i > 0 && !valid_name(parts[i])) return nullptr;
        node *next = child(at, parts[i]);
        if (!next) {
            auto made = std::make_unique<node>();
            made->name = parts[i];
            made->dir = !last || dir;
            next = adopt(at, std::move(made));
        }
        if (next->dir != (!last || dir)) return nullptr;
        at = next;
    }
    return at;
}

uint32_t attributes_of(const node *n) { return n->dir ? PLAT_FILE_ATTRIBUTE_DIRECTORY : PLAT_FILE_ATTRIBUTE_ARCHIVE; }

void reset_files() {
    file_system &f = fs();
    std::lock_guard<std::mutex> g(f.lock);
    f.root.children.clear();
    f.root.by_name.clear();
    f.root.dir = true;
    f.profile_result = PLAT_S_OK;
    f.profile = u"C:\\Users\\user";
    f.common_result = PLAT_S_OK;
    f.common = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";
    f.open_searches = 0;
    f.task_mem = 0;
    last_error = 0;
}
const bool registered = (mem_on_reset(reset_files), reset_files(), true);

}  // namespace

// ---- set-up and inspection ----

void mem_files_set_profile(plat_hresult result, const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    fs().profile_result = result;
    fs().profile = widen(path);
}

void mem_files_set_common_startup(plat_hresult result, const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    fs().common_result = result;
    fs().common = widen(path);
}

bool mem_files_add_dir(const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    return make_path(path, true) != nullptr;
}

bool mem_files_add_file(const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    node *n = make_path(path, false);
    if (n) n->shortcut = false;
    return n != nullptr;
}

bool mem_files_add_data(const char *path, const std::string &bytes) {
    std::lock_guard<std::mutex> g(fs().lock);
    node *n = make_path(path, false);
    if (!n) return false;
    n->shortcut = false;
    n->data = bytes;
    return true;
}

bool mem_files_read_data(const char16_t *path, std::string *bytes, plat_error *error) {
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> parts;
    *error = PLAT_ERROR_PATH_NOT_FOUND;
    if (!split(path, &parts)) return false;
    node *n = walk(&fs().root, parts, parts.size());
    if (!n) {
        if (walk(&fs().root, parts, parts.size() - 1)) *error = PLAT_ERROR_FILE_NOT_FOUND;
        return false;
    }
    if (n->dir) {
        *error = PLAT_ERROR_ACCESS_DENIED;
        return false;
    }
    *bytes = n->data;
    return true;
}

void mem_files_set_last_error(plat_error code) { last_error = code; }

bool mem_files_add_shortcut(const char *path, const char *target, const char *arguments) {
    std::lock_guard<std::mutex> g(fs().lock);
    node *n = make_path(path, false);
    if (!n) return false;
    n->shortcut = true;
    n->target = widen(target);
    n->arguments = widen(arguments);
    return true;
}

bool mem_files_remove(const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    std::u16string wide = widen(path);
    std::vector<std::u16string> parts;
    if (!split(wide.c_str(), &parts)) return false;
    node *parent = walk(&fs().root, parts, parts.size() - 1);
    node *item = walk(&fs().root, parts, parts.size());
    return parent && item && detach(parent, item) != nullptr;
}

bool mem_files_exists(const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    return lookup(widen(path).c_str()) != nullptr;
}

bool mem_files_is_dir(const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    node *n = lookup(widen(path).c_str());
    return n && n->dir;
}

std::vector<std::string> mem_files_names(const char *dir) {
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::string> names;
    node *n = lookup(widen(dir).c_str());
    if (n && n->dir)
        for (auto &c : n->children) names.push_back(narrow(c->name));
    return names;
}

bool mem_files_shortcut(const char *path, std::string *target, std::string *arguments) {
    std::lock_guard<std::mutex> g(fs().lock);
    node *n = lookup(widen(path).c_str());
    if (!n || n->dir || !n->shortcut) return false;
    if (target) *target = narrow(n->target);
    if (arguments) *arguments = narrow(n->arguments);
    return true;
}

int mem_files_open_searches() {
    std::lock_guard<std::mutex> g(fs().lock);
    return fs().open_searches;
}

int mem_files_task_mem_outstanding() {
    std::lock_guard<std::mutex> g(fs().lock);
    return fs().task_mem;
}

plat_hresult mem_files_read_shortcut(const char16_t *path, std::u16string *target, std::u16string *arguments) {
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> parts;
    if (!split(path, &parts)) return (plat_hresult)0x80070003;  // path not found
    node *n = walk(&fs().root, parts, parts.size());
    if (!n) return walk(&fs().root, parts, parts.size() - 1) ? (plat_hresult)0x80070002 : (plat_hresult)0x80070003;
    if (n->dir) return PLAT_E_ACCESSDENIED;
    if (!n->shortcut) return PLAT_E_FAIL;
    *target = n->target;
    *arguments = n->arguments;
    return PLAT_S_OK;
}

// ---- the platform operations ----

plat_hresult plat_sh_get_folder_path(int csidl, uint32_t, char16_t *path) {
    int64_t code = 0;
    if (path) path[0] = u'\0';
    if (mem_fault("SHGetFolderPathW", &code)) return (plat_hresult)code;
    std::lock_guard<std::mutex> g(fs().lock);
    if (csidl != PLAT_CSIDL_PROFILE || !path) return PLAT_E_INVALIDARG;
    if (fs().profile_result != PLAT_S_OK) return fs().profile_result;
    if (fs().profile.size() >= PLAT_MAX_PATH) return (plat_hresult)0x800700CE;  // filename exceeds range
    memcpy(path, fs().profile.c_str(), (fs().profile.size() + 1) * sizeof(char16_t));
    return PLAT_S_OK;
}

plat_hresult plat_sh_get_known_folder_path(plat_known_folder folder, uint32_t, char16_t **path) {
    int64_t code = 0;
    if (path) *path = nullptr;
    if (mem_fault("SHGetKnownFolderPath", &code)) return (plat_hresult)code;
    std::lock_guard<std::mutex> g(fs().lock);
    if (folder != PLAT_FOLDERID_COMMON_STARTUP || !path) return PLAT_E_INVALIDARG;
    if (PLAT_FAILED(fs().common_result)) return fs().common_result;
    size_t bytes = (fs().common.size() + 1) * sizeof(char16_t);
    char16_t *copy = (char16_t *)malloc(bytes);
    if (!copy) return PLAT_E_OUTOFMEMORY;
    memcpy(copy, fs().common.c_str(), bytes);
    fs().task_mem++;
    *path = copy;
    return fs().common_result;
}

void plat_co_task_mem_free(void *memory) {
    mem_fault("CoTaskMemFree", nullptr);
    if (!memory) return;
    std::lock_guard<std::mutex> g(fs().lock);
    fs().task_mem--;
    free(memory);
}

plat_find plat_find_first_file(const char16_t *pattern, plat_find_data *data) {
    int64_t code = 0;
    if (mem_fault("FindFirstFileW", &code)) return no_search((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> parts;
    if (!data || !split(pattern, &parts) || parts.size() < 2) return no_search(PLAT_ERROR_PATH_NOT_FOUND);
    node *dir = walk(&fs().root, parts, parts.size() - 1);
    if (!dir || !dir->dir) return no_search(PLAT_ERROR_PATH_NOT_FOUND);
    auto found = std::make_unique<search>();
    for (auto &c : dir->children) {
        if (!wildcard_match(parts.back().c_str(), c->name.c_str())) continue;
        found->matches.push_back({attributes_of(c.get()), c->name});
    }
    if (found->matches.empty()) return no_search(PLAT_ERROR_FILE_NOT_FOUND);
    found->deliver(0, data);
    found->next = 1;
    fs().open_searches++;
    return (plat_find)found.release();
}

int plat_find_next_file(plat_find handle, plat_find_data *data) {
    int64_t code = 0;
    if (mem_fault("FindNextFileW", &code)) return fail((plat_error)code);
    search *s = (search *)handle;
    if (!s || !data) return fail(6);  // invalid handle
    if (s->next >= s->matches.size()) return fail(PLAT_ERROR_NO_MORE_FILES);
    s->deliver(s->next++, data);
    return 1;
}

int plat_find_close(plat_find handle) {
    int64_t code = 0;
    // A refused close still ends the search, so a fault cannot hide a leak.
    bool refused = mem_fault("FindClose", &code);
    search *s = (search *)handle;
    if (!s) return fail(6);
    delete s;
    std::lock_guard<std::mutex> g(fs().lock);
    fs().open_searches--;
    return refused ? fail((plat_error)code) : 1;
}

uint32_t plat_get_file_attributes(const char16_t *path) {
    int64_t code = 0;
    if (mem_fault("GetFileAttributesW", &code)) return no_attributes((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> parts;
    if (!split(path, &parts)) return no_attributes(PLAT_ERROR_PATH_NOT_FOUND);
    node *n = walk(&fs().root, parts, parts.size());
    if (n) return attributes_of(n);
    bool parent = parts.size() > 1 && walk(&fs().root, parts, parts.size() - 1);
    return no_attributes(parent ? PLAT_ERROR_FILE_NOT_FOUND : PLAT_ERROR_PATH_NOT_FOUND);
}

int plat_create_directory(const char16_t *path) {
    int64_t code = 0;
    if (mem_fault("CreateDirectoryW", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> parts;
    if (!split(path, &parts)) return fail(PLAT_ERROR_PATH_NOT_FOUND);
    if (walk(&fs().root, parts, parts.size())) return fail(PLAT_ERROR_ALREADY_EXISTS);
    plat_error error = 0;
    node *parent = parent_of(parts, &error);
    if (!parent) return fail(error);
    if (!valid_name(parts.back()))
        return fail(parts.back().size() > max_name_units ? PLAT_ERROR_FILENAME_EXCED_RANGE : PLAT_ERROR_INVALID_NAME);
    auto made = std::make_unique<node>();
    made->name = parts.back();
    made->dir = true;
    adopt(parent, std::move(made));
    return 1;
}

int plat_remove_directory(const char16_t *path) {
    int64_t code = 0;
    if (mem_fault("RemoveDirectoryW", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> parts;
    if (!split(path, &parts) || parts.size() < 2) return fail(PLAT_ERROR_PATH_NOT_FOUND);
    node *parent = walk(&fs().root, parts, parts.size() - 1);
    node *n = parent ? walk(&fs().root, parts, parts.size()) : nullptr;
    if (!n) return fail(parent ? PLAT_ERROR_FILE_NOT_FOUND : PLAT_ERROR_PATH_NOT_FOUND);
    if (!n->dir) return fail(267);  // ERROR_DIRECTORY
    if (!n->children.empty()) return fail(PLAT_ERROR_DIR_NOT_EMPTY);
    detach(parent, n);
    return 1;
}

int plat_move_file(const char16_t *from, const char16_t *to) {
    int64_t code = 0;
    if (mem_fault("MoveFileW", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> src, dst;
    if (!split(from, &src) || !split(to, &dst) || src.size() < 2) return fail(PLAT_ERROR_PATH_NOT_FOUND);
    node *src_parent = walk(&fs().root, src, src.size() - 1);
    node *item = src_parent ? walk(&fs().root, src, src.size()) : nullptr;
    if (!item) return fail(src_parent ? PLAT_ERROR_FILE_NOT_FOUND : PLAT_ERROR_PATH_NOT_FOUND);
    plat_error error = 0;
    node *dst_parent = parent_of(dst, &error);
    if (!dst_parent) return fail(error);
    node *existing = walk(&fs().root, dst, dst.size());
    if (existing && existing != item) return fail(PLAT_ERROR_ALREADY_EXISTS);
    if (!valid_name(dst.back()))
        return fail(dst.back().size() > max_name_units ? PLAT_ERROR_FILENAME_EXCED_RANGE : PLAT_ERROR_INVALID_NAME);
    if (contains(item, dst_parent)) return fail(PLAT_ERROR_INVALID_PARAMETER);
    std::unique_ptr<node> owned = detach(src_parent, item);
    owned->name = dst.back();
    adopt(dst_parent, std::move(owned));
    return 1;
}

plat_error plat_get_last_error() {
    int64_t code = 0;
    if (mem_fault("GetLastError", &code)) return (plat_error)code;
    return last_error;
}

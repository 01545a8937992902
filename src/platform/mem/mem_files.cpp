// The in-memory file system and shell folder lookups (see mem_files.h for
// the model). Every operation begins with its fault check and, where the
// Win32 call would, leaves its error code for GetLastError on this thread.
#include "mem_files.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "../platform_files.h"
#include "../platform_packages.h"
#include "mem_convert.h"
#include "mem_machine.h"

namespace {

const size_t max_name_units = 255;
// Links followed in a row before a path counts as leading nowhere (a
// circle of links, say).
const int max_link_depth = 8;

struct node {
    std::u16string name;
    node *parent = nullptr;
    bool dir = false;
    bool shortcut = false;
    std::u16string target, arguments;
    // A folder that is a link (a directory symbolic link or junction): it
    // holds nothing itself; paths through it go on at link_target.
    bool link = false;
    std::u16string link_target;
    bool delete_pending = false;  // removed when its last handle closes
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

// A file or folder opened with CreateFileW.
struct open_file {
    node *item;
    uint32_t access, share;
    size_t at = 0;  // where ReadFile goes on
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
    std::vector<open_file *> handles;
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

char16_t fold(char16_t c) { return mem_fold_case(c); }

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
    n->parent = dir;
    dir->by_name[folded(n->name)] = n;
    dir->children.push_back(std::move(item));
    return n;
}

node *walk_links(const std::vector<std::u16string> &parts, size_t count, bool follow_last, int depth);

// Where a link leads, following links in turn; null when nowhere.
node *resolve(node *n, int depth) {
    while (n && n->link) {
        std::vector<std::u16string> parts;
        if (++depth > max_link_depth || !split(n->link_target.c_str(), &parts)) return nullptr;
        n = walk_links(parts, parts.size(), true, depth);
    }
    return n;
}

node *walk_links(const std::vector<std::u16string> &parts, size_t count, bool follow_last, int depth) {
    node *at = &fs().root;
    for (size_t i = 0; i < count && at; i++) {
        at = resolve(at, depth);
        at = at && at->dir ? child(at, parts[i]) : nullptr;
    }
    return follow_last ? resolve(at, depth) : at;
}

// The node at parts[0..count), or null. Links on the way are followed; a
// link at the end is followed only when `follow_last`, as the Win32 calls
// that act on a link itself (attributes, removal, renaming) do not.
node *walk(const std::vector<std::u16string> &parts, size_t count, bool follow_last = true) {
    return walk_links(parts, count, follow_last, 0);
}

node *lookup(const char16_t *path, bool follow_last = true) {
    std::vector<std::u16string> parts;
    if (!split(path, &parts)) return nullptr;
    return walk(parts, parts.size(), follow_last);
}

// The directory that is to hold the last component, with the error code of
// the Win32 calls when there is none.
node *parent_of(const std::vector<std::u16string> &parts, plat_error *error) {
    node *parent = parts.size() > 1 ? walk(parts, parts.size() - 1) : nullptr;
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

bool held_below(const node *tree) {
    for (const open_file *f : fs().handles)
        if (contains(tree, f->item)) return true;
    return false;
}

// Whether an open with `access` and `share` clashes with a handle already
// open on `item`. Opens that only read or write attributes take no part.
bool share_clash(const node *item, uint32_t access, uint32_t share) {
    const uint32_t reads = 0x1u | 0x20u | 0x80000000u | 0x20000000u | 0x10000000u;
    const uint32_t writes = 0x2u | 0x4u | 0x40000000u | 0x10000000u;
    const uint32_t deletes = PLAT_DELETE | 0x10000000u;
    auto clash = [&](uint32_t wanted, uint32_t allowed) {
        return ((wanted & reads) && !(allowed & PLAT_FILE_SHARE_READ)) ||
               ((wanted & writes) && !(allowed & PLAT_FILE_SHARE_WRITE)) ||
               ((wanted & deletes) && !(allowed & PLAT_FILE_SHARE_DELETE));
    };
    if (!(access & (reads | writes | deletes))) return false;
    for (const open_file *f : fs().handles)
        if (f->item == item && (f->access & (reads | writes | deletes)) &&
            (clash(access, f->share) || clash(f->access, share)))
            return true;
    return false;
}

// Renaming and removing open what they act on for deletion, sharing all.
bool delete_refused(const node *item) {
    return share_clash(item, PLAT_DELETE, PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE | PLAT_FILE_SHARE_DELETE);
}

open_file *open_handle(plat_file handle) {
    auto &h = fs().handles;
    auto it = std::find(h.begin(), h.end(), (open_file *)handle);
    return it == h.end() ? nullptr : *it;
}

int fail(plat_error code) {
    last_error = code;
    return 0;
}

plat_find no_search(plat_error code) {
    last_error = code;
    return nullptr;
}

plat_file no_file(plat_error code) {
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
        at = resolve(at, 0);
        if (!at || !at->dir) return nullptr;
        node *next = child(at, parts[i]);
        if (next && last && next->link) return nullptr;
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

uint32_t attributes_of(const node *n) {
    if (n->link) return PLAT_FILE_ATTRIBUTE_DIRECTORY | PLAT_FILE_ATTRIBUTE_REPARSE_POINT;
    return n->dir ? PLAT_FILE_ATTRIBUTE_DIRECTORY : PLAT_FILE_ATTRIBUTE_ARCHIVE;
}

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
    for (open_file *h : f.handles) delete h;
    f.handles.clear();
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

bool mem_files_add_shortcut(const char *path, const char *target, const char *arguments) {
    std::lock_guard<std::mutex> g(fs().lock);
    node *n = make_path(path, false);
    if (!n) return false;
    n->shortcut = true;
    n->target = widen(target);
    n->arguments = widen(arguments);
    return true;
}

bool mem_files_add_link(const char *path, const char *target) {
    std::lock_guard<std::mutex> g(fs().lock);
    std::u16string wide = widen(path);
    std::vector<std::u16string> parts;
    if (!split(wide.c_str(), &parts) || parts.size() < 2 || !valid_name(parts.back())) return false;
    size_t cut = wide.find_last_of(u"\\/");
    node *parent = make_path(narrow(wide.substr(0, cut)).c_str(), true);
    if (!parent || child(parent, parts.back())) return false;
    auto made = std::make_unique<node>();
    made->name = parts.back();
    made->dir = made->link = true;
    made->link_target = widen(target);
    adopt(parent, std::move(made));
    return true;
}

bool mem_files_remove(const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    std::u16string wide = widen(path);
    std::vector<std::u16string> parts;
    if (!split(wide.c_str(), &parts)) return false;
    node *item = walk(parts, parts.size(), false);
    return item && item->parent && !held_below(item) && detach(item->parent, item) != nullptr;
}

bool mem_files_exists(const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    return lookup(widen(path).c_str(), false) != nullptr;
}

bool mem_files_is_link(const char *path) {
    std::lock_guard<std::mutex> g(fs().lock);
    node *n = lookup(widen(path).c_str(), false);
    return n && n->link;
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

int mem_files_open_handles() {
    std::lock_guard<std::mutex> g(fs().lock);
    return (int)fs().handles.size();
}


plat_hresult mem_files_read_shortcut(const char16_t *path, std::u16string *target, std::u16string *arguments) {
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> parts;
    if (!split(path, &parts)) return (plat_hresult)0x80070003;  // path not found
    node *n = walk(parts, parts.size());
    if (!n) return walk(parts, parts.size() - 1) ? (plat_hresult)0x80070002 : (plat_hresult)0x80070003;
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
    node *dir = walk(parts, parts.size() - 1);
    if (!dir || !dir->dir) return no_search(PLAT_ERROR_PATH_NOT_FOUND);
    auto found = std::make_unique<search>();
    // A directory other than a drive's root lists itself and its parent first.
    if (parts.size() > 2)
        for (const char16_t *dot : {u".", u".."})
            if (wildcard_match(parts.back().c_str(), dot))
                found->matches.push_back({PLAT_FILE_ATTRIBUTE_DIRECTORY, dot});
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
    node *n = walk(parts, parts.size(), false);
    if (n) return attributes_of(n);
    bool parent = parts.size() > 1 && walk(parts, parts.size() - 1);
    return no_attributes(parent ? PLAT_ERROR_FILE_NOT_FOUND : PLAT_ERROR_PATH_NOT_FOUND);
}

int plat_create_directory(const char16_t *path) {
    int64_t code = 0;
    if (mem_fault("CreateDirectoryW", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> parts;
    if (!split(path, &parts)) return fail(PLAT_ERROR_PATH_NOT_FOUND);
    if (walk(parts, parts.size(), false)) return fail(PLAT_ERROR_ALREADY_EXISTS);
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
    node *parent = walk(parts, parts.size() - 1);
    node *n = parent ? walk(parts, parts.size(), false) : nullptr;
    if (!n) return fail(parent ? PLAT_ERROR_FILE_NOT_FOUND : PLAT_ERROR_PATH_NOT_FOUND);
    if (!n->dir) return fail(267);  // ERROR_DIRECTORY
    if (delete_refused(n)) return fail(PLAT_ERROR_SHARING_VIOLATION);  // its open for deletion comes first
    if (!n->children.empty()) return fail(PLAT_ERROR_DIR_NOT_EMPTY);   // a link holds nothing: it goes itself
    detach(n->parent, n);
    return 1;
}

int plat_move_file(const char16_t *from, const char16_t *to) {
    int64_t code = 0;
    if (mem_fault("MoveFileW", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    std::vector<std::u16string> src, dst;
    if (!split(from, &src) || !split(to, &dst) || src.size() < 2) return fail(PLAT_ERROR_PATH_NOT_FOUND);
    node *src_parent = walk(src, src.size() - 1);
    node *item = src_parent ? walk(src, src.size(), false) : nullptr;
    if (!item) return fail(src_parent ? PLAT_ERROR_FILE_NOT_FOUND : PLAT_ERROR_PATH_NOT_FOUND);
    if (delete_refused(item)) return fail(PLAT_ERROR_SHARING_VIOLATION);
    plat_error error = 0;
    node *dst_parent = parent_of(dst, &error);
    if (!dst_parent) return fail(error);
    node *existing = walk(dst, dst.size(), false);
    if (existing && existing != item) return fail(PLAT_ERROR_ALREADY_EXISTS);
    if (!valid_name(dst.back()))
        return fail(dst.back().size() > max_name_units ? PLAT_ERROR_FILENAME_EXCED_RANGE : PLAT_ERROR_INVALID_NAME);
    if (contains(item, dst_parent)) return fail(PLAT_ERROR_INVALID_PARAMETER);
    std::unique_ptr<node> owned = detach(item->parent, item);
    owned->name = dst.back();
    adopt(dst_parent, std::move(owned));
    return 1;
}

plat_file plat_create_file(const char16_t *path, uint32_t access, uint32_t share, uint32_t creation, uint32_t flags) {
    int64_t code = 0;
    if (mem_fault("CreateFileW", &code)) return no_file((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    if (creation != PLAT_OPEN_EXISTING) return no_file(PLAT_ERROR_INVALID_PARAMETER);  // the only one modelled
    std::vector<std::u16string> parts;
    if (!split(path, &parts) || parts.size() < 2) return no_file(PLAT_ERROR_PATH_NOT_FOUND);
    node *parent = walk(parts, parts.size() - 1);
    node *n = parent && parent->dir ? child(parent, parts.back()) : nullptr;
    if (!parent || !parent->dir) return no_file(PLAT_ERROR_PATH_NOT_FOUND);
    if (n && !(flags & PLAT_FILE_FLAG_OPEN_REPARSE_POINT)) n = resolve(n, 0);
    if (!n) return no_file(PLAT_ERROR_FILE_NOT_FOUND);
    if (n->dir && !(flags & PLAT_FILE_FLAG_BACKUP_SEMANTICS)) return no_file(PLAT_ERROR_ACCESS_DENIED);
    if (share_clash(n, access, share)) return no_file(PLAT_ERROR_SHARING_VIOLATION);
    fs().handles.push_back(new open_file{n, access, share});
    return (plat_file)fs().handles.back();
}

int plat_set_file_information_by_handle(plat_file handle, plat_file_info_class info_class, const void *info,
                                        uint32_t size) {
    int64_t code = 0;
    if (mem_fault("SetFileInformationByHandle", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    open_file *f = open_handle(handle);
    if (!f) return fail(PLAT_ERROR_INVALID_HANDLE);
    if (info_class != PLAT_FILE_DISPOSITION_INFO || !info || size != sizeof(plat_file_disposition_info))
        return fail(PLAT_ERROR_INVALID_PARAMETER);
    bool remove = ((const plat_file_disposition_info *)info)->delete_file != 0;
    if (remove && !(f->access & (PLAT_DELETE | 0x10000000u))) return fail(PLAT_ERROR_ACCESS_DENIED);
    if (remove && !f->item->children.empty()) return fail(PLAT_ERROR_DIR_NOT_EMPTY);
    f->item->delete_pending = remove;
    return 1;
}

int plat_get_file_size_ex(plat_file handle, uint64_t *size) {
    int64_t code = 0;
    if (mem_fault("GetFileSizeEx", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    open_file *f = open_handle(handle);
    if (!f) return fail(PLAT_ERROR_INVALID_HANDLE);
    *size = f->item->dir ? 0 : f->item->data.size();
    return 1;
}

int plat_read_file(plat_file handle, void *buffer, uint32_t to_read, uint32_t *read) {
    int64_t code = 0;
    *read = 0;
    if (mem_fault("ReadFile", &code)) return fail((plat_error)code);
    std::lock_guard<std::mutex> g(fs().lock);
    open_file *f = open_handle(handle);
    if (!f) return fail(PLAT_ERROR_INVALID_HANDLE);
    if (f->item->dir) return fail(1);  // ERROR_INVALID_FUNCTION
    if (!(f->access & (PLAT_GENERIC_READ | 0x1u /* FILE_READ_DATA */))) return fail(PLAT_ERROR_ACCESS_DENIED);
    const std::string &data = f->item->data;
    size_t n = f->at < data.size() ? std::min<size_t>(to_read, data.size() - f->at) : 0;
    if (n) memcpy(buffer, data.data() + f->at, n);
    f->at += n;
    *read = (uint32_t)n;
    return 1;
}

int plat_close_handle(plat_file handle) {
    int64_t code = 0;
    // A refused close still closes, so a fault cannot hide a leak.
    bool refused = mem_fault("CloseHandle", &code);
    std::lock_guard<std::mutex> g(fs().lock);
    open_file *f = open_handle(handle);
    if (!f) return fail(PLAT_ERROR_INVALID_HANDLE);
    auto &h = fs().handles;
    h.erase(std::find(h.begin(), h.end(), f));
    node *item = f->item;
    delete f;
    bool last = std::none_of(h.begin(), h.end(), [&](const open_file *o) { return o->item == item; });
    if (last && item->delete_pending && item->children.empty() && item->parent) detach(item->parent, item);
    return refused ? fail((plat_error)code) : 1;
}

plat_error plat_get_last_error() {
    int64_t code = 0;
    if (mem_fault("GetLastError", &code)) return (plat_error)code;
    return last_error;
}

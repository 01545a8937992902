// The in-memory file reads and indirect strings (see mem_packages.h).
#include "mem_packages.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "../platform_packages.h"
#include "mem_convert.h"
#include "mem_files.h"
#include "mem_machine.h"

namespace {

#define MEM_E_INDIRECT_NOT_FOUND ((plat_hresult)0x80073B17)  // the resource is not there

struct open_file {
    std::string bytes;
    size_t at = 0;
};

struct packages {
    std::mutex lock;
    std::map<uintptr_t, open_file> files;
    uintptr_t next = 0x2000;
    std::map<std::u16string, std::u16string> indirect;
};

packages &pk() {
    static packages p;
    return p;
}

void reset_packages() {
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    p.files.clear();
    p.next = 0x2000;
    p.indirect.clear();
}
const bool registered = (mem_on_reset(reset_packages), true);

// The open file behind a handle, or null with ERROR_INVALID_HANDLE set.
open_file *file_of(packages &p, plat_file file) {
    auto it = p.files.find((uintptr_t)file);
    if (it != p.files.end()) return &it->second;
    mem_files_set_last_error(6);  // ERROR_INVALID_HANDLE
    return nullptr;
}

}  // namespace

void mem_packages_set_indirect(const char *source, const char *text) {
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    p.indirect[mem_widen(source)] = mem_widen(text);
}

int mem_packages_open_files() {
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    return (int)p.files.size();
}

plat_file plat_create_file(const char16_t *path, uint32_t access, uint32_t, uint32_t disposition, uint32_t) {
    int64_t code = 0;
    if (mem_fault("CreateFileW", &code)) {
        mem_files_set_last_error((plat_error)code);
        return nullptr;
    }
    // Only what the library asks for: an existing file, read.
    if (access != PLAT_GENERIC_READ || disposition != PLAT_OPEN_EXISTING) {
        mem_files_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    open_file f;
    plat_error error = 0;
    if (!mem_files_read_data(path, &f.bytes, &error)) {
        mem_files_set_last_error(error);
        return nullptr;
    }
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    uintptr_t h = p.next;
    p.next += 4;
    p.files[h] = std::move(f);
    return (plat_file)h;
}

int plat_get_file_size_ex(plat_file file, uint64_t *size) {
    int64_t code = 0;
    if (mem_fault("GetFileSizeEx", &code)) {
        mem_files_set_last_error((plat_error)code);
        return 0;
    }
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    open_file *f = file_of(p, file);
    if (!f) return 0;
    *size = f->bytes.size();
    return 1;
}

int plat_read_file(plat_file file, void *buffer, uint32_t to_read, uint32_t *read) {
    int64_t code = 0;
    *read = 0;
    if (mem_fault("ReadFile", &code)) {
        mem_files_set_last_error((plat_error)code);
        return 0;
    }
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    open_file *f = file_of(p, file);
    if (!f) return 0;
    size_t n = std::min<size_t>(to_read, f->bytes.size() - f->at);
    if (n) memcpy(buffer, f->bytes.data() + f->at, n);
    f->at += n;
    *read = (uint32_t)n;
    return 1;
}

int plat_close_handle(plat_file file) {
    int64_t code = 0;
    if (mem_fault("CloseHandle", &code)) {
        mem_files_set_last_error((plat_error)code);
        return 0;
    }
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    if (p.files.erase((uintptr_t)file)) return 1;
    mem_files_set_last_error(6);
    return 0;
}

plat_hresult plat_sh_load_indirect_string(const char16_t *source, char16_t *out, uint32_t out_units) {
    int64_t code = 0;
    if (out && out_units) out[0] = u'\0';
    if (mem_fault("SHLoadIndirectString", &code)) return (plat_hresult)code;
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    auto it = p.indirect.find(source ? std::u16string(source) : std::u16string());
    if (it == p.indirect.end()) return MEM_E_INDIRECT_NOT_FOUND;
    // As shlwapi does: a text that does not fit is cut to the buffer.
    size_t n = std::min<size_t>(it->second.size(), out_units ? out_units - 1 : 0);
    if (!out_units) return PLAT_E_INVALIDARG;
    memcpy(out, it->second.data(), n * sizeof(char16_t));
    out[n] = u'\0';
    return PLAT_S_OK;
}

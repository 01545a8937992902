// The in-memory Shell Link: one reference-counted object behind both
// handles (the link and its IPersistFile), which Load fills from a
// shortcut file of the in-memory tree. Creating it needs COM entered on the
// calling thread, as CoCreateInstance does.
#include <cstring>
#include <mutex>
#include <string>

#include "../platform_shell_link.h"
#include "mem_com.h"
#include "mem_files.h"
#include "mem_machine.h"

namespace {

struct link_object {
    int references = 1;
    bool loaded = false;
    std::u16string target, arguments;
};

std::mutex live_lock;
int live = 0;

link_object *object_of(plat_shell_link link) { return (link_object *)link; }
link_object *object_of(plat_persist_file file) { return (link_object *)file; }

void release(link_object *object) {
    if (!object || --object->references > 0) return;
    delete object;
    std::lock_guard<std::mutex> g(live_lock);
    live--;
}

// Copies `text` into `buffer` as the shell does: cut to capacity - 1 units.
void copy_out(const std::u16string &text, char16_t *buffer, int capacity) {
    size_t n = text.size() < (size_t)capacity - 1 ? text.size() : (size_t)capacity - 1;
    memcpy(buffer, text.data(), n * sizeof(char16_t));
    buffer[n] = u'\0';
}

void reset_links() {
    std::lock_guard<std::mutex> g(live_lock);
    live = 0;
}
const bool registered = (mem_on_reset(reset_links), true);

}  // namespace

int mem_shell_link_live() {
    std::lock_guard<std::mutex> g(live_lock);
    return live;
}

plat_hresult plat_create_shell_link(plat_shell_link *link) {
    int64_t code = 0;
    if (link) *link = nullptr;
    if (mem_fault("CoCreateInstance", &code)) return (plat_hresult)code;
    if (!link) return PLAT_E_INVALIDARG;
    if (mem_com_depth() <= 0) return PLAT_CO_E_NOTINITIALIZED;
    *link = (plat_shell_link) new link_object();
    std::lock_guard<std::mutex> g(live_lock);
    live++;
    return PLAT_S_OK;
}

plat_hresult plat_shell_link_query_persist_file(plat_shell_link link, plat_persist_file *file) {
    int64_t code = 0;
    if (file) *file = nullptr;
    if (mem_fault("IShellLinkW::QueryInterface", &code)) return (plat_hresult)code;
    if (!link || !file) return PLAT_E_INVALIDARG;
    object_of(link)->references++;
    *file = (plat_persist_file)link;
    return PLAT_S_OK;
}

plat_hresult plat_persist_file_load(plat_persist_file file, const char16_t *path, uint32_t) {
    int64_t code = 0;
    if (mem_fault("IPersistFile::Load", &code)) return (plat_hresult)code;
    if (!file || !path) return PLAT_E_INVALIDARG;
    link_object *object = object_of(file);
    plat_hresult hr = mem_files_read_shortcut(path, &object->target, &object->arguments);
    object->loaded = !PLAT_FAILED(hr);
    return hr;
}

plat_hresult plat_shell_link_get_path(plat_shell_link link, char16_t *path, int capacity, uint32_t) {
    int64_t code = 0;
    if (mem_fault("IShellLinkW::GetPath", &code)) return (plat_hresult)code;
    if (!link || !path || capacity <= 0) return PLAT_E_INVALIDARG;
    link_object *object = object_of(link);
    // A link without a file-system target answers S_FALSE and no text.
    if (!object->loaded || object->target.empty()) {
        path[0] = u'\0';
        return PLAT_S_FALSE;
    }
    copy_out(object->target, path, capacity);
    return PLAT_S_OK;
}

plat_hresult plat_shell_link_get_arguments(plat_shell_link link, char16_t *arguments, int capacity) {
    int64_t code = 0;
    if (mem_fault("IShellLinkW::GetArguments", &code)) return (plat_hresult)code;
    if (!link || !arguments || capacity <= 0) return PLAT_E_INVALIDARG;
    copy_out(object_of(link)->arguments, arguments, capacity);
    return PLAT_S_OK;
}

void plat_persist_file_release(plat_persist_file file) {
    mem_fault("IPersistFile::Release", nullptr);
    release(object_of(file));
}

void plat_shell_link_release(plat_shell_link link) {
    mem_fault("IShellLinkW::Release", nullptr);
    release(object_of(link));
}

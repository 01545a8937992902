// The in-memory indirect strings (see mem_packages.h).
#include "mem_packages.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "../platform_packages.h"
#include "mem_convert.h"
#include "mem_machine.h"

namespace {

#define MEM_E_INDIRECT_NOT_FOUND ((plat_hresult)0x80073B17)  // the resource is not there

struct packages {
    std::mutex lock;
    std::map<std::u16string, std::u16string> indirect;
};

packages &pk() {
    static packages p;
    return p;
}

void reset_packages() {
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    p.indirect.clear();
}
const bool registered = (mem_on_reset(reset_packages), true);

}  // namespace

void mem_packages_set_indirect(const char *source, const char *text) {
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    p.indirect[mem_widen(source)] = mem_widen(text);
}

plat_hresult plat_sh_load_indirect_string(const char16_t *source, char16_t *out, uint32_t out_units) {
    int64_t code = 0;
    if (out && out_units) out[0] = u'\0';
    if (mem_fault("SHLoadIndirectString", &code)) return (plat_hresult)code;
    packages &p = pk();
    std::lock_guard<std::mutex> g(p.lock);
    std::u16string text = source ? std::u16string(source) : std::u16string();
    auto it = p.indirect.find(text);
    // As shlwapi does: a text that is no reference ("@...") comes back as it is.
    if (it == p.indirect.end() && !text.empty() && text[0] == u'@') return MEM_E_INDIRECT_NOT_FOUND;
    const std::u16string &found = it == p.indirect.end() ? text : it->second;
    // As shlwapi does: a text that does not fit is cut to the buffer.
    size_t n = std::min<size_t>(found.size(), out_units ? out_units - 1 : 0);
    if (!out_units) return PLAT_E_INVALIDARG;
    memcpy(out, found.data(), n * sizeof(char16_t));
    out[n] = u'\0';
    return PLAT_S_OK;
}

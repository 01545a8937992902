// Fuzzes the listing writer: entries whose every text holds arbitrary
// bytes are appended as the providers append them and the document is
// written as the listing writes it. When every text is valid UTF-8 the
// output must be exactly the compact JSON that the reference escaper
// gives, and must parse back to the same texts; otherwise the write must
// fail, which the listing turns into "[]".
//
// Input: two flag bytes (bit i of the first: entry i enabled; of the
// second: entry i without a command), then the texts separated by NUL
// bytes, four per entry (id, source, name, command), at most eight entries.
#include <yyjson.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_oracles.h"
#include "interface/listing.h"

namespace {

struct fuzz_entry {
    std::string texts[4];
    bool enabled = false, command_absent = false;
};

std::vector<fuzz_entry> split(const uint8_t *data, size_t size) {
    std::vector<fuzz_entry> entries;
    if (size < 2) return entries;
    uint8_t enabled = data[0], absent = data[1];
    std::vector<std::string> texts;
    std::string cur;
    for (size_t i = 2; i < size; i++) {
        if (data[i] == 0) {
            texts.push_back(cur);
            cur.clear();
        } else {
            cur += (char)data[i];
        }
    }
    texts.push_back(cur);
    for (size_t i = 0; i < texts.size() && entries.size() < 8; i += 4) {
        fuzz_entry e;
        for (int k = 0; k < 4; k++)
            if (i + k < texts.size()) e.texts[k] = texts[i + k];
        size_t n = entries.size();
        e.enabled = enabled >> n & 1;
        e.command_absent = absent >> n & 1;
        entries.push_back(e);
    }
    return entries;
}

const char *keys[4] = {"id", "source", "name", "command"};

std::string expected_json(const std::vector<fuzz_entry> &entries) {
    std::string out = "[";
    for (size_t i = 0; i < entries.size(); i++) {
        const fuzz_entry &e = entries[i];
        out += i ? ",{" : "{";
        for (int k = 0; k < 4; k++) {
            if (k == 3 && e.command_absent) continue;
            out += std::string("\"") + keys[k] + "\":" + json_string(e.texts[k]) + ",";
        }
        out += std::string("\"enabled\":") + (e.enabled ? "true" : "false") +
               ",\"location\":\"\",\"scope\":\"\",\"image\":\"\",\"image_exists\":false,\"publisher\":\"\","
               "\"description\":\"\"}";  // details left unset are written empty
    }
    return out + "]";
}

void check_parses_back(const std::string &text, const std::vector<fuzz_entry> &entries) {
    yyjson_doc *doc = yyjson_read(text.data(), text.size(), 0);
    FUZZ_CHECK(doc, "output does not parse: %s", text.c_str());
    yyjson_val *root = yyjson_doc_get_root(doc);
    FUZZ_CHECK(yyjson_is_arr(root) && yyjson_arr_size(root) == entries.size(), "array size");
    for (size_t i = 0; i < entries.size(); i++) {
        yyjson_val *obj = yyjson_arr_get(root, i);
        for (int k = 0; k < 4; k++) {
            yyjson_val *v = yyjson_obj_get(obj, keys[k]);
            if (k == 3 && entries[i].command_absent) {
                FUZZ_CHECK(!v, "absent command written");
                continue;
            }
            FUZZ_CHECK(yyjson_is_str(v) && std::string(yyjson_get_str(v), yyjson_get_len(v)) == entries[i].texts[k],
                       "member %s of entry %zu read back differently", keys[k], i);
        }
        FUZZ_CHECK(yyjson_get_bool(yyjson_obj_get(obj, "enabled")) == entries[i].enabled, "enabled");
    }
    yyjson_doc_free(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<fuzz_entry> entries = split(data, size);
    listing list;
    listing_begin(&list);
    bool all_valid = true;
    for (const fuzz_entry &e : entries) {
        startup_entry se = {e.texts[0].c_str(), e.texts[1].c_str(), e.texts[2].c_str(),
                            e.command_absent ? nullptr : e.texts[3].c_str(), e.enabled};
        append_entry(&list, &se);
        for (int k = 0; k < 4; k++)
            if (!(k == 3 && e.command_absent)) all_valid = all_valid && utf8_valid(e.texts[k]);
    }
    char *text = listing_finish(&list);
    if (!all_valid) {
        FUZZ_CHECK(!text, "text that is not UTF-8 was written: %s", text);
        return 0;
    }
    FUZZ_CHECK(text, "valid entries not written");
    std::string got = text;
    free(text);
    std::string want = expected_json(entries);
    FUZZ_CHECK(got == want, "output differs:\n got  %s\n want %s", got.c_str(), want.c_str());
    check_parses_back(got, entries);
    return 0;
}

// The packaged apps' items of a listing, for the in-memory and the
// end-to-end tests.
#pragma once

#include <yyjson.h>

#include <string>
#include <vector>

struct package_row {
    std::string id, name, command, location, scope, image, publisher, description;
    bool enabled = false, image_exists = false;
};

inline std::vector<package_row> package_rows_of(const std::string &text) {
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    std::vector<package_row> rows;
    size_t i, n;
    yyjson_val *o;
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, o) {
        auto s = [&](const char *k) {
            const char *v = yyjson_get_str(yyjson_obj_get(o, k));
            return std::string(v ? v : "<missing>");
        };
        if (s("source") != "package") continue;
        rows.push_back({s("id"), s("name"), s("command"), s("location"), s("scope"), s("image"), s("publisher"),
                        s("description"), yyjson_get_bool(yyjson_obj_get(o, "enabled")),
                        yyjson_get_bool(yyjson_obj_get(o, "image_exists"))});
    }
    yyjson_doc_free(doc);
    return rows;
}

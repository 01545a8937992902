// Shared set-up of the startup-folder tests: the default folders of the
// in-memory machine and the startup entries of a listing.
#pragma once

#include <yyjson.h>

#include <cstdio>
#include <string>
#include <vector>

#include "interface/entry_id.h"
#include "platform/mem/mem_files.h"
#include "test_support.h"

#define USER_STARTUP "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"
#define COMMON_STARTUP "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"

struct listed_shortcut {
    std::string id, name, command;
    bool has_command;
    bool enabled;
};

// The "startup" entries of a fresh listing, in listing order.
inline std::vector<listed_shortcut> list_shortcuts() {
    std::string text = list_text();
    std::vector<listed_shortcut> out;
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    yyjson_val *item;
    yyjson_arr_iter it = yyjson_arr_iter_with(yyjson_doc_get_root(doc));
    while ((item = yyjson_arr_iter_next(&it))) {
        const char *source = yyjson_get_str(yyjson_obj_get(item, "source"));
        if (!source || std::string(source) != "startup") continue;
        yyjson_val *command = yyjson_obj_get(item, "command");
        out.push_back({yyjson_get_str(yyjson_obj_get(item, "id")), yyjson_get_str(yyjson_obj_get(item, "name")),
                       command ? yyjson_get_str(command) : "", command != nullptr,
                       yyjson_get_bool(yyjson_obj_get(item, "enabled"))});
    }
    yyjson_doc_free(doc);
    return out;
}

inline std::string startup_id(const std::string &full_path) {
    char id[ENTRY_ID_SIZE];
    snprintf(id, sizeof id, "startup:%016llx", (unsigned long long)expected_hash(full_path, true));
    return id;
}

inline std::string user_path(const std::string &rest) { return USER_STARTUP "\\" + rest; }
inline std::string common_path(const std::string &rest) { return COMMON_STARTUP "\\" + rest; }

// A shortcut whose target names its own file, to tell files apart.
inline void add_shortcut(const std::string &path) {
    ASSERT_TRUE(mem_files_add_shortcut(path.c_str(), ("C:\\Apps\\" + path.substr(path.rfind('\\') + 1)).c_str(), ""))
        << path;
}

inline std::string target_of(const std::string &path) {
    std::string target;
    return mem_files_shortcut(path.c_str(), &target, nullptr) ? target : "<none>";
}

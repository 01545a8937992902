// Shared helpers of the run-key tests: a fixture that also checks that every
// registry handle was closed, the listing parsed into records, and short
// ways to set up and read back values.
#pragma once

#include <yyjson.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/mem/mem_registry.h"
#include "providers/run_keys.h"
#include "providers/startup_approved.h"
#include "test_support.h"

#define RUN "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUNONCE "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define RUN32 "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"
#define RUNONCE32 "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define POLICY "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"
#define APPROVED32 APPROVED_RUN32
#define APPROVED APPROVED_RUN

static const plat_hkey HKCU = PLAT_HKEY_CURRENT_USER;
static const plat_hkey HKLM = PLAT_HKEY_LOCAL_MACHINE;

class RunKeyFixture : public MachineTest {
  protected:
    void TearDown() override {
        EXPECT_EQ(mem_reg_open_handles(), 0) << "a registry handle was left open";
        MachineTest::TearDown();
    }
};

struct listed {
    std::string id, source, name, command;
    bool has_name = false, has_command = false, enabled = false;
};

// The listing's entries; fails the test when the text is not a JSON array.
inline std::vector<listed> listed_entries() {
    std::string text = list_text();
    std::vector<listed> out;
    yyjson_doc *doc = yyjson_read(text.data(), text.size(), 0);
    EXPECT_TRUE(doc && yyjson_is_arr(yyjson_doc_get_root(doc))) << text;
    if (!doc) return out;
    size_t i, n;
    yyjson_val *obj;
    yyjson_arr_foreach(yyjson_doc_get_root(doc), i, n, obj) {
        listed e;
        e.id = yyjson_get_str(yyjson_obj_get(obj, "id"));
        e.source = yyjson_get_str(yyjson_obj_get(obj, "source"));
        yyjson_val *name = yyjson_obj_get(obj, "name"), *command = yyjson_obj_get(obj, "command");
        e.has_name = name != nullptr;
        e.has_command = command != nullptr;
        if (name) e.name = yyjson_get_str(name);
        if (command) e.command = yyjson_get_str(command);
        e.enabled = yyjson_get_bool(yyjson_obj_get(obj, "enabled"));
        out.push_back(e);
    }
    yyjson_doc_free(doc);
    return out;
}

inline std::string run_id(int per_user, const char *subkey, const char *name, const char *source = "runkey") {
    char id[64];
    // Policy values hash under their own kind, the name always as UTF-8.
    std::string kind = std::string(source) == "policy" ? "policy" : "runkey";
    std::string key_text = kind + "|d" + std::to_string(per_user) + "|" + subkey + "|" + name;
    snprintf(id, sizeof id, "%s:%016llx", source, (unsigned long long)expected_hash(key_text));
    return id;
}

// 8-bit names of a key's values, in enumeration order.
inline std::vector<std::string> names_of(plat_hkey root, const char *subkey) {
    std::vector<std::string> out;
    for (const mem_reg_value &v : mem_reg_values(root, subkey)) {
        mem_reg_value copy = v;
        copy.type = PLAT_REG_SZ;
        copy.data = mem_reg_utf16_bytes(v.name);
        out.push_back(mem_reg_ansi_text(copy));
    }
    return out;
}

inline bool has_value(plat_hkey root, const char *subkey, const char *name) {
    return mem_reg_find(root, subkey, name, nullptr);
}

// A value's stored bytes; empty when it is missing.
inline std::vector<uint8_t> bytes_of(plat_hkey root, const char *subkey, const char *name) {
    mem_reg_value v;
    return mem_reg_find(root, subkey, name, &v) ? v.data : std::vector<uint8_t>();
}

inline std::string text_of(plat_hkey root, const char *subkey, const char *name) {
    mem_reg_value v;
    return mem_reg_find(root, subkey, name, &v) ? mem_reg_ansi_text(v) : "<missing>";
}

// Every value of both Run keys and both StartupApproved keys, for "nothing changed" checks.
struct run_snapshot {
    std::vector<mem_reg_value> values[4];
};

inline run_snapshot snapshot() {
    run_snapshot s;
    s.values[0] = mem_reg_values(HKCU, RUN);
    s.values[1] = mem_reg_values(HKLM, RUN);
    s.values[2] = mem_reg_values(HKCU, APPROVED);
    s.values[3] = mem_reg_values(HKLM, APPROVED);
    return s;
}

// Same values with the same types and bytes; order aside, since a rename
// that is undone puts the value back at the end of its key.
inline bool same_values(std::vector<mem_reg_value> a, std::vector<mem_reg_value> b) {
    auto by_name = [](const mem_reg_value &x, const mem_reg_value &y) { return x.name < y.name; };
    std::sort(a.begin(), a.end(), by_name);
    std::sort(b.begin(), b.end(), by_name);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data) return false;
    return true;
}

inline bool same_snapshot(const run_snapshot &a, const run_snapshot &b) {
    for (int i = 0; i < 4; i++)
        if (!same_values(a.values[i], b.values[i])) return false;
    return true;
}

// The record that switching off writes at `file_time`.
inline std::vector<uint8_t> off_record(uint64_t file_time) {
    std::vector<uint8_t> r = {3, 0, 0, 0};
    for (int i = 0; i < 8; i++) r.push_back((uint8_t)(file_time >> (8 * i)));
    return r;
}

inline const std::vector<uint8_t> on_record = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Switches cut short, as by a killed process: for every kind of switch, the
// machine is frozen after the switch's k-th change, for every k, and no
// undo reaches it. Each state left must lose nothing (the item's type and
// bytes under at least one of its names or places, every copy listed,
// nothing the listing does not show), and one switch from it with the
// wanted state, by any identifier the listing then shows, must finish the
// job: one copy, in the wanted state, with a record that agrees.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "machine_items.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_registry.h"
#include "reliability_support.h"

namespace {

const char run_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char run32_key[] = "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char records_run[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const char records_run32[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
const char records_folder[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
const char user_folder[] = "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const char common_folder[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";
const char user_folder_disabled[] =
    "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\disabled";
const std::vector<uint8_t> off_record = {3, 0, 0, 0, 9, 9, 9, 9, 9, 9, 9, 1};
const std::vector<uint8_t> on_record = {2, 0, 0, 0, 9, 9, 9, 9, 9, 9, 9, 1};

struct totals {
    long states = 0, recoveries = 0;
    ~totals() {
        if (states) printf("cut short: %ld states swept, %ld recoveries, nothing lost\n", states, recoveries);
    }
} swept;

bool marks_off(plat_hkey hive, const char *key, const char *name) {
    mem_reg_value v;
    return mem_reg_find(hive, key, name, &v) && v.type == PLAT_REG_BINARY && !v.data.empty() && (v.data[0] & 1);
}

std::vector<const listed *> listed_as(const std::vector<listed> &items, const char *source, const std::string &a,
                                      const std::string &b) {
    std::vector<const listed *> out;
    for (const listed &e : items)
        if (e.source == source && (e.name == a || e.name == b)) out.push_back(&e);
    return out;
}

// ---- run values ----

struct value_case {
    const char *what;
    plat_hkey hive;
    const char *key, *records;
    bool starts_off;                  // named "Updaterdisabled" at the start
    std::vector<uint8_t> record;      // its record at the start (none when empty)
    bool disabled_record_for_on_name; // also an off record of "Updater" (Task Manager's)
    int wanted;
};

const std::u16string data_text = u"C:\\Program Files\\\u2603\\up.exe --tray";

void set_up_value(const value_case &c) {
    mem_reset();
    std::vector<uint8_t> data = mem_reg_utf16_bytes(data_text);
    const char *name = c.starts_off ? "Updaterdisabled" : "Updater";
    mem_reg_put_w(c.hive, c.key, std::u16string(name, name + strlen(name)), PLAT_REG_EXPAND_SZ, data.data(),
                  data.size());
    mem_reg_put_string(c.hive, c.key, "Neighbour", "n.exe");
    if (!c.record.empty()) mem_reg_put_a(c.hive, c.records, name, PLAT_REG_BINARY, c.record.data(), c.record.size());
    if (c.disabled_record_for_on_name)
        mem_reg_put_a(c.hive, c.records, "Updater", PLAT_REG_BINARY, off_record.data(), off_record.size());
}

// Sets the case up and cuts its switch after `k` changes; the number of
// changes the switch made.
template <class C>
int cut_switch(const C &c, void (*set_up)(const C &), const std::string &id, int k) {
    set_up(c);
    mem_cut_after(k);
    quorvel_set_enabled(id.c_str(), c.wanted);
    int made = mem_changes();
    mem_cut_after(-1);
    return made;
}

int cut_value(const value_case &c, const std::string &id, int k) { return cut_switch(c, set_up_value, id, k); }

// Nothing lost and nothing hidden: every copy holds the value's type and
// bytes, one at least, and the listing shows exactly what the key holds.
void expect_value_kept(const value_case &c, const std::string &where, std::vector<std::string> *ids) {
    std::vector<uint8_t> data = mem_reg_utf16_bytes(data_text);
    int copies = 0;
    for (const char *name : {"Updater", "Updaterdisabled"}) {
        mem_reg_value v;
        if (!mem_reg_find(c.hive, c.key, name, &v)) continue;
        copies++;
        EXPECT_EQ(v.type, PLAT_REG_EXPAND_SZ) << where << " " << name;
        EXPECT_EQ(v.data, data) << where << " " << name;
    }
    EXPECT_GE(copies, 1) << where << ": the value is lost";
    std::vector<listed> items = list_now();
    std::vector<std::string> in_key, shown;
    for (const mem_reg_value &v : mem_reg_values(c.hive, c.key)) in_key.emplace_back(v.name.begin(), v.name.end());
    for (const listed &e : items)
        if (e.source == "runkey") shown.push_back(e.name);
    std::sort(in_key.begin(), in_key.end());
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, in_key) << where << ": the listing does not show what the key holds";
    for (const listed *e : listed_as(items, "runkey", "Updater", "Updaterdisabled")) ids->push_back(e->id);
}

bool has_value_named(const value_case &c, const char *name) { return mem_reg_find(c.hive, c.key, name, nullptr); }

// One copy, in the wanted state, and a record that agrees.
void expect_value_finished(const value_case &c, const std::string &where) {
    bool on = has_value_named(c, "Updater"), off = has_value_named(c, "Updaterdisabled");
    EXPECT_EQ(on, c.wanted == 1) << where;
    EXPECT_EQ(off, c.wanted == 0) << where;
    if (c.wanted)
        EXPECT_FALSE(marks_off(c.hive, c.records, "Updater")) << where << ": an off record stays";
    else
        EXPECT_TRUE(marks_off(c.hive, c.records, "Updaterdisabled")) << where << ": no off record";
    std::vector<listed> items = list_now();
    std::vector<const listed *> copies = listed_as(items, "runkey", "Updater", "Updaterdisabled");
    ASSERT_EQ(copies.size(), 1u) << where;
    EXPECT_EQ(copies[0]->enabled, c.wanted == 1) << where;
    mem_reg_value v;
    ASSERT_TRUE(mem_reg_find(c.hive, c.key, c.wanted ? "Updater" : "Updaterdisabled", &v));
    EXPECT_EQ(v.data, mem_reg_utf16_bytes(data_text)) << where;
}

}  // namespace

class SweepCutShort : public HookedTest {};

TEST_F(SweepCutShort, RunValues) {
    const value_case cases[] = {
        {"user value off", PLAT_HKEY_CURRENT_USER, run_key, records_run, false, {}, false, 0},
        {"user value off, on record", PLAT_HKEY_CURRENT_USER, run_key, records_run, false, on_record, false, 0},
        {"user value on", PLAT_HKEY_CURRENT_USER, run_key, records_run, true, off_record, false, 1},
        {"user value on, both records", PLAT_HKEY_CURRENT_USER, run_key, records_run, true, off_record, true, 1},
        {"user value on in place", PLAT_HKEY_CURRENT_USER, run_key, records_run, false, off_record, false, 1},
        {"machine value off", PLAT_HKEY_LOCAL_MACHINE, run_key, records_run, false, {}, false, 0},
        {"machine value on", PLAT_HKEY_LOCAL_MACHINE, run_key, records_run, true, off_record, false, 1},
        {"32-bit value off", PLAT_HKEY_LOCAL_MACHINE, run32_key, records_run32, false, {}, false, 0},
        {"32-bit value on", PLAT_HKEY_LOCAL_MACHINE, run32_key, records_run32, true, off_record, true, 1},
    };
    for (const value_case &c : cases) {
        set_up_value(c);
        std::string id = id_of(list_now(), "runkey", c.starts_off ? "Updaterdisabled" : "Updater");
        ASSERT_FALSE(id.empty()) << c.what;
        int changes = cut_value(c, id, INT32_MAX);
        expect_value_finished(c, std::string(c.what) + ", uncut");
        for (int k = 0; k <= changes; k++) {
            std::string where = std::string(c.what) + ", cut after " + std::to_string(k);
            cut_value(c, id, k);
            swept.states++;
            std::vector<std::string> ids;
            expect_value_kept(c, where, &ids);
            for (const std::string &copy : ids) {
                cut_value(c, id, k);
                EXPECT_EQ(quorvel_set_enabled(copy.c_str(), c.wanted), 1) << where << " then " << copy << ": "
                                                                          << last_error();
                expect_value_finished(c, where + " then " + copy);
                swept.recoveries++;
            }
        }
    }
}

// ---- shortcuts ----

namespace {

struct link_case {
    const char *what;
    const char *folder;
    plat_hkey hive;
    bool starts_off, disabled_dir, record;
    int wanted;
    const char *linked = nullptr;  // a folder that is a link to C:\Victim: the switch is refused
    const char *file = "Notes.lnk";  // any other file is switched as a shortcut is
};

bool is_link_file(const link_case &c) { return std::string(c.file) == "Notes.lnk"; }

std::string link_at(const link_case &c, bool off) {
    return std::string(c.folder) + (off ? "\\disabled\\" : "\\") + c.file;
}

void set_up_link(const link_case &c) {
    mem_reset();
    if (c.linked) mem_files_add_link(c.linked, "C:\\Victim");
    mem_files_add_dir("C:\\Victim");
    if (c.disabled_dir || c.starts_off) mem_files_add_dir((std::string(c.folder) + "\\disabled").c_str());
    if (is_link_file(c))
        mem_files_add_shortcut(link_at(c, c.starts_off).c_str(), "C:\\Apps\\notes.exe", "--tray \xe2\x98\x83");
    else
        mem_files_add_file(link_at(c, c.starts_off).c_str());
    mem_files_add_shortcut((std::string(c.folder) + "\\Other.lnk").c_str(), "C:\\o.exe", "");
    if (c.record) mem_reg_put_a(c.hive, records_folder, c.file, PLAT_REG_BINARY, off_record.data(), off_record.size());
}

int cut_link(const link_case &c, const std::string &id, int k) { return cut_switch(c, set_up_link, id, k); }

int copies_of(const link_case &c, const std::string &where) {
    int copies = 0;
    for (bool off : {false, true}) {
        std::string target, arguments;
        if (!is_link_file(c)) {
            copies += mem_files_exists(link_at(c, off).c_str()) && !mem_files_is_dir(link_at(c, off).c_str());
            continue;
        }
        if (!mem_files_shortcut(link_at(c, off).c_str(), &target, &arguments)) continue;
        copies++;
        EXPECT_EQ(target, "C:\\Apps\\notes.exe") << where;
        EXPECT_EQ(arguments, "--tray \xe2\x98\x83") << where;
    }
    return copies;
}

}  // namespace

TEST_F(SweepCutShort, Shortcuts) {
    const link_case cases[] = {
        {"user shortcut off", user_folder, PLAT_HKEY_CURRENT_USER, false, false, false, 0},
        {"user shortcut off, folder there", user_folder, PLAT_HKEY_CURRENT_USER, false, true, false, 0},
        {"user shortcut on", user_folder, PLAT_HKEY_CURRENT_USER, true, true, false, 1},
        {"user shortcut on, off record", user_folder, PLAT_HKEY_CURRENT_USER, true, true, true, 1},
        {"user shortcut on in place", user_folder, PLAT_HKEY_CURRENT_USER, false, false, true, 1},
        {"common shortcut off", common_folder, PLAT_HKEY_LOCAL_MACHINE, false, false, false, 0},
        {"common shortcut on, off record", common_folder, PLAT_HKEY_LOCAL_MACHINE, true, true, true, 1},
        {"user shortcut off, subfolder a link", user_folder, PLAT_HKEY_CURRENT_USER, false, false, false, 0,
         user_folder_disabled},
        {"common shortcut on in place, folder a link", common_folder, PLAT_HKEY_LOCAL_MACHINE, false, false, true, 1,
         common_folder},
        {"user file off", user_folder, PLAT_HKEY_CURRENT_USER, false, false, false, 0, nullptr, "Notes.bat"},
        {"common file on, off record", common_folder, PLAT_HKEY_LOCAL_MACHINE, true, true, true, 1, nullptr,
         "Notes.url"},
        {"user file on in place", user_folder, PLAT_HKEY_CURRENT_USER, false, false, true, 1, nullptr, "Notes.cmd"},
        {"user file off, subfolder a link", user_folder, PLAT_HKEY_CURRENT_USER, false, false, false, 0,
         user_folder_disabled, "Notes.bat"},
    };
    for (const link_case &c : cases) {
        set_up_link(c);
        std::string id = id_of(list_now(), "startup", c.file);
        ASSERT_FALSE(id.empty()) << c.what;
        int changes = cut_link(c, id, INT32_MAX);
        if (c.linked) {
            // Refused before its first change: there is nothing to cut.
            EXPECT_EQ(changes, 0) << c.what;
            EXPECT_EQ(copies_of(c, c.what), 1) << c.what;
            EXPECT_TRUE(mem_files_exists(link_at(c, c.starts_off).c_str())) << c.what;
            // What the link leads to: the folder's own files, or nothing.
            std::vector<std::string> victim;
            if (c.linked == common_folder) victim = {"Notes.lnk", "Other.lnk"};
            EXPECT_EQ(mem_files_names("C:\\Victim"), victim) << c.what;
            if (c.record) {
                EXPECT_TRUE(marks_off(c.hive, records_folder, c.file)) << c.what;
            }
            continue;
        }
        for (int k = 0; k <= changes; k++) {
            std::string where = std::string(c.what) + ", cut after " + std::to_string(k);
            cut_link(c, id, k);
            swept.states++;
            EXPECT_GE(copies_of(c, where), 1) << where << ": the file is lost";
            std::vector<listed> items = list_now();
            std::vector<std::string> ids;
            for (const listed &e : items)
                if (e.source == "startup" && e.name == c.file) ids.push_back(e.id);
            EXPECT_EQ(ids.size(), (size_t)copies_of(c, where)) << where << ": every copy listed";
            for (const std::string &copy : ids) {
                cut_link(c, id, k);
                EXPECT_EQ(quorvel_set_enabled(copy.c_str(), c.wanted), 1) << where << ": " << last_error();
                EXPECT_EQ(copies_of(c, where), 1) << where;
                EXPECT_FALSE(mem_files_exists(link_at(c, c.wanted == 1).c_str())) << where;
                if (c.wanted) {
                    EXPECT_FALSE(marks_off(c.hive, records_folder, c.file)) << where;
                }
                std::vector<listed> after = list_now();
                const listed *e = nullptr;
                for (const listed &x : after)
                    if (x.source == "startup" && x.name == c.file) e = &x;
                ASSERT_NE(e, nullptr) << where;
                EXPECT_EQ(e->enabled, c.wanted == 1) << where;
                swept.recoveries++;
            }
        }
    }
}

// A machine with autostart items of every kind, and a record of what it
// holds that a toggle may change only in the permitted way. Shared by the
// sweep, the thread test and the toggle fuzzer (no test framework here).
#pragma once

#include <map>
#include <string>
#include <vector>

// Where every item of one owner lives. Owner "" is the plain set; the
// thread test gives each thread an owner of its own ("t3"), which prefixes
// every name so that no two threads share an item.
struct item_names {
    std::string run_on;        // HKCU Run, enabled
    std::string run_off;       // HKCU Run, disabled (name ends in "disabled")
    std::string run_machine;   // HKLM Run
    std::string run_once;      // HKCU RunOnce
    std::string link_on;       // user Startup folder
    std::string link_off;      // its "disabled" subfolder
    std::string link_common;   // all-users Startup folder
    std::string file_on;       // user Startup folder, a script (beside a desktop.ini)
    std::string file_off;      // the all-users folder's "disabled" subfolder, an Internet shortcut
    std::string policy_user;   // HKCU policy Run value
    std::string policy_machine;  // HKLM policy Run value
    std::string task_on;       // root task folder, logon trigger, enabled
    std::string task_off;      // the same, disabled
    std::string task_vendor;   // a vendor's folder, enabled
    std::string task_hidden;   // a hidden task below it, disabled
    std::string package_on;    // a packaged app's startup task, State 2
    std::string package_off;   // the same package's other task, no State, off by its manifest
};

item_names names_of(const std::string &owner);

// Adds one owner's items (the machine is not reset first).
void add_items(const std::string &owner);
// Adds one more item with any name: kind 0 a current-user Run value (the
// name as 8-bit text), 1 a shortcut in the user's Startup folder (name plus
// ".lnk"), 2 a logon task (each byte one UTF-16 unit), 3 a current-user
// Run value named "Data" holding the name's bytes as raw data of type
// name[0] % 12 (any type, any length, terminated or not). False when the
// machine refuses the name.
bool add_named_item(int kind, const std::string &name);
// Adds a shortcut to each "disabled" subfolder that no toggle ever moves,
// so that no switch-on empties and removes a subfolder another thread is
// about to move a file into.
void add_anchor_shortcuts();

// Swaps the user's "disabled" subfolder (its shortcut goes with it) for a
// link to C:\Victim, a folder holding Prot.lnk: no switch may go through.
void link_user_disabled();

// The listing as records.
struct listed {
    std::string id, source, name, command;
    bool has_id = false, has_source = false, has_name = false, has_command = false, has_enabled = false;
    bool enabled = false;
};
// False when the text is not a JSON array of objects.
bool parse_listing(const char *text, std::vector<listed> *out);
// quorvel_list parsed; aborts the process on a malformed text.
std::vector<listed> list_now();
// The identifier of the listed item with this source and name, or "".
std::string id_of(const std::vector<listed> &items, const char *source, const std::string &name);

// What a toggle may not lose. Run values by key and name, with data and
// type; shortcut files by path with target and arguments; tasks by name
// with their enabled flag; packaged apps' tasks (in `tasks`, "package "
// and the name) with whether their State makes them on.
struct machine_state {
    std::map<std::string, std::string> values;
    std::map<std::string, std::string> files;
    std::map<std::string, int> tasks;
    bool operator==(const machine_state &o) const {
        return values == o.values && files == o.files && tasks == o.tasks;
    }
};
machine_state capture_state();
// The same with every item reduced to its identity (run-value name without
// its "disabled" suffix, shortcut path without its "disabled" folder, task
// flag dropped; run values of one identity with the same type and bytes
// counted once, as a switch may merge such twins): equal before and after
// any toggle, failed or not.
machine_state identities(const machine_state &s);
std::string describe(const machine_state &s);

// Platform objects and handles still held: registry handles, searches,
// open files and folders, shell links, task objects and texts, known-folder texts. 0 after every
// call of the library.
int platform_objects_held();

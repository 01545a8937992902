#include "machine_items.h"

#include <yyjson.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/mem/mem_ansi.h"
#include "platform/mem/mem_details.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_machine.h"
#include "platform/mem/mem_packages.h"
#include "platform/mem/mem_registry.h"
#include "platform/mem/mem_tasks.h"
#include "platform/platform_tasks.h"
#include "quorvel.h"

namespace {

const char run_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char run_once_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char policy_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
const char user_startup[] = "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const char common_startup[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";

const char appmodel[] = "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel";

// The tasks added since the last reset, by name, for capture_state; and
// the packaged apps' tasks with their State keys.
std::mutex tasks_lock;
std::vector<std::pair<std::string, int>> added_tasks;
std::vector<std::pair<std::string, std::string>> added_package_tasks;

void forget_tasks() {
    std::lock_guard<std::mutex> g(tasks_lock);
    added_tasks.clear();
    added_package_tasks.clear();
}
const bool registered = (mem_on_reset(forget_tasks), true);

std::u16string widen(const std::string &s) {
    std::u16string w;
    for (unsigned char c : s) w.push_back(c);  // one unit per byte
    return w;
}

void add_task(const std::string &name, bool enabled, const char16_t *folder = u"\\", bool hidden = false) {
    mem_task_def def;
    def.name = widen(name);
    def.folder = folder;
    def.hidden = hidden;
    def.enabled = enabled ? PLAT_VARIANT_TRUE : PLAT_VARIANT_FALSE;
    def.triggers = {PLAT_TASK_TRIGGER_BOOT, PLAT_TASK_TRIGGER_LOGON};
    def.actions = {{PLAT_TASK_ACTION_EXEC, u"C:\\Tools\\" + widen(name) + u".exe", u"--logon"}};
    int number = mem_task_add(def);
    std::lock_guard<std::mutex> g(tasks_lock);
    added_tasks.emplace_back(name, number);
}

// One package of two startup tasks, the first switched on by its State,
// the second off by its manifest.
void add_package(const std::string &owner, const std::string &on, const std::string &off) {
    std::string full = owner + "Chat_1.0.0.0_x64__pub", folder = "C:\\Apps\\" + full;
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, (std::string(appmodel) + "\\Repository\\Packages\\" + full).c_str(),
                       "PackageRootFolder", folder.c_str());
    auto task = [](const char *id, const char *enabled, const std::string &name, const char *exe) {
        return std::string("<Extension Category=\"windows.startupTask\" Executable=\"") + exe +
               "\"><StartupTask TaskId=\"" + id + "\" Enabled=\"" + enabled + "\" DisplayName=\"" + name +
               "\"/></Extension>";
    };
    mem_files_add_data((folder + "\\AppxManifest.xml").c_str(),
                       "<Package><Properties><DisplayName>ms-resource:App</DisplayName><PublisherDisplayName>Contoso"
                       "</PublisherDisplayName></Properties><Applications><Application Executable=\"chat.exe\">"
                       "<Extensions>" + task("On", "false", on, "chat.exe") + task("Off", "false", off, "tray.exe") +
                       "</Extensions></Application></Applications></Package>");
    mem_files_add_file((folder + "\\chat.exe").c_str());
    mem_packages_set_indirect(("@{" + full + "?ms-resource:App}").c_str(), "Chat");
    std::string states = std::string(appmodel) + "\\SystemAppData\\" + owner + "Chat_pub\\";
    uint32_t two = 2;
    mem_reg_put_a(PLAT_HKEY_CURRENT_USER, (states + "On").c_str(), "State", PLAT_REG_DWORD, &two, 4);
    std::lock_guard<std::mutex> g(tasks_lock);
    added_package_tasks.emplace_back(on, states + "On");
    added_package_tasks.emplace_back(off, states + "Off");
}

std::string path_in(const char *folder, const std::string &name) { return std::string(folder) + "\\" + name; }

std::string lower(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = (char)(c + 32);
    return s;
}

bool ends_disabled(const std::string &name) {
    return name.size() > 8 && lower(name.substr(name.size() - 8)) == "disabled";
}

void capture_key(machine_state *s, plat_hkey root, const char *hive, const char *key) {
    for (const mem_reg_value &v : mem_reg_values(root, key)) {
        std::string name = mem_utf16_to_cp1252(v.name.data(), v.name.size());
        std::string data(v.data.begin(), v.data.end());
        s->values[std::string(hive) + "\\" + key + "|" + name] = std::to_string(v.type) + ":" + data;
    }
}

void capture_folder(machine_state *s, const char *folder) {
    for (const char *sub : {"", "\\disabled"}) {
        std::string dir = std::string(folder) + sub;
        for (const std::string &name : mem_files_names(dir.c_str())) {
            std::string path = dir + "\\" + name, target, arguments;
            if (mem_files_is_dir(path.c_str())) continue;
            bool link = mem_files_shortcut(path.c_str(), &target, &arguments);
            s->files[path] = link ? target + "|" + arguments : "<not a shortcut>";
        }
    }
}

}  // namespace

item_names names_of(const std::string &owner) {
    item_names n;
    n.run_on = owner + "Updater";
    n.run_off = owner + "Helperdisabled";
    n.run_machine = owner + "Agent";
    n.run_once = owner + "Setup";
    n.link_on = owner + "Notes.lnk";
    n.link_off = owner + "Old.lnk";
    n.link_common = owner + "Shared.lnk";
    n.file_on = owner + "Tidy.bat";
    n.file_off = owner + "Sync.url";
    n.policy_user = owner + "Enforced";
    n.policy_machine = owner + "Mandated";
    n.task_on = owner + "LogonTask";
    n.task_off = owner + "QuietTask";
    n.task_vendor = owner + "VendorTask";
    n.task_hidden = owner + "HiddenTask";
    n.package_on = owner + "Chat at logon";
    n.package_off = owner + "Chat in the tray";
    return n;
}

void add_items(const std::string &owner) {
    item_names n = names_of(owner);
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_key, n.run_on.c_str(), "C:\\Tools\\updater.exe --tray");
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_key, n.run_off.c_str(), "%ProgramFiles%\\helper.exe",
                       PLAT_REG_EXPAND_SZ);
    mem_reg_put_string(PLAT_HKEY_LOCAL_MACHINE, run_key, n.run_machine.c_str(), "rundll32 \"C:\\Agent\\agent.dll\",Run");
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_once_key, n.run_once.c_str(), "C:\\Setup\\setup.exe /once");
    mem_files_add_shortcut(path_in(user_startup, n.link_on).c_str(), "C:\\Tools\\notes.exe", "--min");
    mem_files_add_shortcut((std::string(user_startup) + "\\disabled\\" + n.link_off).c_str(),
                           "C:\\Program Files\\Old\\old.exe", "");
    mem_files_add_shortcut(path_in(common_startup, n.link_common).c_str(), "C:\\Shared\\shared.exe", "-q");
    mem_files_add_file(path_in(user_startup, n.file_on).c_str());
    mem_files_add_file(path_in(user_startup, "desktop.ini").c_str());
    mem_files_add_file((std::string(common_startup) + "\\disabled\\" + n.file_off).c_str());
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, policy_key, n.policy_user.c_str(), "C:\\Tools\\updater.exe /policy");
    mem_reg_put_string(PLAT_HKEY_LOCAL_MACHINE, policy_key, n.policy_machine.c_str(), "%ProgramFiles%\\helper.exe",
                       PLAT_REG_EXPAND_SZ);
    add_task(n.task_on, true);
    add_task(n.task_off, false);
    add_task(n.task_vendor, true, u"\\Vendor");
    add_task(n.task_hidden, false, u"\\Vendor\\Updater", true);
    add_task(owner + "SystemTask", true, u"\\Microsoft\\Windows\\Maintenance");  // never listed
    add_package(owner, n.package_on, n.package_off);
    // The files they start, so that every step of reading an image's
    // details is reached: an expanded variable, a search, a host program's
    // DLL, version texts through each kind of table, a file without any.
    mem_details_set_env("ProgramFiles", "C:\\Program Files");
    mem_details_set_env("PATH", "C:\\Tools;relative");
    mem_files_add_file("C:\\Windows\\system32\\rundll32.exe");
    mem_files_add_file("C:\\Program Files\\helper.exe");
    for (const char *file : {"C:\\Tools\\updater.exe", "C:\\Agent\\agent.dll", "C:\\Tools\\notes.exe"}) {
        mem_files_add_file(file);
        mem_details_set_version(file, {0x04e40407}, {{"040704E4", "CompanyName", "Werkzeug GmbH  "},
                                                     {"040904B0", "FileDescription", "Updater"}});
    }
}

bool add_named_item(int kind, const std::string &name) {
    switch (kind) {
    case 0:
        mem_reg_put_string(PLAT_HKEY_CURRENT_USER, run_key, name.c_str(), "C:\\Tools\\named.exe");
        return true;
    case 1:
        return mem_files_add_shortcut(path_in(user_startup, name + ".lnk").c_str(), "C:\\named.exe", "-x");
    case 2:
        add_task(name, true);
        return true;
    default:
        if (name.empty()) return false;
        mem_reg_put_w(PLAT_HKEY_CURRENT_USER, run_key, u"Data", (uint32_t)(unsigned char)name[0] % 12,
                      name.data() + 1, name.size() - 1);
        return true;
    }
}

void add_anchor_shortcuts() {
    for (const char *folder : {user_startup, common_startup})
        mem_files_add_shortcut((std::string(folder) + "\\disabled\\anchor.lnk").c_str(), "C:\\anchor.exe", "");
}

void link_user_disabled() {
    std::string disabled = std::string(user_startup) + "\\disabled";
    mem_files_remove(disabled.c_str());
    mem_files_add_shortcut("C:\\Victim\\Prot.lnk", "C:\\prot.exe", "");
    mem_files_add_link(disabled.c_str(), "C:\\Victim");
}

bool parse_listing(const char *text, std::vector<listed> *out) {
    out->clear();
    if (!text) return false;
    yyjson_doc *doc = yyjson_read(text, strlen(text), 0);
    yyjson_val *root = yyjson_doc_get_root(doc);
    bool ok = yyjson_is_arr(root);
    size_t i, n;
    yyjson_val *obj;
    yyjson_arr_foreach(root, i, n, obj) {
        if (!yyjson_is_obj(obj)) ok = false;
        listed e;
        auto text_of = [&](const char *key, std::string *v, bool *has) {
            yyjson_val *m = yyjson_obj_get(obj, key);
            *has = yyjson_is_str(m);
            if (*has) *v = std::string(yyjson_get_str(m), yyjson_get_len(m));
            if (m && !*has) ok = false;
        };
        text_of("id", &e.id, &e.has_id);
        text_of("source", &e.source, &e.has_source);
        text_of("name", &e.name, &e.has_name);
        text_of("command", &e.command, &e.has_command);
        yyjson_val *en = yyjson_obj_get(obj, "enabled");
        e.has_enabled = yyjson_is_bool(en);
        e.enabled = yyjson_get_bool(en);
        if (en && !e.has_enabled) ok = false;
        out->push_back(e);
    }
    yyjson_doc_free(doc);
    return ok;
}

std::vector<listed> list_now() {
    char *text = quorvel_list();
    std::vector<listed> items;
    if (!parse_listing(text, &items)) {
        fprintf(stderr, "malformed listing: %s\n", text ? text : "<null>");
        abort();
    }
    quorvel_free_string(text);
    return items;
}

std::string id_of(const std::vector<listed> &items, const char *source, const std::string &name) {
    for (const listed &e : items)
        if (e.source == source && e.name == name) return e.id;
    return "";
}

machine_state capture_state() {
    machine_state s;
    capture_key(&s, PLAT_HKEY_CURRENT_USER, "HKCU", run_key);
    capture_key(&s, PLAT_HKEY_LOCAL_MACHINE, "HKLM", run_key);
    capture_key(&s, PLAT_HKEY_CURRENT_USER, "HKCU", run_once_key);
    capture_key(&s, PLAT_HKEY_LOCAL_MACHINE, "HKLM", run_once_key);
    capture_key(&s, PLAT_HKEY_CURRENT_USER, "HKCU", policy_key);
    capture_key(&s, PLAT_HKEY_LOCAL_MACHINE, "HKLM", policy_key);
    capture_folder(&s, user_startup);
    capture_folder(&s, common_startup);
    std::lock_guard<std::mutex> g(tasks_lock);
    for (const auto &t : added_tasks) s.tasks[t.first] = mem_task_enabled(t.second);
    for (const auto &t : added_package_tasks) {
        mem_reg_value v;
        bool found = mem_reg_find(PLAT_HKEY_CURRENT_USER, t.second.c_str(), "State", &v) && v.data.size() == 4;
        // Whether it is on: both tasks' manifests say off, and a task
        // switched on and off again is off by its State 1.
        s.tasks["package " + t.first] = found && (v.data[0] == 2 || v.data[0] == 4);
    }
    return s;
}

// Joins, in sorted order, what several items of one identity hold, so that
// two items collapsing into one identity still count twice. Run values of
// one identity with the same type and bytes count once: a switch may take
// one for the interrupted copy of the other and remove it, while values
// that differ in any byte or in type are never merged.
static std::map<std::string, std::string> joined(const std::map<std::string, std::vector<std::string>> &m,
                                                 bool identical_count_once) {
    std::map<std::string, std::string> out;
    for (auto e : m) {
        std::sort(e.second.begin(), e.second.end());
        if (identical_count_once) e.second.erase(std::unique(e.second.begin(), e.second.end()), e.second.end());
        for (const std::string &piece : e.second) out[e.first] += piece + "\n";
    }
    return out;
}

machine_state identities(const machine_state &s) {
    machine_state id;
    std::map<std::string, std::vector<std::string>> values, files;
    for (const auto &v : s.values) {
        // Every "disabled" suffix: a value named exactly "disabled" switches
        // off to "disableddisabled", and the unnamed one to "disabled".
        std::string key = v.first;
        while (ends_disabled(key)) key.resize(key.size() - 8);
        values[lower(key)].push_back(v.second);
    }
    for (const auto &f : s.files) {
        std::string path = f.first;
        size_t at = lower(path).rfind("\\disabled\\");
        if (at != std::string::npos) path.erase(at, 9);
        files[lower(path)].push_back(f.second);
    }
    id.values = joined(values, true);
    id.files = joined(files, false);
    for (const auto &t : s.tasks) id.tasks[t.first] = 0;
    return id;
}

// Texts with every byte outside printable ASCII as \xNN, so that data
// holding NULs (UTF-16 string data) prints whole.
static std::string printable(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += (char)c;
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string describe(const machine_state &s) {
    std::string out;
    for (const auto &v : s.values) out += "  value " + printable(v.first) + " = " + printable(v.second) + "\n";
    for (const auto &f : s.files) out += "  file " + printable(f.first) + " -> " + printable(f.second) + "\n";
    for (const auto &t : s.tasks) out += "  task " + printable(t.first) + " enabled=" + std::to_string(t.second) + "\n";
    return out;
}

int platform_objects_held() {
    return mem_reg_open_handles() + mem_files_open_searches() + mem_files_open_handles() + mem_files_task_mem_outstanding() +
           mem_shell_link_live() + mem_task_live_objects() + mem_task_live_bstrs();
}

// Policy Run values: the string values of the current user's and the
// machine's Policies\Explorer\Run key, which Windows starts at logon
// whatever their names. They are the administrator's policy, which Group
// Policy writes again, so they are listed (always on) and never switched;
// the dispatch refuses them before they are looked for.
#include "../platform/entry_writer.h"
#include "../platform/text.h"
#include "../platform/text_hash.h"
#include "item_details.h"
#include "providers.h"
#include "run_keys.h"

namespace {

#define POLICY_SUBKEY "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"

const run_location policy_locations[] = {
    {PLAT_HKEY_CURRENT_USER, 1, POLICY_SUBKEY, POLICY_SUBKEY, PLAT_KEY_WOW64_64KEY, "policy", nullptr},
    {PLAT_HKEY_LOCAL_MACHINE, 0, POLICY_SUBKEY, POLICY_SUBKEY, PLAT_KEY_WOW64_64KEY, "policy", nullptr},
};

// "policy|d<per_user>|<subkey>|<name in UTF-8>", the name hashed in place.
uint64_t policy_hash(const run_location *row, const char *utf8_name) {
    char head[RUN_KEY_TEXT_CAP];
    format_narrow(head, sizeof head, "policy|d%d|%s|", row->per_user, row->subkey);
    return fnv1a64_more(fnv1a64(head), utf8_name);
}

void append_policy_entry(listing *list, const run_location *row, run_value *v) {
    run_text name, command;
    // A name that cannot be converted would give an identifier of no value.
    if (!utf16_to_utf8(v->name, &name)) return;
    char id[ENTRY_ID_SIZE];
    format_narrow(id, sizeof id, "policy:%016llx", (unsigned long long)policy_hash(row, name.text));
    const char16_t *data = run_value_text(v);
    utf16_to_utf8(data, &command);
    char location[RUN_KEY_TEXT_CAP];
    format_narrow(location, sizeof location, "%s\\%s", row->per_user ? "HKCU" : "HKLM", row->subkey);
    item_details details;
    describe_command(list->details, data, &details);
    startup_entry entry = {id, "policy", name.text, command.text, true, location,
                           row->per_user ? "user" : "machine", details.image, details.image_exists,
                           details.publisher, details.description};
    append_entry(list, &entry);
}

void list_policy_location(listing *list, const run_location *row) {
    plat_hkey key = nullptr;
    if (open_run_key(row, PLAT_KEY_READ, &key) != PLAT_ERROR_SUCCESS) return;
    run_value v;
    for (uint32_t index = 0;; index++) {
        run_step step = read_run_value(key, index, true, &v);
        if (step == RUN_END) break;
        if (step == RUN_SKIP || (v.type != PLAT_REG_SZ && v.type != PLAT_REG_EXPAND_SZ)) continue;
        append_policy_entry(list, row, &v);
    }
    plat_reg_close_key(key);
}

}  // namespace

void list_policy_entries(listing *list) {
    for (const run_location &row : policy_locations) list_policy_location(list, &row);
}

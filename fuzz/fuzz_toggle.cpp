// Fuzzes quorvel_set_enabled over a machine with items of every kind.
//
// Input: commands separated by 0xFF bytes, at most eight. A command's
// first byte c decides: bit 0 the wanted state; bit 1 set takes the
// identifier of listed item c >> 3 (a fresh listing each time) with the
// rest of the command appended when bit 2 is set too; bit 1 clear and
// bit 2 set adds an item of kind c >> 3 (run value, shortcut, task, run
// value with raw data) named by the rest; both clear take the rest of the command itself as the
// identifier (any bytes, cut at a NUL as a C caller's text would be).
//
// After every call: the result is 0 or 1, a failure has recorded a
// message of the library's own, nothing is lost from the machine, no
// platform object is left open and COM is left; at the end the listing
// still parses with every item in it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_oracles.h"
#include "machine_items.h"
#include "platform/mem/mem_com.h"
#include "platform/mem/mem_machine.h"
#include "quorvel.h"

namespace {

const char *const known_messages[] = {
    "null id", "runonce entries are one-shot and cannot be toggled", "bad id format",
    "policy entries are set by an administrator's policy and cannot be toggled",
    "unknown entry source in id '", "runkey: ", "startup: ", "task: ", "package: ", "com: ", "OOM",
};

bool known_message(const std::string &m) {
    for (const char *k : known_messages)
        if (m.compare(0, strlen(k), k) == 0) return true;
    return false;
}

std::vector<std::string> split_commands(const uint8_t *data, size_t size) {
    std::vector<std::string> commands(1);
    for (size_t i = 0; i < size && commands.size() <= 8; i++) {
        if (data[i] == 0xFF)
            commands.emplace_back();
        else
            commands.back() += (char)data[i];
    }
    if (commands.size() > 8) commands.resize(8);
    return commands;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    mem_record_calls(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    mem_reset();
    mem_record_calls(false);
    add_items("");
    // Every run starts from the same machine, until a command adds to it.
    static const machine_state plain_start = identities(capture_state());
    static const size_t plain_items = list_now().size();
    machine_state start = plain_start;
    bool added = false;

    for (const std::string &command : split_commands(data, size)) {
        if (command.empty()) continue;
        unsigned char c = (unsigned char)command[0];
        std::string rest = command.substr(1);
        if ((c & 6) == 4) {
            std::string name = rest.substr(0, rest.find('\0'));
            if (add_named_item((c >> 3) % 4, (c >> 3) % 4 == 3 ? rest : name)) {
                added = true;
                start = identities(capture_state());
            }
            continue;
        }
        std::string id;
        if (c & 2) {
            std::vector<listed> now = list_now();
            if (now.empty()) continue;  // a name that is not UTF-8 empties the listing
            id = now[(c >> 3) % now.size()].id + (c & 4 ? rest : "");
        } else {
            id = rest;
        }
        quorvel_set_enabled(nullptr, 0);  // plants "null id"
        int result = quorvel_set_enabled(id.c_str(), c & 1);
        std::string message = quorvel_last_error();
        FUZZ_CHECK(result == 0 || result == 1, "result %d", result);
        if (result == 0) {
            FUZZ_CHECK(known_message(message), "unknown message '%s' for id '%s'", message.c_str(), id.c_str());
            FUZZ_CHECK(message != "null id", "failure without its own message for '%s'", id.c_str());
        }
        FUZZ_CHECK(platform_objects_held() == 0, "platform objects left open after '%s'", id.c_str());
        FUZZ_CHECK(mem_com_depth() == 0, "COM left initialised after '%s'", id.c_str());
        machine_state now = identities(capture_state());
        FUZZ_CHECK(now == start, "an item was lost after '%s'\nbefore:\n%s\nafter:\n%s", id.c_str(),
                   describe(start).c_str(), describe(now).c_str());
    }
    // Names past the enumeration's limits may hide later items; only the
    // plain machine must list everything.
    if (!added) FUZZ_CHECK(list_now().size() == plain_items, "the listing lost entries");
    return 0;
}

// Fuzzes making out an item's image: arbitrary UTF-16 text (lone
// surrogates, quotes, commas, percent signs and all) as a run value's
// command, or as a program and its arguments, over a machine with files to
// find, variables to expand, a search path and version resources. Nothing
// may crash or read past the text (it sits in a block of its exact size),
// and every member must be valid UTF-8.
//
// Input: one byte choosing the form (even: a command line; odd: a program,
// then its arguments after the first NUL unit), then UTF-16LE units.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_oracles.h"
#include "platform/mem/mem_details.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_machine.h"
#include "providers/item_details.h"

namespace {

void set_up_machine() {
    mem_reset();
    mem_details_set_env("ProgramFiles", "C:\\Program Files");
    mem_details_set_env("X", "%X% \"q\" ,");
    mem_details_set_env("PATH", "C:\\Tools;;relative;\"C:\\Quoted\";C:\\Program Files\\");
    for (const char *f : {"C:\\Program Files\\Vendor\\app.exe", "C:\\Program.exe", "C:\\Windows\\system32\\rundll32.exe",
                          "C:\\Windows\\system32\\a.dll", "C:\\Tools\\t.exe", "C:\\Quoted\\q.exe", "C:\\s.vbs"})
        mem_files_add_file(f);
    mem_files_add_dir("C:\\Tools\\d.exe");
    mem_details_set_version("C:\\Program Files\\Vendor\\app.exe", {0x04b00409},
                            {{"040904B0", "CompanyName", "Caf\xc3\xa9 \xe2\x98\x83  "}, {"040904E4", "FileDescription", "d"}});
    mem_details_set_version("C:\\Tools\\t.exe", {0xffffffff}, {{"FFFFFFFF", "CompanyName", std::string("a\0b", 3)}});
}

// A terminated copy of units [from, to) in a block of exactly its size.
char16_t *exact_copy(const char16_t *from, const char16_t *to) {
    size_t n = (size_t)(to - from);
    char16_t *copy = (char16_t *)malloc((n + 1) * sizeof(char16_t));
    if (n) memcpy(copy, from, n * sizeof(char16_t));
    copy[n] = 0;
    return copy;
}

void check(const item_details &d) {
    FUZZ_CHECK(d.image && utf8_valid(d.image), "image is not UTF-8");
    FUZZ_CHECK(d.publisher && utf8_valid(d.publisher), "publisher is not UTF-8");
    FUZZ_CHECK(d.description && utf8_valid(d.description), "description is not UTF-8");
    FUZZ_CHECK(!d.image_exists || d.image[0], "an empty image exists");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    static bool ready = (set_up_machine(), mem_record_calls(false), true);
    (void)ready;
    std::u16string units;
    for (size_t i = 1; i + 1 < size; i += 2) {
        char16_t u = (char16_t)(data[i] | data[i + 1] << 8);
        units += u;
    }
    details_cache *cache = details_cache_new();
    item_details d;
    if (data[0] % 2 == 0) {
        size_t end = units.find(u'\0');
        if (end == std::u16string::npos) end = units.size();
        char16_t *command = exact_copy(units.data(), units.data() + end);
        describe_command(cache, command, &d);
        free(command);
    } else {
        size_t split = units.find(u'\0');
        if (split == std::u16string::npos) split = units.size();
        char16_t *program = exact_copy(units.data(), units.data() + split);
        const char16_t *rest = units.data() + (split < units.size() ? split + 1 : split);
        size_t end = units.find(u'\0', split + 1);
        char16_t *arguments = exact_copy(rest, units.data() + (end == std::u16string::npos ? units.size() : end));
        describe_program(cache, program, arguments, &d);
        free(program);
        free(arguments);
    }
    check(d);
    details_cache_free(cache);
    return 0;
}

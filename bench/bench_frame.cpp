// The library's own building blocks, without any platform work: the
// identifier hashes, the UTF-8/UTF-16 conversions, wide path formatting and
// the listing writer (append_entry into a document, then the compact write).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "interface/entry_id.h"
#include "interface/listing.h"
#include "platform/text.h"
#include "support/bench_support.h"

namespace {

const char run_key_text[] = "runkey|d1|Software\\Microsoft\\Windows\\CurrentVersion\\Run|ExampleTool";
const char shortcut_path[] =
    "C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Notes.lnk";

void BM_fnv1a64(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(fnv1a64(run_key_text));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)(sizeof run_key_text - 1));
}
BENCHMARK(BM_fnv1a64);

void BM_path_hash(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(path_hash(shortcut_path));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)(sizeof shortcut_path - 1));
}
BENCHMARK(BM_path_hash);

// What each listed item pays to be named: the identifier's key text
// formatted and hashed (run keys), then the identifier formatted.
void BM_identifier(benchmark::State &state) {
    for (auto _ : state) {
        char key[2048], id[ENTRY_ID_SIZE];
        format_narrow(key, sizeof key, "runkey|d%d|%s|%s", 1, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                      "ExampleTool");
        format_narrow(id, sizeof id, "%s:%016llx", "runkey", (unsigned long long)fnv1a64(key));
        benchmark::DoNotOptimize(id);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_identifier);

void BM_utf8_to_utf16(benchmark::State &state) {
    fresh_machine();
    for (auto _ : state) {
        char16_t *wide = nullptr;
        benchmark::DoNotOptimize(utf8_to_utf16(shortcut_path, &wide));
        free(wide);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)(sizeof shortcut_path - 1));
}
BENCHMARK(BM_utf8_to_utf16);

void BM_utf16_to_utf8(benchmark::State &state) {
    fresh_machine();
    char16_t *wide = nullptr;
    utf8_to_utf16(shortcut_path, &wide);
    for (auto _ : state) {
        char *narrow = utf16_to_utf8(wide);
        benchmark::DoNotOptimize(narrow);
        free(narrow);
    }
    free(wide);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)(sizeof shortcut_path - 1));
}
BENCHMARK(BM_utf16_to_utf8);

void BM_format_wide(benchmark::State &state) {
    const char16_t folder[] = u"C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
    const char16_t name[] = u"Notes.lnk";
    std::vector<char16_t> out(WIDE_PATH_UNITS);
    for (auto _ : state) {
        benchmark::DoNotOptimize(format_wide(out.data(), u"%s\\disabled\\%s", folder, name));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_format_wide);

// Entries shaped like run values: an identifier, a name and a command of
// typical length, distinct per item.
struct sample_entries {
    std::vector<std::string> ids, names, commands;
    explicit sample_entries(long n) {
        for (long i = 0; i < n; i++) {
            char id[ENTRY_ID_SIZE];
            std::string name = "Tool" + std::to_string(i);
            std::string key = std::string("runkey|d1|Software\\Microsoft\\Windows\\CurrentVersion\\Run|") + name;
            snprintf(id, sizeof id, "runkey:%016llx", (unsigned long long)fnv1a64(key.c_str()));
            ids.push_back(id);
            names.push_back(name);
            commands.push_back("C:\\Program Files\\Vendor\\" + name + "\\" + name + ".exe --tray --quiet");
        }
    }
};

char *write_listing(const sample_entries &s) {
    listing list;
    listing_begin(&list);
    for (size_t i = 0; i < s.ids.size(); i++) {
        startup_entry e = {s.ids[i].c_str(), "runkey", s.names[i].c_str(), s.commands[i].c_str(), true};
        append_entry(&list, &e);
    }
    char *text = listing_finish(&list);
    return text;
}

void BM_writer(benchmark::State &state) {
    long n = state.range(0);
    sample_entries s(n);
    for (auto _ : state) {
        char *text = write_listing(s);
        benchmark::DoNotOptimize(text);
        free(text);
    }
    report_heap(state, n, [&] { return write_listing(s); });
}
BENCHMARK(BM_writer)->Apply(listing_sizes);

}  // namespace

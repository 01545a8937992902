// Fuzzes the text helpers: both conversions (counts, terminators, U+FFFD
// for malformed input, round trips), the wide and narrow formatting, the
// case-folding comparison and the path hash.
//
// Input: the first byte picks nothing; the rest is taken both as UTF-8
// bytes and as UTF-16 units (little-endian pairs), each cut at its first
// terminator, as the library's callers would pass it.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_oracles.h"
#include "interface/entry_id.h"
#include "platform/mem/mem_machine.h"
#include "platform/text.h"

namespace {

void check_utf8_to_utf16(const std::string &s) {
    char16_t *wide = nullptr;
    int units = utf8_to_utf16(s.c_str(), &wide);
    std::u16string expected = decode_lenient(s);
    FUZZ_CHECK(units == (int)expected.size() + 1, "units %d, expected %zu", units, expected.size() + 1);
    FUZZ_CHECK(wide && wide[units - 1] == 0 && wide_length(wide) == (size_t)units - 1, "not terminated");
    FUZZ_CHECK(std::u16string(wide, (size_t)units - 1) == expected, "decoded text differs");

    // Back to UTF-8: valid input comes back unchanged; any input comes
    // back as valid UTF-8 that converts to the same units again.
    char *back = utf16_to_utf8(wide);
    FUZZ_CHECK(back != nullptr, "no text");
    std::string b = back;
    FUZZ_CHECK(utf8_valid(b), "round trip gave invalid UTF-8");
    if (utf8_valid(s)) FUZZ_CHECK(b == s, "valid UTF-8 changed by a round trip");
    FUZZ_CHECK(decode_lenient(b) == expected, "second round trip differs");
    bool malformed = !utf8_valid(s);
    if (malformed) FUZZ_CHECK(b.find("\xEF\xBF\xBD") != std::string::npos, "malformed input without U+FFFD");
    free(back);
    free(wide);
}

void check_utf16_to_utf8(const std::u16string &w) {
    char *out = utf16_to_utf8(w.c_str());
    FUZZ_CHECK(out != nullptr, "no text");
    std::string expected = encode_repaired(w);
    FUZZ_CHECK(std::string(out) == expected, "encoded text differs (%zu vs %zu bytes)", strlen(out),
               expected.size());
    free(out);
}

void check_format_wide(const std::u16string &a, const std::u16string &b) {
    static char16_t dst[WIDE_PATH_UNITS];
    int n = format_wide(dst, u"%s\\disabled\\%s", a.c_str(), b.c_str());
    std::u16string expected = a + u"\\disabled\\" + b;
    if (expected.size() + 1 > WIDE_PATH_UNITS) {
        FUZZ_CHECK(n == -1 && dst[0] == 0, "oversized result not refused (%d)", n);
    } else {
        FUZZ_CHECK(n == (int)expected.size() && std::u16string(dst) == expected, "formatted text differs");
    }
}

void check_narrow(const std::string &s) {
    char id[ENTRY_ID_SIZE];
    memset(id, 'x', sizeof id);
    int n = format_narrow(id, sizeof id, "startup:%s", s.c_str());
    std::string full = "startup:" + s;
    FUZZ_CHECK(n == (int)full.size(), "length %d", n);
    FUZZ_CHECK(std::string(id) == full.substr(0, sizeof id - 1), "cut text differs");
}

std::string fold(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = (char)(c + 32);
    return s;
}

void check_fold(const std::string &a, const std::string &b) {
    FUZZ_CHECK(iequals(a.c_str(), b.c_str()) == (fold(a) == fold(b) ? 1 : 0), "iequals disagrees");
    FUZZ_CHECK(path_hash(a.c_str()) == fnv1a64(fold(a).c_str()), "path_hash is not the folded hash");
    char *copy = dup_string(a.c_str());
    FUZZ_CHECK(copy && std::string(copy) == a, "dup_string differs");
    free(copy);
}

}  // namespace

// The machine's call log would grow with every conversion of a long run.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    mem_record_calls(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string bytes((const char *)data, size);
    std::string s = bytes.substr(0, bytes.find('\0'));
    std::u16string w;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char16_t u = (char16_t)(data[i] | data[i + 1] << 8);
        if (!u) break;
        w.push_back(u);
    }
    check_utf8_to_utf16(s);
    check_utf16_to_utf8(w);
    size_t half = w.size() / 2;
    check_format_wide(w.substr(0, half), w.substr(half));
    // Long enough texts for format_wide's limit come from repetition.
    std::u16string longer;
    while (!w.empty() && longer.size() < 2100) longer += w;
    check_format_wide(longer.substr(0, longer.size() / 3), longer.substr(longer.size() / 3));
    check_narrow(s);
    size_t cut = s.size() / 2;
    check_fold(s.substr(0, cut), s.substr(cut));
    check_fold(s, fold(s));
    return 0;
}

// The listing's exact bytes for awkward texts. The same expectations run on
// every target, so a difference between the yyjson versions that the
// builds use (0.12 natively, 0.10 in the mingw build here) shows at once.
#include <yyjson.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "interface/listing_support.h"
#include "test_support.h"

namespace {

// The text collect_entries would return: the "[]" fallback on a failed write.
std::string listing_bytes(const std::vector<startup_entry> &entries) { return written_listing(entries, "[]"); }

// The members of an entry whose details were left unset.
const std::string no_details =
    ",\"location\":\"\",\"scope\":\"\",\"image\":\"\",\"image_exists\":false,\"publisher\":\"\",\"description\":\"\"";

std::string object(const std::string &name_json, const std::string &command_json, bool enabled) {
    return "{\"id\":\"startup:00000000000000ff\",\"source\":\"startup\",\"name\":\"" + name_json +
           "\",\"command\":\"" + command_json + "\",\"enabled\":" + (enabled ? "true" : "false") + no_details + "}";
}

// Every control character below 0x20, in order.
std::string controls() {
    std::string s;
    for (int c = 1; c < 0x20; c++) s += (char)c;
    return s;
}

}  // namespace

TEST(ListingBytes, TextsAreWrittenByteForByte) {
    struct row {
        std::string name;      // as the provider hands it over
        std::string command;
        bool enabled;
        std::string name_json;  // as the listing must carry it
        std::string command_json;
    } rows[] = {
        {controls(), "x", true,
         "\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000B\\f\\r\\u000E\\u000F"
         "\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018\\u0019\\u001A\\u001B"
         "\\u001C\\u001D\\u001E\\u001F",
         "x"},
        {"\"quoted\" \\share\\", "C:\\Program Files\\a.exe \"%1\"", false, "\\\"quoted\\\" \\\\share\\\\",
         "C:\\\\Program Files\\\\a.exe \\\"%1\\\""},
        {"</script> \x7f '", "a/b", true, "</script> \x7f '", "a/b"},
        // Two-, three- and four-byte UTF-8 and the line separators stay raw.
        {"Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\xe2\x80\xa8\xe2\x80\xa9", false,
         "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\xe2\x80\xa8\xe2\x80\xa9"},
        {"\xef\xbf\xbd\xef\xbb\xbf", "", true, "\xef\xbf\xbd\xef\xbb\xbf", ""},
    };
    for (const row &r : rows) {
        std::string got = listing_bytes({{"startup:00000000000000ff", "startup", r.name.c_str(), r.command.c_str(),
                                          r.enabled}});
        EXPECT_EQ(got, "[" + object(r.name_json, r.command_json, r.enabled) + "]") << r.name_json;
    }
}

TEST(ListingBytes, BooleansAndAbsentCommandTogether) {
    std::string got = listing_bytes({{"a", "runkey", "on", "c", true},
                                     {"b", "runonce", "off", "c", false},
                                     {"c", "task", "none", nullptr, false}});
    EXPECT_EQ(got,
              "[{\"id\":\"a\",\"source\":\"runkey\",\"name\":\"on\",\"command\":\"c\",\"enabled\":true" + no_details +
                  "},{\"id\":\"b\",\"source\":\"runonce\",\"name\":\"off\",\"command\":\"c\",\"enabled\":false" +
                  no_details + "},{\"id\":\"c\",\"source\":\"task\",\"name\":\"none\",\"enabled\":false" + no_details +
                  "}]");
}

// The six details follow "enabled" in their order, their texts escaped as
// the others are.
TEST(ListingBytes, DetailsFollowEnabledInOrder) {
    startup_entry e = {"t", "startup", "n", "c", false, "C:\\Users\\Jos\xc3\xa9\\Startup\\disabled", "user",
                       "\\\\server\\share\\a \"b\".exe", true, "Caf\xc3\xa9 \xe2\x80\xa8Ltd", "tab\there"};
    EXPECT_EQ(listing_bytes({e}),
              "[{\"id\":\"t\",\"source\":\"startup\",\"name\":\"n\",\"command\":\"c\",\"enabled\":false,"
              "\"location\":\"C:\\\\Users\\\\Jos\xc3\xa9\\\\Startup\\\\disabled\",\"scope\":\"user\","
              "\"image\":\"\\\\\\\\server\\\\share\\\\a \\\"b\\\".exe\",\"image_exists\":true,"
              "\"publisher\":\"Caf\xc3\xa9 \xe2\x80\xa8Ltd\",\"description\":\"tab\\there\"}]");
}

// Text that is not UTF-8 (the 8-bit registry text of a run value, say)
// fails the whole write, in either member, whatever the defect.
TEST(ListingBytes, InvalidUtf8LeavesTheFallback) {
    const char *bad[] = {
        "Caf\xe9",            // Latin-1
        "\x80",               // lone continuation byte
        "\xc3",               // cut two-byte sequence
        "\xe2\x82",           // cut three-byte sequence
        "\xf0\x9f\x98",       // cut four-byte sequence
        "\xc0\xaf",           // overlong
        "\xe0\x80\xaf",       // overlong
        "\xed\xa0\x80",       // encoded surrogate
        "\xf4\x90\x80\x80",   // beyond U+10FFFF
        "\xf8\x88\x80\x80\x80",
        "\xff",
    };
    for (const char *text : bad) {
        EXPECT_EQ(listing_bytes({{"a", "runkey", "ok", "c", true}, {"b", "runkey", text, "c", true}}), "[]") << text;
        EXPECT_EQ(listing_bytes({{"a", "runkey", "ok", text, true}}), "[]") << text;
    }
}

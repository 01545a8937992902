#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform_convert.h"
#include "platform/text.h"
#include "test_support.h"

namespace {
std::u16string to16(const char *s) {
    char16_t *w = nullptr;
    int n = utf8_to_utf16(s, &w);
    if (n <= 0) return u"<fail>";
    std::u16string r(w, (size_t)n - 1);
    EXPECT_EQ(w[n - 1], 0);
    free(w);
    return r;
}
std::string to8(const char16_t *s) {
    char *t = utf16_to_utf8(s);
    std::string r = t;
    free(t);
    return r;
}
}  // namespace

using TextTest = MachineTest;

TEST_F(TextTest, DupString) {
    EXPECT_EQ(dup_string(nullptr), nullptr);
    char *c = dup_string("abc");
    EXPECT_STREQ(c, "abc");
    free(c);
}

TEST_F(TextTest, Iequals) {
    EXPECT_EQ(iequals("disabled", "DISABLED"), 1);
    EXPECT_EQ(iequals("", ""), 1);
    EXPECT_EQ(iequals(nullptr, ""), 0);
    EXPECT_EQ(iequals(nullptr, nullptr), 0);
    EXPECT_EQ(iequals("abc", "abcd"), 0);
    EXPECT_EQ(iequals("\xc3\xa9", "\xc3\x89"), 0);  // only ASCII folds
    EXPECT_EQ(iequals("[", "{"), 0);                // 0x5B vs 0x7B are not letters
}

TEST_F(TextTest, Utf8ToUtf16Counts) {
    char16_t *w = nullptr;
    EXPECT_EQ(utf8_to_utf16("", &w), 1);
    EXPECT_EQ(w[0], 0);
    free(w);
    w = nullptr;
    EXPECT_EQ(utf8_to_utf16("abc", &w), 4);
    free(w);
    char16_t *untouched = (char16_t *)0x1;
    EXPECT_EQ(utf8_to_utf16(nullptr, &untouched), -1);
    EXPECT_EQ(untouched, (char16_t *)0x1);
    EXPECT_EQ(utf8_to_utf16("abc", nullptr), -1);
}

TEST_F(TextTest, Utf8ToUtf16Values) {
    struct row {
        const char *in;
        std::u16string out;
    } rows[] = {
        {"Caf\xc3\xa9", u"Caf\u00e9"},
        {"\xe2\x98\x83", u"\u2603"},
        {"\xf0\x9f\x98\x80", u"\U0001F600"},
        {"a\xe9z", u"a\ufffdz"},                    // lone Latin-1 byte
        {"\xc3", u"\ufffd"},                        // cut sequence at the end
        {"\xe2\x98z", u"\ufffdz"},                  // cut sequence: one U+FFFD
        {"\xff\xfe", u"\ufffd\ufffd"},
        {"\xc0\xaf", u"\ufffd\ufffd"},              // overlong
        {"\xed\xa0\x80", u"\ufffd\ufffd\ufffd"},    // encoded surrogate
    };
    for (const row &r : rows) EXPECT_EQ(to16(r.in), r.out) << r.in;
}

TEST_F(TextTest, Utf16ToUtf8) {
    EXPECT_EQ(to8(nullptr), "");
    EXPECT_EQ(to8(u""), "");
    EXPECT_EQ(to8(u"Caf\u00e9 \u2603 \U0001F600"), "Caf\xc3\xa9 \xe2\x98\x83 \xf0\x9f\x98\x80");
    const char16_t lone_high[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(to8(lone_high), "a\xef\xbf\xbd" "b");
    const char16_t lone_low[] = {0xDC00, 0};
    EXPECT_EQ(to8(lone_low), "\xef\xbf\xbd");
}

TEST_F(TextTest, ConverterFailureGivesEmptyText) {
    mem_fail("WideCharToMultiByte", 0);
    EXPECT_EQ(to8(u"abc"), "");
    char16_t *w = nullptr;
    mem_fail("MultiByteToWideChar", 0, 2);  // the size query passes, the conversion fails
    EXPECT_EQ(utf8_to_utf16("abc", &w), -1);
    EXPECT_EQ(w, nullptr);
}

TEST_F(TextTest, ConverterSizeQueryAndShortBuffer) {
    EXPECT_EQ(plat_utf8_to_utf16("abc", -1, nullptr, 0), 4);
    char16_t small[2];
    EXPECT_EQ(plat_utf8_to_utf16("abc", -1, small, 2), 0);
    EXPECT_EQ(plat_utf16_to_utf8(u"\u2603", -1, nullptr, 0), 4);
    EXPECT_EQ(plat_utf8_to_utf16("abc", 0, nullptr, 0), 0);
}

TEST_F(TextTest, NarrowFormattingCuts) {
    char dst[64];
    std::string seventy(70, 'x');
    format_narrow(dst, sizeof dst, "%s", seventy.c_str());
    EXPECT_EQ(std::string(dst), std::string(63, 'x'));
    format_narrow(dst, sizeof dst, "%016llx", 0xabcull);
    EXPECT_STREQ(dst, "0000000000000abc");
    format_narrow(dst, sizeof dst, "%.*s", 3, "abcdef");
    EXPECT_STREQ(dst, "abc");
}

TEST_F(TextTest, FormatWide) {
    char16_t dst[WIDE_PATH_UNITS];
    EXPECT_EQ(format_wide(dst, u"%s\\disabled\\%s", u"C:\\S", u"a.lnk"), 19);
    EXPECT_EQ(std::u16string(dst), u"C:\\S\\disabled\\a.lnk");
    EXPECT_EQ(format_wide(dst, u"%s\\*.lnk", u"C:"), 8);
    EXPECT_EQ(std::u16string(dst), u"C:\\*.lnk");

    std::u16string fits(WIDE_PATH_UNITS - 1, u'a');
    EXPECT_EQ(format_wide(dst, u"%s", fits.c_str()), WIDE_PATH_UNITS - 1);
    std::u16string over(WIDE_PATH_UNITS - 2, u'a');
    EXPECT_EQ(format_wide(dst, u"%s\\%s", over.c_str(), u"b"), -1);
    EXPECT_EQ(dst[0], 0);
}

// The code-page conversions' answers: UTF-8 both ways with their counts and
// replacement characters, and the ANSI code page (Windows-1252 here).
#include "contract/contract.h"

namespace {

using ContractConvert = ContractTest;

std::u16string from_utf8(const std::string &bytes) {
    char16_t out[32];
    int n = plat_utf8_to_utf16(bytes.data(), (int)bytes.size(), out, 32);
    return std::u16string(out, n);
}

std::string to_utf8(const std::u16string &units) {
    char out[64];
    int n = plat_utf16_to_utf8(units.data(), (int)units.size(), out, 64);
    return std::string(out, n);
}

}  // namespace

// Wine 8 differs from Windows after the lead byte of a three- or four-byte
// sequence that is malformed: it takes a second byte that is a
// continuation byte, though not one allowed after that lead, into the
// lead's U+FFFD, and makes one U+FFFD of a sequence cut short by the end
// with everything after it. Windows, and so the stand-in, replace the lead
// alone and go on.
TEST_F(ContractConvert, Utf8BothWays) {
    struct row {
        std::string bytes;
        std::u16string windows, wine;
    } rows[] = {
        {"Caf\xc3\xa9 \xe2\x98\x83 \xf0\x9f\x98\x80", u"Caf\u00e9 \u2603 \U0001F600", u"Caf\u00e9 \u2603 \U0001F600"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3), std::u16string(u"a\0b", 3)},
        {"\xe2\x82x", u"\uFFFDx", u"\uFFFDx"},  // one replacement for the broken sequence
        {"a\xc3", u"a\uFFFD", u"a\uFFFD"},
        {"\xc0\xaf", u"\uFFFD\uFFFD", u"\uFFFD\uFFFD"},  // C0, C1, F5-FF lead nothing
        {"\xf5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xed\xa0\x80", u"\uFFFD\uFFFD\uFFFD", u"\uFFFD\uFFFD"},  // an encoded surrogate
        {"\xe0\x9f\x41", u"\uFFFD\uFFFDA", u"\uFFFDA"},          // overlong
        {"\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", u"\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"\xf0\x8f\x80", u"\uFFFD\uFFFD\uFFFD", u"\uFFFD"},
        {"a\xe9z", u"a\uFFFDz", u"a\uFFFD"},
    };
    for (const row &r : rows)
        EXPECT_EQ(from_utf8(r.bytes), contract_on_wine() ? r.wine : r.windows) << testing::PrintToString(r.bytes);
    EXPECT_EQ(to_utf8(u"Caf\u00e9 \U0001F600"), "Caf\xc3\xa9 \xf0\x9f\x98\x80");
    EXPECT_EQ(to_utf8(std::u16string(1, (char16_t)0xD800) + u"x"), "\xef\xbf\xbdx");
    EXPECT_EQ(to_utf8(std::u16string{(char16_t)0xDC00, (char16_t)0xD800}), "\xef\xbf\xbd\xef\xbf\xbd");

    // Counts: -1 takes the terminator, no room asks the size, too little fails.
    char16_t wide[8];
    char narrow[8];
    EXPECT_EQ(plat_utf8_to_utf16("ab", -1, nullptr, 0), 3);
    EXPECT_EQ(plat_utf8_to_utf16("", -1, nullptr, 0), 1);
    EXPECT_EQ(plat_utf8_to_utf16("ab", -1, wide, 8), 3);
    EXPECT_EQ(wide[2], u'\0');
    EXPECT_EQ(plat_utf8_to_utf16("abc", -1, wide, 3), 0);
    EXPECT_EQ(plat_utf8_to_utf16("abc", 0, wide, 8), 0);
    EXPECT_EQ(plat_utf16_to_utf8(u"\u00e9", -1, nullptr, 0), 3);
    EXPECT_EQ(plat_utf16_to_utf8(u"\u00e9", -1, narrow, 2), 0);
    EXPECT_EQ(plat_utf16_to_utf8(u"\u00e9", 1, narrow, 2), 2);
}

TEST_F(ContractConvert, AnsiCodePage1252) {
    struct row {
        unsigned char byte;
        char16_t unit;
    } rows[] = {
        {0x41, u'A'},   {0x80, 0x20AC}, {0x82, 0x201A}, {0x83, 0x0192}, {0x85, 0x2026}, {0x8A, 0x0160},
        {0x8C, 0x0152}, {0x8E, 0x017D}, {0x91, 0x2018}, {0x96, 0x2013}, {0x99, 0x2122}, {0x9F, 0x0178},
        {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D}, {0xA0, 0x00A0},
        {0xE9, 0x00E9}, {0xFF, 0x00FF},
    };
    for (const row &r : rows) {
        char16_t unit[2] = {};
        char byte[2] = {};
        int used = -1;
        EXPECT_EQ(plat_ansi_to_utf16((const char *)&r.byte, 1, unit, 2), 1);
        EXPECT_EQ(unit[0], r.unit) << std::hex << (int)r.byte;
        EXPECT_EQ(plat_utf16_to_ansi(&r.unit, 1, byte, 2, &used), 1);
        EXPECT_EQ((unsigned char)byte[0], r.byte) << std::hex << (int)r.unit;
        EXPECT_EQ(used, 0);
    }
    // Units the code page cannot hold, look-alikes included, become '?' and say so.
    for (char16_t u : {(char16_t)0x2603, (char16_t)0x0080, (char16_t)0x009F, (char16_t)0x0100, (char16_t)0xD83D,
                       (char16_t)0xFFFD, (char16_t)0x0141}) {
        char byte[2] = {};
        int used = -1;
        EXPECT_EQ(plat_utf16_to_ansi(&u, 1, byte, 2, &used), 1);
        EXPECT_EQ(byte[0], '?') << std::hex << (int)u;
        EXPECT_EQ(used, 1) << std::hex << (int)u;
    }
    char16_t buf[8];
    char out[8];
    int used = -1;
    EXPECT_EQ(plat_ansi_to_utf16("Caf\xe9", -1, nullptr, 0), 5);
    EXPECT_EQ(plat_ansi_to_utf16("abc", -1, buf, 3), 0) << "too small a buffer";
    EXPECT_EQ(plat_ansi_to_utf16("abc", 0, buf, 8), 0);
    EXPECT_EQ(plat_utf16_to_ansi(u"Caf\u00e9?", -1, out, 8, &used), 6);
    EXPECT_EQ(std::string(out), "Caf\xe9?");
    EXPECT_EQ(used, 0) << "a '?' of the text is no default character";
    EXPECT_EQ(plat_utf16_to_ansi(u"\u2603", -1, nullptr, 0, &used), 2);
}

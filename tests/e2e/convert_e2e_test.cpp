// The real converter (MultiByteToWideChar / WideCharToMultiByte) against
// the expectations the logic tests hold the in-memory one to, and against
// the in-memory converter itself on every short byte sequence, so that a
// difference between the two machines shows here rather than in the field.
#include <string>

#include "e2e/dll.h"
#include "platform/platform_convert.h"
#include "test_support.h"

// The test program links the in-memory converter under the platform names;
// the Win32 one is compiled in here once more under names of its own.
#define plat_utf8_to_utf16 real_utf8_to_utf16
#define plat_utf16_to_utf8 real_utf16_to_utf8
#include "../../src/platform/win/win_convert.cpp"
#undef plat_utf8_to_utf16
#undef plat_utf16_to_utf8

namespace {

typedef int (*to16_fn)(const char *, int, char16_t *, int);
typedef int (*to8_fn)(const char16_t *, int, char *, int);

// Converts with a size query first, as the text helpers do; "<fail>" when
// either step fails.
std::u16string to16(to16_fn convert, const std::string &in) {
    int n = convert(in.data(), (int)in.size(), nullptr, 0);
    if (n <= 0) return u"<fail>";
    std::u16string out((size_t)n, u'\0');
    if (convert(in.data(), (int)in.size(), &out[0], n) != n) return u"<fail>";
    return out;
}

std::string to8(to8_fn convert, const std::u16string &in) {
    int n = convert(in.data(), (int)in.size(), nullptr, 0);
    if (n <= 0) return "<fail>";
    std::string out((size_t)n, '\0');
    if (convert(in.data(), (int)in.size(), &out[0], n) != n) return "<fail>";
    return out;
}

// Where Wine 8 differs from Windows, both times after the lead byte of a
// three- or four-byte sequence that is malformed:
//  - a sequence cut short by the end of the input becomes one U+FFFD with
//    everything after its lead ("a\xe9z" gives "a\ufffd");
//  - a second byte that is a continuation byte but not one allowed after
//    that lead (overlong forms, encoded surrogates, beyond U+10FFFF) is
//    taken into the lead's U+FFFD.
// Windows and the in-memory converter replace the lead alone and go on.
// True when `in` holds such a lead.
bool wine_differs_after_lead(const std::string &in) {
    for (size_t i = 0; i < in.size(); i++) {
        unsigned lead = (unsigned char)in[i];
        if (lead < 0xE0 || lead > 0xF4) continue;
        size_t length = lead >= 0xF0 ? 4 : 3;
        unsigned lo = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        unsigned hi = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        bool cut = in.size() - i < length, valid_prefix = true;
        for (size_t k = 1; i + k < in.size() && k < length; k++) {
            unsigned b = (unsigned char)in[i + k];
            if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) valid_prefix = false;
            if (k == 1 && !cut && b >= 0x80 && b <= 0xBF && (b < lo || b > hi)) return true;
        }
        if (cut && !valid_prefix) return true;
    }
    return false;
}

std::string hex(const std::u16string &s) {
    std::string r;
    char unit[8];
    for (char16_t c : s) {
        snprintf(unit, sizeof unit, "%04x ", (unsigned)c);
        r += unit;
    }
    return r;
}

std::string hex(const std::string &s) {
    std::string r;
    char byte[4];
    for (unsigned char c : s) {
        snprintf(byte, sizeof byte, "%02x ", c);
        r += byte;
    }
    return r;
}

}  // namespace

TEST(E2eConvert, Utf8ToUtf16Values) {
    struct row {
        std::string in;
        std::u16string out;
    } rows[] = {
        {"abc", u"abc"},
        {"Caf\xc3\xa9", u"Caf\u00e9"},
        {"\xe2\x98\x83", u"\u2603"},
        {"\xf0\x9f\x98\x80", u"\U0001F600"},
        {"a\xe9z", u"a\ufffdz"},                  // lone Latin-1 byte
        {"\xc3", u"\ufffd"},                      // cut sequence at the end
        {"\xe2\x98z", u"\ufffdz"},                // cut sequence: one U+FFFD
        {"\xff\xfe", u"\ufffd\ufffd"},
        {"\xc0\xaf", u"\ufffd\ufffd"},            // overlong
        {"\xed\xa0\x80", u"\ufffd\ufffd\ufffd"},  // encoded surrogate
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const row &r : rows) {
        if (on_wine() && wine_differs_after_lead(r.in)) continue;  // see WineDiffersAfterABadLead
        EXPECT_EQ(hex(to16(real_utf8_to_utf16, r.in)), hex(r.out)) << hex(r.in);
    }
}

TEST(E2eConvert, WineDiffersAfterABadLead) {
    struct row {
        std::string in;
        std::u16string windows, wine;
    } rows[] = {
        {"a\xe9z", u"a\ufffdz", u"a\ufffd"},
        {"\xe1\x41", u"\ufffdA", u"\ufffd"},
        {"\xed\xa0\x80", u"\ufffd\ufffd\ufffd", u"\ufffd\ufffd"},
        {"\xe0\x9f", u"\ufffd\ufffd", u"\ufffd"},
        {"\xf0\x80\x41", u"\ufffd\ufffdA", u"\ufffd"},
        {"\xf0\x90\x41", u"\ufffdA", u"\ufffd"},
        {"\xe0\x9f\x41", u"\ufffd\ufffdA", u"\ufffdA"},
        {"\xf4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd", u"\ufffd\ufffd\ufffd"},
    };
    for (const row &r : rows) {
        EXPECT_TRUE(wine_differs_after_lead(r.in)) << hex(r.in);
        EXPECT_EQ(hex(to16(real_utf8_to_utf16, r.in)), hex(on_wine() ? r.wine : r.windows)) << hex(r.in);
        EXPECT_EQ(hex(to16(plat_utf8_to_utf16, r.in)), hex(r.windows)) << hex(r.in);
    }
}

TEST(E2eConvert, Utf16ToUtf8Values) {
    struct row {
        std::u16string in;
        std::string out;
    } rows[] = {
        {u"Caf\u00e9 \u2603 \U0001F600", "Caf\xc3\xa9 \xe2\x98\x83 \xf0\x9f\x98\x80"},
        {std::u16string{u'a', (char16_t)0xD800, u'b'}, "a\xef\xbf\xbd" "b"},  // lone high surrogate
        {std::u16string{(char16_t)0xDC00}, "\xef\xbf\xbd"},                  // lone low surrogate
        {std::u16string{(char16_t)0xDC00, (char16_t)0xD800}, "\xef\xbf\xbd\xef\xbf\xbd"},  // reversed pair
    };
    for (const row &r : rows) EXPECT_EQ(hex(to8(real_utf16_to_utf8, r.in)), hex(r.out)) << hex(r.in);
}

TEST(E2eConvert, CountsAndShortBuffers) {
    EXPECT_EQ(real_utf8_to_utf16("abc", -1, nullptr, 0), 4);  // terminator counted
    EXPECT_EQ(real_utf8_to_utf16("", -1, nullptr, 0), 1);
    char16_t small[2];
    EXPECT_EQ(real_utf8_to_utf16("abc", -1, small, 2), 0);
    EXPECT_EQ(real_utf16_to_utf8(u"\u2603", -1, nullptr, 0), 4);
    char narrow[3];
    EXPECT_EQ(real_utf16_to_utf8(u"\u2603", -1, narrow, 3), 0);
    EXPECT_EQ(real_utf8_to_utf16("abc", 0, nullptr, 0), 0);
}

// Every sequence of one or two bytes, and of three bytes led by the
// multi-byte leads, converts alike on both machines (under Wine, apart from
// its differences above).
TEST(E2eConvert, InMemoryConverterAgreesOnShortSequences) {
    int differences = 0;
    auto compare = [&](const std::string &in) {
        if (on_wine() && wine_differs_after_lead(in)) return;
        std::u16string real = to16(real_utf8_to_utf16, in), mem = to16(plat_utf8_to_utf16, in);
        if (real != mem && ++differences <= 10)
            ADD_FAILURE() << "input " << hex(in) << ": real " << hex(real) << "mem " << hex(mem);
    };
    for (int a = 0; a < 256; a++) {
        compare(std::string(1, (char)a));
        for (int b = 0; b < 256; b++) compare(std::string{(char)a, (char)b});
    }
    for (int a = 0xE0; a < 0xF8; a++)
        for (int b = 0x70; b < 0xD0; b++)
            for (int c : {0x00, 0x41, 0x80, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF}) compare(std::string{(char)a, (char)b, (char)c});
    EXPECT_EQ(differences, 0);
}

// Unpaired and paired surrogates in every position convert alike too.
TEST(E2eConvert, InMemoryConverterAgreesOnSurrogates) {
    const char16_t units[] = {u'a', 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
    int differences = 0;
    for (char16_t x : units)
        for (char16_t y : units)
            for (char16_t z : units) {
                std::u16string in{x, y, z};
                std::string real = to8(real_utf16_to_utf8, in), mem = to8(plat_utf16_to_utf8, in);
                if (real != mem && ++differences <= 10)
                    ADD_FAILURE() << "input " << hex(in) << ": real " << hex(real) << "mem " << hex(mem);
            }
    EXPECT_EQ(differences, 0);
}

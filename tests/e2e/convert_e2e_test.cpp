// The real converter (MultiByteToWideChar / WideCharToMultiByte) against
// the in-memory one on every short byte sequence, beyond the seam's
// contract rows (tests/contract), so that a difference between the two
// machines shows here rather than in the field.
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

// The ANSI conversion once more, over a WideCharToMultiByte that answers as
// Windows does where the ANSI code page is UTF-8 (65001): it refuses
// WC_NO_BEST_FIT_CHARS (ERROR_INVALID_FLAGS) and a used-default flag
// (ERROR_INVALID_PARAMETER). Wine 8 takes both, so only this shows that the
// conversion falls back rather than fail every name.
static int WINAPI utf8_code_page_to_multibyte(UINT, DWORD flags, LPCWCH src, int n, LPSTR dst, int cap, LPCCH def,
                                              LPBOOL used) {
    if (flags || def || used) {
        SetLastError(flags ? ERROR_INVALID_FLAGS : ERROR_INVALID_PARAMETER);
        return 0;
    }
    return WideCharToMultiByte(CP_UTF8, 0, src, n, dst, cap, nullptr, nullptr);
}
#define WideCharToMultiByte utf8_code_page_to_multibyte
#define plat_ansi_to_utf16 utf8_code_page_ansi_to_utf16
#define plat_utf16_to_ansi utf8_code_page_utf16_to_ansi
#include "../../src/platform/win/win_ansi.cpp"
#undef WideCharToMultiByte
#undef plat_ansi_to_utf16
#undef plat_utf16_to_ansi

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
// Windows and the in-memory converter replace the lead alone and go on
// (the contract rows hold examples). True when `in` holds such a lead.
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

TEST(E2eConvert, AnsiConversionFallsBackWhereTheCodePageIsUtf8) {
    char out[8];
    int used = -1;
    EXPECT_EQ(utf8_code_page_utf16_to_ansi(u"Caf\u00e9", -1, out, 8, &used), 6);
    EXPECT_EQ(std::string(out), "Caf\xc3\xa9");
    EXPECT_EQ(used, 0) << "exactness is left to the conversion back";
    EXPECT_EQ(utf8_code_page_utf16_to_ansi(u"Caf\u00e9", -1, nullptr, 0, &used), 6);
}

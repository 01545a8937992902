// The answers of the operations that make out an item's program: the
// environment, the system and Windows folders, and the word size.
#include <string>

#include "contract/contract.h"
#include "platform/platform_details.h"

namespace {

using ContractDetails = ContractTest;

std::u16string lower(std::u16string s) {
    for (char16_t &c : s)
        if (c >= u'A' && c <= u'Z') c = (char16_t)(c + 0x20);
    return s;
}

}  // namespace

// A folder: the size with its terminator when the buffer is short, its
// length without it once it fits.
TEST_F(ContractDetails, FoldersAnswerTheirSizeThenTheirPath) {
    struct row {
        uint32_t (*call)(char16_t *, uint32_t);
        const char16_t *ends_with;
    } rows[] = {{plat_get_system_directory, u"\\windows\\system32"}, {plat_get_windows_directory, u"\\windows"}};
    for (const row &r : rows) {
        char16_t one[1] = {u'x'};
        uint32_t needed = r.call(one, 1);
        ASSERT_GT(needed, 3u);
        char16_t path[300] = {};
        EXPECT_EQ(r.call(path, 300), needed - 1);
        std::u16string got = lower(path);
        std::u16string tail = r.ends_with;
        ASSERT_GE(got.size(), tail.size());
        EXPECT_EQ(got.substr(got.size() - tail.size()), tail);
        EXPECT_EQ(r.call(path, needed - 1), needed) << "one unit short";
    }
}

// Expansion answers the units it needs, terminator counted, whether or not
// they fit; an unknown name stays as written.
TEST_F(ContractDetails, UnknownVariablesStayAsWritten) {
    struct row {
        const char16_t *text;
        std::u16string expanded;
    } rows[] = {{u"plain", u"plain"}, {u"%QV_NO_SUCH_NAME%\\x", u"%QV_NO_SUCH_NAME%\\x"}, {u"50% off", u"50% off"}};
    for (const row &r : rows) {
        char16_t out[64] = {};
        EXPECT_EQ(plat_expand_environment_strings(r.text, out, 64), r.expanded.size() + 1);
        EXPECT_EQ(std::u16string(out), r.expanded);
        EXPECT_EQ(plat_expand_environment_strings(r.text, nullptr, 0), r.expanded.size() + 1);
    }
    char16_t value[8] = {};
    EXPECT_EQ(plat_get_environment_variable(u"QV_NO_SUCH_NAME", value, 8), 0u);
}

// The stand-in answers as the 64-bit DLL's process; a 32-bit test program
// on 64-bit Windows runs under WOW64.
TEST_F(ContractDetails, Wow64TellsTheWordSize) {
    int wow64 = -1;
    ASSERT_NE(plat_is_wow64_process(&wow64), 0);
    EXPECT_EQ(wow64, contract_on_windows() && sizeof(void *) == 4 ? 1 : 0);
}

// The answers of the operations that read packages: subkeys enumerated,
// a file read whole through its handle, and indirect strings.
#include <cstring>

#include "contract/contract.h"
#include "platform/platform_packages.h"

#ifndef _WIN32
#include "platform/mem/mem_files.h"
#endif

namespace {

using ContractPackages = ContractTest;

// A file of these bytes in the scratch folder (no seam operation writes one).
bool add_data(const std::u16string &path, const std::string &bytes) {
#ifdef _WIN32
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t *>(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
#else
    return mem_files_add_data(mem_narrow(path).c_str(), bytes);
#endif
}

plat_file open_read(const std::u16string &path, uint32_t access = PLAT_GENERIC_READ) {
    return plat_create_file(path.c_str(), access, PLAT_FILE_SHARE_READ, PLAT_OPEN_EXISTING, PLAT_FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

TEST_F(ContractPackages, SubkeysEnumerateByName) {
    for (const char *name : {"b", "A", "c"}) {
        plat_hkey made = nullptr;
        ASSERT_EQ(plat_reg_create_key_ex_a(HKCU, (key + "\\" + name + "\\below").c_str(), PLAT_KEY_READ, &made), 0u);
        plat_reg_close_key(made);
    }
    plat_hkey k = open();
    std::vector<uint8_t> v = utf16_bytes(u"not a key");
    ASSERT_EQ(plat_reg_set_value_ex_w(k, u"value", PLAT_REG_SZ, v.data(), (uint32_t)v.size()), 0u);
    std::vector<std::u16string> names;
    char16_t name[16];
    uint32_t len = 16, i = 0;
    for (; plat_reg_enum_key_ex_w(k, i, name, &len) == 0; i++, len = 16) names.emplace_back(name, len);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"b", u"c"}));
    len = 16;
    EXPECT_EQ(plat_reg_enum_key_ex_w(k, i, name, &len), PLAT_ERROR_NO_MORE_ITEMS);
    len = 1;  // no room for the terminator
    EXPECT_EQ(plat_reg_enum_key_ex_w(k, 0, name, &len), PLAT_ERROR_MORE_DATA);
    plat_reg_close_key(k);
    plat_hkey query_only = open(PLAT_KEY_QUERY_VALUE);
    len = 16;
    EXPECT_EQ(plat_reg_enum_key_ex_w(query_only, 0, name, &len), PLAT_ERROR_ACCESS_DENIED);
    plat_reg_close_key(query_only);
}

TEST_F(ContractPackages, AFileReadWholeThroughItsHandle) {
    ASSERT_TRUE(add_data(path(u"ten.xml"), "abcdefghij"));
    ASSERT_TRUE(add_data(path(u"empty.xml"), ""));
    plat_file f = open_read(path(u"ten.xml"));
    ASSERT_NE(f, nullptr);
    uint64_t size = 0;
    EXPECT_EQ(plat_get_file_size_ex(f, &size), 1);
    EXPECT_EQ(size, 10u);
    char buf[32] = {};
    uint32_t got = 99;
    EXPECT_EQ(plat_read_file(f, buf, 4, &got), 1);
    EXPECT_EQ(std::string(buf, got), "abcd");
    EXPECT_EQ(plat_read_file(f, buf, sizeof buf, &got), 1);
    EXPECT_EQ(std::string(buf, got), "efghij");
    EXPECT_EQ(plat_read_file(f, buf, sizeof buf, &got), 1);  // the end: success, nothing read
    EXPECT_EQ(got, 0u);
    EXPECT_NE(plat_close_handle(f), 0);

    f = open_read(path(u"empty.xml"));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(plat_get_file_size_ex(f, &size), 1);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(plat_read_file(f, buf, sizeof buf, &got), 1);
    EXPECT_EQ(got, 0u);
    EXPECT_NE(plat_close_handle(f), 0);

    // Opened for its attributes only, it cannot be read.
    f = open_read(path(u"ten.xml"), PLAT_FILE_READ_ATTRIBUTES);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(plat_read_file(f, buf, sizeof buf, &got), 0);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_ACCESS_DENIED);
    EXPECT_NE(plat_close_handle(f), 0);

    EXPECT_EQ(open_read(path(u"missing.xml")), nullptr);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open_read(path(u"missing\\AppxManifest.xml")), nullptr);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_PATH_NOT_FOUND);
}

TEST_F(ContractPackages, IndirectStrings) {
    char16_t out[64];
    // A text that is no reference comes back as it is.
    EXPECT_EQ(plat_sh_load_indirect_string(u"Plain name", out, 64), PLAT_S_OK);
    EXPECT_EQ(std::u16string(out), u"Plain name");
    // A package that is not there resolves nothing.
    EXPECT_TRUE(PLAT_FAILED(plat_sh_load_indirect_string(
        u"@{Quorvel.Missing_1.0.0.0_x64__quorvel0000000?ms-resource:AppName}", out, 64)));
}

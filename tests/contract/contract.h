// Set-up for the seam's contract rows. Each row calls the platform
// operations (src/platform/platform_*.h) and states the answer Windows
// gives; the same program runs natively over the in-memory machine and, as
// a Windows program, over Win32 under Wine, so a stand-in that answers
// otherwise fails here. Each test gets a scratch key under HKCU (and HKLM)
// and a scratch folder, made through the seam where it has the operation:
// natively in a machine just reset, under Wine for real, and removed after.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_convert.h"
#include "platform/platform_files.h"
#include "platform/platform_registry.h"

#ifdef _WIN32
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>
#else
#include "platform/mem/mem_convert.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_machine.h"
#endif

constexpr bool contract_on_windows() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

#define HKCU PLAT_HKEY_CURRENT_USER
#define HKLM PLAT_HKEY_LOCAL_MACHINE

// Under Wine, where a few answers are Wine's own (each row says which).
inline bool contract_on_wine() {
#ifdef _WIN32
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// ASCII text (test names) widened.
inline std::u16string u16(const std::string &s) { return std::u16string(s.begin(), s.end()); }

// Little-endian bytes of UTF-16 text, its terminator included unless told.
inline std::vector<uint8_t> utf16_bytes(const std::u16string &text, bool terminated = true) {
    std::vector<uint8_t> out;
    for (char16_t c : text) {
        out.push_back((uint8_t)(c & 0xFF));
        out.push_back((uint8_t)(c >> 8));
    }
    if (terminated) out.insert(out.end(), {0, 0});
    return out;
}

class ContractTest : public ::testing::Test {
  protected:
    // HKCU\<key> (and HKLM\<key>, in both views, when a row makes it).
    std::string key;
    // The scratch folder, without a trailing separator.
    std::u16string folder;

    void SetUp() override {
        const ::testing::TestInfo *t = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(t->test_suite_name()) + "." + t->name();
        key = "Software\\quorvel-contract\\" + name;
        folder = u"C:\\quorvel-contract\\" + u16(name);
#ifdef _WIN32
        remove_scratch();
        CreateDirectoryW(L"C:\\quorvel-contract", nullptr);
#else
        mem_reset();
        mem_files_add_dir("C:\\quorvel-contract");
#endif
        ASSERT_NE(plat_create_directory(folder.c_str()), 0);
        plat_hkey k = nullptr;
        ASSERT_EQ(plat_reg_create_key_ex_a(HKCU, key.c_str(), PLAT_KEY_READ, &k), 0u);
        plat_reg_close_key(k);
    }

    void TearDown() override {
#ifdef _WIN32
        remove_scratch();
#else
        mem_reset();
#endif
    }

    // The scratch key (or one below it) opened; null when that fails.
    plat_hkey open(uint32_t access = PLAT_KEY_READ | PLAT_KEY_SET_VALUE, plat_hkey root = HKCU,
                   const std::string &below = "") {
        plat_hkey k = nullptr;
        std::string path = below.empty() ? key : key + "\\" + below;
        if (plat_reg_open_key_ex_a(root, path.c_str(), 0, access, &k) != 0) return nullptr;
        return k;
    }

    std::u16string path(const std::u16string &name) const { return folder + u"\\" + name; }

    // Files have no seam operation that writes them: made per target.
    bool add_file(const std::u16string &name) {
#ifdef _WIN32
        HANDLE h = CreateFileW(wide(path(name)), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        BOOL ok = WriteFile(h, "not a link", 10, &written, nullptr);
        CloseHandle(h);
        return ok;
#else
        return mem_files_add_file(mem_narrow(path(name)).c_str());
#endif
    }

    bool add_shortcut(const std::u16string &name, const std::u16string &target, const std::u16string &arguments) {
#ifdef _WIN32
        static const GUID clsid_shell_link = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
        static const GUID iid_shell_link_w = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
        static const GUID iid_persist_file = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
        HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        IShellLinkW *link = nullptr;
        IPersistFile *file = nullptr;
        HRESULT hr = CoCreateInstance(clsid_shell_link, nullptr, CLSCTX_INPROC_SERVER, iid_shell_link_w,
                                      (void **)&link);
        if (SUCCEEDED(hr)) hr = link->SetPath(wide(target));
        if (SUCCEEDED(hr)) hr = link->SetArguments(wide(arguments));
        if (SUCCEEDED(hr)) hr = link->QueryInterface(iid_persist_file, (void **)&file);
        if (SUCCEEDED(hr)) hr = file->Save(wide(path(name)), TRUE);
        if (file) file->Release();
        if (link) link->Release();
        if (SUCCEEDED(init)) CoUninitialize();
        return SUCCEEDED(hr);
#else
        return mem_files_add_shortcut(mem_narrow(path(name)).c_str(), mem_narrow(target).c_str(),
                                      mem_narrow(arguments).c_str());
#endif
    }

  private:
#ifdef _WIN32
    static const wchar_t *wide(const std::u16string &s) { return reinterpret_cast<const wchar_t *>(s.c_str()); }

    static void remove_tree(const std::u16string &dir) {
        std::u16string from = dir + u'\0';  // a list of paths, ended by an empty one
        SHFILEOPSTRUCTW op = {};
        op.wFunc = FO_DELETE;
        op.pFrom = wide(from);
        op.fFlags = FOF_NO_UI;
        SHFileOperationW(&op);
    }

    void remove_scratch() {
        RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("Software\\WOW6432Node" + key.substr(8)).c_str());
        remove_tree(folder);
        // The parents go once empty.
        RemoveDirectoryW(L"C:\\quorvel-contract");
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\quorvel-contract");
    }
#endif
};

// Folder links for the tests that run under Wine (Windows programs only).
//
// Wine 8's CreateSymbolicLinkW answers TRUE and makes nothing, and Wine
// cannot make junctions. A link is made here as a Unix program sharing the
// prefix would make it: symlink(2) on the Unix paths Wine gives for the
// Windows ones, called straight into Linux (Wine does not stand between a
// program and the kernel). Wine reports such a link as a folder with
// FILE_ATTRIBUTE_REPARSE_POINT. It is removed the same way, unlink(2):
// Wine's RemoveDirectoryW on a link removes the folder it leads to too.
#pragma once

#include <windows.h>

#include <string>

namespace wine_links {

enum call { make_link, remove_link };

inline long linux_call(call which, const char *a, const char *b) {
    long result;
#if defined(__x86_64__)
    long number = which == make_link ? 88 : 87;  // symlink, unlink
    __asm__ volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b) : "rcx", "r11", "memory");
#elif defined(__i386__)
    long number = which == make_link ? 83 : 10;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b) : "memory");
#else
    (void)which, (void)a, (void)b;
    result = -1;
#endif
    return result;
}

// The Unix path of a Windows path, "" when Wine gives none.
inline std::string unix_path(const std::wstring &path) {
    typedef char *(CDECL * to_unix)(const WCHAR *);
    to_unix convert = (to_unix)(void *)GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
    char *text = convert ? convert(path.c_str()) : nullptr;
    std::string out = text ? text : "";
    if (text) HeapFree(GetProcessHeap(), 0, text);
    return out;
}

}  // namespace wine_links

// A folder link at `link` leading to `target` (an existing folder), for as
// long as this lives; only the link goes afterwards.
struct folder_link {
    std::string unix_link;
    bool made = false;

    folder_link(const std::wstring &link, const std::wstring &target) {
        std::string to = wine_links::unix_path(target);
        // The link's own path: its folder's, and the name.
        size_t cut = link.find_last_of(L'\\');
        std::string from = wine_links::unix_path(link.substr(0, cut));
        if (to.empty() || from.empty() || cut == std::wstring::npos) return;
        std::wstring name = link.substr(cut + 1);
        int n = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(n > 0 ? n - 1 : 0, '\0');
        if (n > 1) WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, &utf8[0], n, nullptr, nullptr);
        unix_link = from + "/" + utf8;
        made = wine_links::linux_call(wine_links::make_link, to.c_str(), unix_link.c_str()) == 0;
    }
    ~folder_link() {
        if (made) wine_links::linux_call(wine_links::remove_link, unix_link.c_str(), nullptr);
    }
    folder_link(const folder_link &) = delete;
    folder_link &operator=(const folder_link &) = delete;
};

// Shell folders and the file system over Win32 (wide functions).
#include <windows.h>
#include <shlobj.h>

#include "../platform_files.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide text");

namespace {

const wchar_t *wide(const char16_t *text) { return reinterpret_cast<const wchar_t *>(text); }

// {82A5EA35-D9CD-47C5-9629-E15D2F714E6E}, spelled out so that no import
// library has to provide it.
const GUID folderid_common_startup = {0x82A5EA35, 0xD9CD, 0x47C5, {0x96, 0x29, 0xE1, 0x5D, 0x2F, 0x71, 0x4E, 0x6E}};

void copy_find_data(const WIN32_FIND_DATAW &found, plat_find_data *data) {
    data->attributes = found.dwFileAttributes;
    static_assert(sizeof data->file_name == sizeof found.cFileName, "cFileName is MAX_PATH units");
    memcpy(data->file_name, found.cFileName, sizeof data->file_name);
}

}  // namespace

plat_hresult plat_sh_get_folder_path(int csidl, uint32_t flags, char16_t *path) {
    return (plat_hresult)SHGetFolderPathW(nullptr, csidl, nullptr, flags, reinterpret_cast<wchar_t *>(path));
}

plat_hresult plat_sh_get_known_folder_path(plat_known_folder folder, uint32_t flags, char16_t **path) {
    *path = nullptr;
    if (folder != PLAT_FOLDERID_COMMON_STARTUP) return (plat_hresult)E_INVALIDARG;
    PWSTR found = nullptr;
    HRESULT hr = SHGetKnownFolderPath(folderid_common_startup, flags, nullptr, &found);
    if (FAILED(hr)) {
        // The caller frees only what a successful lookup returned.
        CoTaskMemFree(found);
        return (plat_hresult)hr;
    }
    *path = reinterpret_cast<char16_t *>(found);
    return (plat_hresult)hr;
}

void plat_co_task_mem_free(void *memory) { CoTaskMemFree(memory); }

plat_find plat_find_first_file(const char16_t *pattern, plat_find_data *data) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide(pattern), &found);
    if (search == INVALID_HANDLE_VALUE) return nullptr;
    copy_find_data(found, data);
    return reinterpret_cast<plat_find>(search);
}

int plat_find_next_file(plat_find search, plat_find_data *data) {
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(reinterpret_cast<HANDLE>(search), &found)) return 0;
    copy_find_data(found, data);
    return 1;
}

int plat_find_close(plat_find search) { return FindClose(reinterpret_cast<HANDLE>(search)) ? 1 : 0; }

uint32_t plat_get_file_attributes(const char16_t *path) { return GetFileAttributesW(wide(path)); }

int plat_create_directory(const char16_t *path) { return CreateDirectoryW(wide(path), nullptr) ? 1 : 0; }

int plat_remove_directory(const char16_t *path) { return RemoveDirectoryW(wide(path)) ? 1 : 0; }

int plat_move_file(const char16_t *from, const char16_t *to) { return MoveFileW(wide(from), wide(to)) ? 1 : 0; }

plat_file plat_create_file(const char16_t *path, uint32_t access, uint32_t share, uint32_t creation, uint32_t flags) {
    HANDLE file = CreateFileW(wide(path), access, share, nullptr, creation, flags, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<plat_file>(file);
}

int plat_set_file_information_by_handle(plat_file file, plat_file_info_class info_class, const void *info,
                                        uint32_t size) {
    if (info_class != PLAT_FILE_DISPOSITION_INFO || size != sizeof(plat_file_disposition_info)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    FILE_DISPOSITION_INFO disposition = {static_cast<const plat_file_disposition_info *>(info)->delete_file != 0};
    return SetFileInformationByHandle(reinterpret_cast<HANDLE>(file), FileDispositionInfo, &disposition,
                                      sizeof disposition)
               ? 1
               : 0;
}

int plat_close_handle(plat_file file) { return CloseHandle(reinterpret_cast<HANDLE>(file)) ? 1 : 0; }

plat_error plat_get_last_error() { return GetLastError(); }

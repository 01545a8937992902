// Folders that are links, and folders held open: what the startup-folder
// switch relies on to move nothing through a link. A link reports
// FILE_ATTRIBUTE_REPARSE_POINT by its path; a folder held open without
// FILE_SHARE_DELETE can be neither renamed nor removed until it is closed;
// an empty folder marked for removal through its handle goes at the close.
#include "contract/contract.h"

#ifdef _WIN32
#include "wine_links.h"
#endif

namespace {

using ContractFileLinks = ContractTest;

const uint32_t share_no_delete = PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE;
const uint32_t no_follow = PLAT_FILE_FLAG_OPEN_REPARSE_POINT | PLAT_FILE_FLAG_BACKUP_SEMANTICS;

// A folder link made for one test and gone after it (under Wine, before the
// scratch folder is emptied, which would otherwise go through it).
struct scratch_link {
#ifdef _WIN32
    folder_link link;
    scratch_link(const std::u16string &at, const std::u16string &to)
        : link(reinterpret_cast<const wchar_t *>(at.c_str()), reinterpret_cast<const wchar_t *>(to.c_str())) {}
    bool made() const { return link.made; }
#else
    bool ok;
    scratch_link(const std::u16string &at, const std::u16string &to)
        : ok(mem_files_add_link(mem_narrow(at).c_str(), mem_narrow(to).c_str())) {}
    bool made() const { return ok; }
#endif
};

std::string ascii(const char16_t *ascii) {
    std::string out;
    for (; *ascii; ascii++) out += (char)*ascii;
    return out;
}

plat_error moved(const std::u16string &from, const std::u16string &to) {
    return plat_move_file(from.c_str(), to.c_str()) ? 0 : plat_get_last_error();
}

plat_error removed(const std::u16string &dir) {
    return plat_remove_directory(dir.c_str()) ? 0 : plat_get_last_error();
}

}  // namespace

TEST_F(ContractFileLinks, ALinkIsSeenByItsPath) {
    ASSERT_NE(plat_create_directory(path(u"real").c_str()), 0);
    ASSERT_TRUE(add_file(u"real\\f.txt"));
    scratch_link link(path(u"link"), path(u"real"));
    ASSERT_TRUE(link.made());
    const uint32_t link_bits = PLAT_FILE_ATTRIBUTE_DIRECTORY | PLAT_FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_EQ(plat_get_file_attributes(path(u"link").c_str()) & link_bits, link_bits);
    EXPECT_EQ(plat_get_file_attributes(path(u"real").c_str()) & link_bits, PLAT_FILE_ATTRIBUTE_DIRECTORY);
    // Paths through it reach what it leads to.
    EXPECT_NE(plat_get_file_attributes(path(u"link\\f.txt").c_str()), PLAT_INVALID_FILE_ATTRIBUTES);
    plat_find_data data = {};
    plat_find search = plat_find_first_file(path(u"li*").c_str(), &data);
    ASSERT_NE(search, nullptr);
    EXPECT_EQ(data.attributes & link_bits, link_bits);
    plat_find_close(search);
    // It is there: a folder of its name cannot be made.
    EXPECT_EQ(plat_create_directory(path(u"link").c_str()), 0);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_ALREADY_EXISTS);
    plat_file held = plat_create_file(path(u"link").c_str(), PLAT_FILE_LIST_DIRECTORY, share_no_delete,
                                      PLAT_OPEN_EXISTING, no_follow);
    ASSERT_NE(held, nullptr);
    EXPECT_NE(plat_close_handle(held), 0);
}

TEST_F(ContractFileLinks, OpeningFolders) {
    ASSERT_NE(plat_create_directory(path(u"d").c_str()), 0);
    struct row {
        const char16_t *name;
        uint32_t flags;
        plat_error error;  // 0: opened
    } rows[] = {
        {u"d", no_follow, 0},
        {u"d", PLAT_FILE_FLAG_BACKUP_SEMANTICS, 0},
        {u"d", 0, PLAT_ERROR_ACCESS_DENIED},  // a folder needs backup semantics
        {u"missing", no_follow, PLAT_ERROR_FILE_NOT_FOUND},
        {u"missing\\d", no_follow, PLAT_ERROR_PATH_NOT_FOUND},
    };
    for (const row &r : rows) {
        plat_file f = plat_create_file(path(r.name).c_str(), PLAT_FILE_LIST_DIRECTORY, share_no_delete,
                                       PLAT_OPEN_EXISTING, r.flags);
        const std::string where = ascii(r.name) + " " + std::to_string(r.flags);
        EXPECT_EQ(f != nullptr, r.error == 0) << where;
        if (f) {
            EXPECT_NE(plat_close_handle(f), 0);
        } else {
            EXPECT_EQ(plat_get_last_error(), r.error) << where;
        }
    }
}

// Held without FILE_SHARE_DELETE by an open that reads it, a folder keeps
// its name: renaming and removing it are refused, files still move in and
// out. An open that only reads attributes holds nothing.
TEST_F(ContractFileLinks, AHeldFolderKeepsItsName) {
    ASSERT_NE(plat_create_directory(path(u"held").c_str()), 0);
    ASSERT_TRUE(add_file(u"f.txt"));
    plat_file held = plat_create_file(path(u"held").c_str(), PLAT_FILE_LIST_DIRECTORY, share_no_delete,
                                      PLAT_OPEN_EXISTING, no_follow);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(moved(path(u"held"), path(u"other")), PLAT_ERROR_SHARING_VIOLATION);
    EXPECT_EQ(removed(path(u"held")), PLAT_ERROR_SHARING_VIOLATION);
    EXPECT_EQ(moved(path(u"f.txt"), path(u"held\\f.txt")), 0u);
    EXPECT_EQ(moved(path(u"held\\f.txt"), path(u"f.txt")), 0u);
    // Another open for deletion is refused too.
    plat_file second = plat_create_file(path(u"held").c_str(), PLAT_DELETE, share_no_delete, PLAT_OPEN_EXISTING, no_follow);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_SHARING_VIOLATION);
    EXPECT_NE(plat_close_handle(held), 0);

    plat_file attributes_only = plat_create_file(path(u"held").c_str(), PLAT_FILE_READ_ATTRIBUTES, share_no_delete,
                                                 PLAT_OPEN_EXISTING, no_follow);
    ASSERT_NE(attributes_only, nullptr);
    EXPECT_EQ(moved(path(u"held"), path(u"other")), 0u);
    EXPECT_NE(plat_close_handle(attributes_only), 0);
    EXPECT_EQ(removed(path(u"other")), 0u);
}

TEST_F(ContractFileLinks, RemovedThroughItsHandle) {
    ASSERT_NE(plat_create_directory(path(u"full").c_str()), 0);
    ASSERT_TRUE(add_file(u"full\\f.txt"));
    ASSERT_NE(plat_create_directory(path(u"empty").c_str()), 0);
    plat_file_disposition_info remove = {1};
    plat_file reader = plat_create_file(path(u"empty").c_str(), PLAT_FILE_LIST_DIRECTORY, share_no_delete,
                                        PLAT_OPEN_EXISTING, no_follow);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(plat_set_file_information_by_handle(reader, PLAT_FILE_DISPOSITION_INFO, &remove, sizeof remove), 0);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_ACCESS_DENIED);  // opened without DELETE
    EXPECT_NE(plat_close_handle(reader), 0);

    plat_file full = plat_create_file(path(u"full").c_str(), PLAT_DELETE, share_no_delete, PLAT_OPEN_EXISTING, no_follow);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(plat_set_file_information_by_handle(full, PLAT_FILE_DISPOSITION_INFO, &remove, sizeof remove), 0);
    EXPECT_EQ(plat_get_last_error(), PLAT_ERROR_DIR_NOT_EMPTY);
    EXPECT_NE(plat_close_handle(full), 0);
    EXPECT_NE(plat_get_file_attributes(path(u"full\\f.txt").c_str()), PLAT_INVALID_FILE_ATTRIBUTES);

    plat_file empty = plat_create_file(path(u"empty").c_str(), PLAT_DELETE, share_no_delete, PLAT_OPEN_EXISTING, no_follow);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(plat_set_file_information_by_handle(empty, PLAT_FILE_DISPOSITION_INFO, &remove, sizeof remove), 0);
    EXPECT_NE(plat_get_file_attributes(path(u"empty").c_str()), PLAT_INVALID_FILE_ATTRIBUTES);  // until the close
    EXPECT_NE(plat_close_handle(empty), 0);
    EXPECT_EQ(plat_get_file_attributes(path(u"empty").c_str()), PLAT_INVALID_FILE_ATTRIBUTES);
}

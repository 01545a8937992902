// The built DLL as a host loads it: its four exports, its listing text and
// its per-thread messages, over the real platform.
#include <yyjson.h>

#include <string>
#include <thread>

#include "e2e/dll.h"
#include "test_support.h"

namespace {

// A folder of its own under the temporary folder, removed with its files.
struct scratch_folder {
    std::wstring path;
    scratch_folder() {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        path = std::wstring(tmp) + L"quorvel-e2e-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path.c_str(), nullptr);
        path += L"\\";
    }
    ~scratch_folder() {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((path + L"*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do DeleteFileW((path + found.cFileName).c_str());
            while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(path.c_str());
    }
};

// Checks that `text` is an array of objects with exactly the listing's five
// members ("command" may be missing) of the right types. "" when it is.
std::string listing_shape_fault(const std::string &text) {
    yyjson_doc *doc = yyjson_read(text.c_str(), text.size(), 0);
    if (!doc) return "not JSON";
    std::string fault;
    yyjson_val *root = yyjson_doc_get_root(doc);
    if (!yyjson_is_arr(root)) fault = "not an array";
    size_t i, n;
    yyjson_val *item;
    yyjson_arr_foreach(root, i, n, item) {
        if (!fault.empty()) break;
        const char *texts[] = {"id", "source", "name"};
        for (const char *key : texts)
            if (!yyjson_is_str(yyjson_obj_get(item, key))) fault = std::string("no text \"") + key + "\"";
        yyjson_val *command = yyjson_obj_get(item, "command");
        if (command && !yyjson_is_str(command)) fault = "\"command\" is not text";
        if (!yyjson_is_bool(yyjson_obj_get(item, "enabled"))) fault = "no boolean \"enabled\"";
        if (yyjson_obj_size(item) != (command ? 5u : 4u)) fault = "unexpected members";
    }
    yyjson_doc_free(doc);
    return fault;
}

}  // namespace

TEST(E2eDll, LoadsFromAnOtherwiseEmptyFolder) {
    scratch_folder folder;
    std::wstring copy = folder.path + L"quorvel.dll";
    ASSERT_TRUE(CopyFileW((test_program_folder() + L"quorvel.dll").c_str(), copy.c_str(), TRUE));
    quorvel_dll dll = load_dll(copy);
    ASSERT_TRUE(dll.ok()) << dll.failure;
    std::string text = dll.list_text();
    EXPECT_EQ(text.front(), '[');
    EXPECT_EQ(text.back(), ']');
    unload_dll(&dll);
}

TEST(E2eDll, MissingDllIsReportedNotCrashed) {
    quorvel_dll dll = load_dll(test_program_folder() + L"no-such-library.dll");
    EXPECT_FALSE(dll.ok());
    EXPECT_EQ(dll.module, nullptr);
}

TEST(E2eDll, ListingHasTheListingShape) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    std::string text = dll.list_text();
    EXPECT_EQ(listing_shape_fault(text), "") << text;
    // Compact: the writer adds no white space between tokens.
    EXPECT_EQ(text.find("\n"), std::string::npos);
    EXPECT_EQ(text.find("\": "), std::string::npos);
}

// Identifiers refused before any provider runs give the same result and
// message from the DLL as from the library over the in-memory machine.
TEST(E2eDll, RefusedIdentifiersMatchTheInMemoryLibrary) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    const char *ids[] = {
        nullptr,
        "",
        "nonsense",
        "runonce:0123456789abcdef",
        "runkey:0123456789ABCDEF",
        "runkey:0123",
        "task:0123456789abcdefg",
        "bogus:0123456789abcdef",
        "Caf\xc3\xa9:0123456789abcdef",
    };
    for (const char *id : ids) {
        mem_reset();
        int expected = quorvel_set_enabled(id, 1);
        std::string expected_message = quorvel_last_error();
        EXPECT_EQ(dll.set_enabled(id, 1), expected) << (id ? id : "(null)");
        EXPECT_EQ(dll.last_error(), expected_message) << (id ? id : "(null)");
        EXPECT_NE(expected_message, "");
    }
    mem_reset();
}

TEST(E2eDll, MessagesBelongToTheirThread) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    ASSERT_EQ(dll.set_enabled(nullptr, 0), 0);
    std::string other = "unset", other_after = "unset";
    std::thread([&] {
        other = dll.last_error();
        dll.set_enabled("nonsense", 0);
        other_after = dll.last_error();
    }).join();
    EXPECT_EQ(other, "");
    EXPECT_EQ(other_after, "unknown entry source in id 'nonsense'");
    EXPECT_STREQ(dll.last_error(), "null id");
}

TEST(E2eDll, LongMessageIsCutTo511Bytes) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    std::string id(600, 'x');
    EXPECT_EQ(dll.set_enabled(id.c_str(), 1), 0);
    std::string message = dll.last_error();
    EXPECT_EQ(message.size(), 511u);
    EXPECT_EQ(message.rfind("unknown entry source in id 'xxx", 0), 0u) << message;
}

TEST(E2eDll, FreeStringAcceptsNull) {
    const quorvel_dll &dll = the_dll();
    ASSERT_TRUE(dll.ok()) << dll.failure;
    dll.free_string(nullptr);
}

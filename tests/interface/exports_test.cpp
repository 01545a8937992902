#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "test_support.h"

using ExportsTest = MachineTest;

TEST_F(ExportsTest, FreshThreadHasEmptyMessage) {
    std::string seen = "unset";
    std::thread([&] { seen = quorvel_last_error(); }).join();
    EXPECT_EQ(seen, "");
}

TEST_F(ExportsTest, NullIdIsRefused) {
    EXPECT_EQ(quorvel_set_enabled(nullptr, 1), 0);
    EXPECT_STREQ(quorvel_last_error(), "null id");
}

TEST_F(ExportsTest, MessageSurvivesLaterSuccess) {
    EXPECT_EQ(quorvel_set_enabled("nonsense", 1), 0);
    char *text = quorvel_list();
    ASSERT_NE(text, nullptr);
    quorvel_free_string(text);
    EXPECT_STREQ(quorvel_last_error(), "unknown entry source in id 'nonsense'");
}

// Freeing null is allowed and leaves the thread's last error as it was.
TEST_F(ExportsTest, FreeStringAcceptsNull) {
    EXPECT_EQ(quorvel_set_enabled("runkey:0000000000000000", 1), 0);
    std::string before = quorvel_last_error();
    quorvel_free_string(nullptr);
    EXPECT_EQ(quorvel_last_error(), before);
    EXPECT_NE(before, "");
}

TEST_F(ExportsTest, EmptyMachineListsEmptyArray) { EXPECT_EQ(list_text(), "[]"); }

TEST_F(ExportsTest, LastErrorPointerIsStableForTheThread) {
    const char *first = quorvel_last_error();
    quorvel_set_enabled(nullptr, 0);
    EXPECT_EQ(quorvel_last_error(), first);
}

TEST_F(ExportsTest, BadInputNeverCrashes) {
    // Very long, cut anywhere, and non-UTF-8 identifiers.
    std::string big(10 * 1024, 'a');
    const std::string valid = "runkey:0123456789abcdef";
    std::vector<std::string> ids = {"", big, "runkey:" + big, "task:" + std::string(10000, 'f'),
                                    "\xff\xfe:0000000000000000", "startup:\xe9\xe9"};
    for (size_t cut = 0; cut <= valid.size(); cut++) ids.push_back(valid.substr(0, cut));
    for (const std::string &id : ids) {
        EXPECT_EQ(quorvel_set_enabled(id.c_str(), 1), 0) << id;
        EXPECT_LT(strlen(quorvel_last_error()), (size_t)LAST_ERROR_SIZE);
    }
}

TEST(LastError, LongMessageIsCutTo511Bytes) {
    std::string id(600, 'x');
    EXPECT_EQ(quorvel_set_enabled(id.c_str(), 1), 0);
    std::string expected = ("unknown entry source in id '" + id + "'").substr(0, 511);
    EXPECT_EQ(std::string(quorvel_last_error()), expected);
}

TEST(LastError, CutMayFallInsideUtf8Sequence) {
    std::string msg(510, 'a');
    set_last_error("%s\xe2\x80\x94", msg.c_str());  // the dash needs 3 bytes, 1 fits
    std::string got = quorvel_last_error();
    ASSERT_EQ(got.size(), 511u);
    EXPECT_EQ((unsigned char)got[510], 0xe2);
}

TEST(LastError, OverwritesFromTheFirstByte) {
    set_last_error("a long first message");
    set_last_error("%s", "short");
    EXPECT_STREQ(quorvel_last_error(), "short");
}

TEST(LastError, EachThreadHasItsOwnRecord) {
    set_last_error("main thread");
    std::string other_before, other_after;
    std::thread([&] {
        other_before = quorvel_last_error();
        quorvel_set_enabled(nullptr, 1);
        other_after = quorvel_last_error();
    }).join();
    EXPECT_EQ(other_before, "");
    EXPECT_EQ(other_after, "null id");
    EXPECT_STREQ(quorvel_last_error(), "main thread");
}

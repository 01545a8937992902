// Each allocation failure the library answers in its own way, reached
// through the allocation hook, with the result and message it must give.
#include <yyjson.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "interface/entry_id.h"
#include "interface/listing.h"
#include "platform/text.h"
#include "reliability_support.h"

namespace {

class OomListing : public HookedTest {};
class OomEntry : public HookedTest {};
class OomText : public HookedTest {};

// The listing of an empty machine: where it allocates the document first,
// the root array second, then the output text and last its shrink to the
// text's length. Negative positions count back from the last allocation.
TEST_F(OomListing, DocumentRootArrayWriteAndFallbackCopies) {
    long total = list_under_hook(0).counted;
    ASSERT_GE(total, 4) << "document, root array, text and its shrink at least";
    const long write = -2, shrink = -1;
    struct row {
        const char *what;
        long nth, times;
        bool null;
        const char *message;  // null: the planted one stays
    } rows[] = {
        {"document", 1, 1, false, "OOM creating json doc"},
        {"document and its \"[]\" copy", 1, 2, false, "provider collect failed"},
        {"document and every copy", 1, -1, true, "provider collect failed"},
        {"root array", 2, 1, false, nullptr},
        {"write", write, 1, false, nullptr},
        {"write and its \"[]\" copy", write, 2, false, "provider collect failed"},
        {"write and every copy", write, -1, true, "provider collect failed"},
        {"shrink (the written text is kept)", shrink, 1, false, nullptr},
    };
    for (const row &r : rows) {
        const char *planted = plant_message();
        long nth = r.nth < 0 ? total + 1 + r.nth : r.nth;
        listing_outcome out = list_under_hook(nth, r.times);
        EXPECT_GE(out.failed, 1) << r.what << ": the fault was never reached";
        EXPECT_EQ(out.null, r.null) << r.what;
        if (!r.null) {
            EXPECT_EQ(out.text, "[]") << r.what;
        }
        EXPECT_EQ(last_error(), r.message ? r.message : planted) << r.what;
        EXPECT_EQ(alloc_hook::live(), 0) << r.what;
    }
}

// The shrink of a written text is the last allocation of listing_finish;
// when it fails the text is handed back as written, nothing lost or kept.
TEST_F(OomListing, FailedShrinkHandsBackTheWrittenText) {
    const startup_entry entry = {"runkey:0123456789abcdef", "runkey", "Tool", "C:\\Tools\\tool.exe", true};
    auto finish_one = [&](long nth, long *counted) {
        listing list;
        listing_begin(&list);
        append_entry(&list, &entry);
        if (nth == 0)
            alloc_hook::count();
        else
            alloc_hook::fail(nth);
        char *text = listing_finish(&list);
        *counted = alloc_hook::disarm();
        std::string s = text ? text : "<null>";
        free(text);
        return s;
    };
    long total = 0, counted = 0;
    const std::string whole = finish_one(0, &total);
    ASSERT_GE(total, 2) << "the write and the shrink";
    EXPECT_EQ(whole,
              R"([{"id":"runkey:0123456789abcdef","source":"runkey","name":"Tool","command":"C:\\Tools\\tool.exe","enabled":true,)"
              R"("location":"","scope":"","image":"","image_exists":false,"publisher":"","description":""}])");
    EXPECT_EQ(finish_one(total, &counted), whole);
    EXPECT_EQ(alloc_hook::failed(), 1);
    EXPECT_EQ(alloc_hook::live(), 0);
}

// The root array is the document's first value: its pool chunk is the
// second allocation, which the table above relies on.
TEST_F(OomListing, SecondAllocationIsTheRootArray) {
    alloc_hook::fail(2);
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *root = yyjson_mut_arr(doc);
    alloc_hook::disarm();
    EXPECT_NE(doc, nullptr);
    EXPECT_EQ(root, nullptr);
    yyjson_mut_doc_free(doc);
}

// A document whose pools are shaped so that exactly one step of
// append_entry has to allocate: the one under test.
struct shaped_doc {
    yyjson_mut_doc *doc;
    listing list;
    shaped_doc(size_t vals_left, size_t bytes_left) {
        doc = yyjson_mut_doc_new(nullptr);
        yyjson_mut_doc_set_val_pool_size(doc, 256);
        yyjson_mut_doc_set_str_pool_size(doc, 4096);
        list = {doc, yyjson_mut_arr(doc)};
        yyjson_mut_doc_set_root(doc, list.root);
        yyjson_mut_strcpy(doc, "x");  // brings the string pool's first chunk
        doc->val_pool.cur = doc->val_pool.end - vals_left;
        doc->str_pool.cur = doc->str_pool.end - bytes_left;
    }
    ~shaped_doc() { yyjson_mut_doc_free(doc); }
    std::string write() {
        char *text = yyjson_mut_write(doc, YYJSON_WRITE_NOFLAG, nullptr);
        std::string s = text ? text : "<write failed>";
        free(text);
        return s;
    }
};

// An object takes one value, each member two (key and value), and each
// text its length plus one byte of the string pool; unset details are "".
#define D R"("location":"","scope":"","image":"","image_exists":false,"publisher":"","description":"")"
TEST_F(OomEntry, EachObjectAndMemberFailureDropsJustThat) {
    const startup_entry entry = {"I1", "src", "nm", "cmd", true};
    const size_t plenty = 200, room = 3000;
    const size_t before_source = 3, before_name = 3 + 4, before_command = 3 + 4 + 3;
    struct row {
        const char *what;
        size_t vals_left, bytes_left;
        const char *json;
    } rows[] = {
        {"object", 0, room, "[]"},
        {"id member", 1, room, R"([{"source":"src","name":"nm","command":"cmd","enabled":true,)" D R"(}])"},
        {"source member", 3, room, R"([{"id":"I1","name":"nm","command":"cmd","enabled":true,)" D R"(}])"},
        {"name member", 5, room, R"([{"id":"I1","source":"src","command":"cmd","enabled":true,)" D R"(}])"},
        {"command member", 7, room, R"([{"id":"I1","source":"src","name":"nm","enabled":true,)" D R"(}])"},
        {"enabled member", 9, room, R"([{"id":"I1","source":"src","name":"nm","command":"cmd",)" D R"(}])"},
        {"id copy", plenty, 0, R"([{"source":"src","name":"nm","command":"cmd","enabled":true,)" D R"(}])"},
        {"source copy", plenty, before_source, R"([{"id":"I1","name":"nm","command":"cmd","enabled":true,)" D R"(}])"},
        {"name copy", plenty, before_name, R"([{"id":"I1","source":"src","command":"cmd","enabled":true,)" D R"(}])"},
        {"command copy", plenty, before_command, R"([{"id":"I1","source":"src","name":"nm","enabled":true,)" D R"(}])"},
        {"location member", 11, room,
         R"([{"id":"I1","source":"src","name":"nm","command":"cmd","enabled":true,"scope":"","image":"",)"
         R"("image_exists":false,"publisher":"","description":""}])"},
        {"description copy", plenty, before_command + 4 + 4,
         R"([{"id":"I1","source":"src","name":"nm","command":"cmd","enabled":true,"location":"","scope":"",)"
         R"("image":"","image_exists":false,"publisher":""}])"},
    };
    for (const row &r : rows) {
        shaped_doc d(r.vals_left, r.bytes_left);
        alloc_hook::fail(1);
        append_entry(&d.list, &entry);
        EXPECT_EQ(alloc_hook::failed(), 1) << r.what << ": the step did not allocate";
        alloc_hook::disarm();
        EXPECT_EQ(d.write(), r.json) << r.what;
    }
}

// Once memory is back, the next entry goes in whole after a dropped one.
TEST_F(OomEntry, ListingGoesOnAfterADroppedEntry) {
    shaped_doc d(0, 3000);
    const startup_entry first = {"a", "runkey", "n1", "c1", true}, second = {"b", "task", "n2", "c2", false};
    alloc_hook::fail(1);
    append_entry(&d.list, &first);
    append_entry(&d.list, &second);
    alloc_hook::disarm();
    EXPECT_EQ(d.write(), R"([{"id":"b","source":"task","name":"n2","command":"c2","enabled":false,)" D R"(}])");
}

TEST_F(OomText, HelpersAnswerTheirOwnFailureValue) {
    // dup_string: null.
    alloc_hook::fail(1);
    char *dup = dup_string("text");
    alloc_hook::disarm();
    EXPECT_EQ(dup, nullptr);

    // utf8_to_utf16: -1 with the out-parameter untouched.
    char16_t *wide = nullptr;
    alloc_hook::fail(1);
    int units = utf8_to_utf16("abc", &wide);
    alloc_hook::disarm();
    EXPECT_EQ(units, -1);
    EXPECT_EQ(wide, nullptr);

    // path_hash: 0 when its working copy cannot be had, the true hash after.
    alloc_hook::fail(1);
    uint64_t h = path_hash("ABC");
    alloc_hook::disarm();
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(path_hash("ABC"), 0xe71fa2190541574bull);
}

TEST_F(OomText, Utf16ToUtf8FallsBackToEmptyThenNull) {
    struct row {
        const char *what;
        const char16_t *input;
        long nth, times;
        const char *expected;  // null: the result is null
    } rows[] = {
        {"buffer fails, empty copy made", u"caf\u00e9", 1, 1, ""},
        {"buffer and empty copy fail", u"caf\u00e9", 1, 2, nullptr},
        {"null input, one byte fails", nullptr, 1, 1, nullptr},
        {"no fault", u"caf\u00e9", 0, 0, "caf\xc3\xa9"},
    };
    for (const row &r : rows) {
        if (r.nth)
            alloc_hook::fail(r.nth, r.times);
        else
            alloc_hook::count();
        char *out = utf16_to_utf8(r.input);
        alloc_hook::disarm();
        if (!r.expected) {
            EXPECT_EQ(out, nullptr) << r.what;
        } else {
            ASSERT_NE(out, nullptr) << r.what;
            EXPECT_STREQ(out, r.expected) << r.what;
        }
        free(out);
    }
}

}  // namespace

#include <malloc.h>
#include <yyjson.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "interface/entry_id.h"
#include "interface/listing.h"
#include "interface/listing_support.h"
#include "test_support.h"

namespace {

std::string write_entries(const std::vector<startup_entry> &entries) {
    return written_listing(entries, "<write failed>");
}

// Bytes the heap set aside for a block (at least what was asked for).
size_t heap_block_size(void *p) {
#ifdef _WIN32
    return _msize(p);
#else
    return malloc_usable_size(p);
#endif
}

// The members of an entry whose details were left unset.
const std::string no_details =
    ",\"location\":\"\",\"scope\":\"\",\"image\":\"\",\"image_exists\":false,\"publisher\":\"\",\"description\":\"\"";

std::string one_name(const char *name) {
    return write_entries({{"runkey:0000000000000000", "runkey", name, "c", true}});
}

}  // namespace

TEST(Listing, DocumentedExampleIsExactBytes) {
    char id[ENTRY_ID_SIZE];
    snprintf(id, sizeof id, "runkey:%016llx",
             (unsigned long long)fnv1a64("runkey|d1|Software\\Microsoft\\Windows\\CurrentVersion\\Run|ExampleTool"));
    startup_entry e = {id, "runkey", "ExampleTool", "C:\\Tools\\example.exe --tray", true,
                       "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "user",
                       "C:\\Tools\\example.exe", true, "Example Ltd", "Example tool"};
    std::string got = write_entries({e});
    const std::string expected =
        "[{\"id\":\"runkey:ff3ae558395561a6\",\"source\":\"runkey\",\"name\":\"ExampleTool\","
        "\"command\":\"C:\\\\Tools\\\\example.exe --tray\",\"enabled\":true,"
        "\"location\":\"HKCU\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run\",\"scope\":\"user\","
        "\"image\":\"C:\\\\Tools\\\\example.exe\",\"image_exists\":true,\"publisher\":\"Example Ltd\","
        "\"description\":\"Example tool\"}]";
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.size(), 322u);
}

TEST(Listing, StringEscapes) {
    struct row {
        const char *name;
        const char *json;
    } rows[] = {
        {"a\"b\\c", "a\\\"b\\\\c"},
        {"line\nbreak", "line\\nbreak"},
        {"\b\t\f\r", "\\b\\t\\f\\r"},
        {"\x01", "\\u0001"},
        {"\x1f", "\\u001F"},
        {"a/b", "a/b"},
        {"\x7f", "\x7f"},
        {"Caf\xc3\xa9 \xe2\x98\x83", "Caf\xc3\xa9 \xe2\x98\x83"},
    };
    for (const row &r : rows) {
        std::string expected = std::string("[{\"id\":\"runkey:0000000000000000\",\"source\":\"runkey\",\"name\":\"") +
                               r.json + "\",\"command\":\"c\",\"enabled\":true" + no_details + "}]";
        EXPECT_EQ(one_name(r.name), expected) << r.name;
    }
}

TEST(Listing, InvalidUtf8FailsTheWholeWrite) {
    EXPECT_EQ(write_entries({{"a", "runkey", "ok", "c", true}, {"b", "runkey", "Caf\xe9", "c", false}}),
              "<write failed>");
}

TEST(Listing, AbsentCommandLeavesTheOtherMembers) {
    EXPECT_EQ(write_entries({{"task:0000000000000000", "task", "n", nullptr, false}}),
              "[{\"id\":\"task:0000000000000000\",\"source\":\"task\",\"name\":\"n\",\"enabled\":false" +
                  no_details + "}]");
}

TEST(Listing, EntriesKeepAppendOrderAndDuplicates) {
    EXPECT_EQ(write_entries({{"1", "runkey", "x", "c", true}, {"2", "startup", "x", "c", true},
                             {"3", "task", "x", "c", true}}),
              "[{\"id\":\"1\",\"source\":\"runkey\",\"name\":\"x\",\"command\":\"c\",\"enabled\":true" + no_details +
                  "},{\"id\":\"2\",\"source\":\"startup\",\"name\":\"x\",\"command\":\"c\",\"enabled\":true" + no_details +
                  "},{\"id\":\"3\",\"source\":\"task\",\"name\":\"x\",\"command\":\"c\",\"enabled\":true" + no_details +
                  "}]");
}

TEST(Listing, ProviderBuffersMayBeReusedAfterAppend) {
    listing list;
    ASSERT_TRUE(listing_begin(&list));
    char name[8] = "first";
    startup_entry e = {"i", "runkey", name, "c", true};
    append_entry(&list, &e);
    snprintf(name, sizeof name, "second");
    append_entry(&list, &e);
    char *text = listing_finish(&list);
    std::string s = text;
    free(text);
    EXPECT_NE(s.find("\"name\":\"first\""), std::string::npos);
    EXPECT_NE(s.find("\"name\":\"second\""), std::string::npos);
}

TEST(Listing, WithoutRootArrayTheWriteFails) {
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    listing list = {doc, nullptr};
    startup_entry e = {"i", "runkey", "n", "c", true};
    append_entry(&list, &e);  // attached to nothing, must not crash
    EXPECT_EQ(listing_finish(&list), nullptr);
}

// The writer's buffer is sized from the document, at up to about twice the
// text; a host keeps the listing as long as it likes, so the block that
// holds it must be the text's own length (and still the text, unchanged).
TEST(Listing, TextIsHeldInABlockOfItsOwnLength) {
    const startup_entry e = {"runkey:0123456789abcdef", "runkey", "Tool", "C:\\Tools\\tool.exe", true};
    std::vector<startup_entry> entries(250, e);  // a text well below the heap's mmap threshold
    std::string expected = write_entries(entries);
    listing list;
    ASSERT_TRUE(listing_begin(&list));
    for (const startup_entry &x : entries) append_entry(&list, &x);
    char *text = listing_finish(&list);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), expected);
    EXPECT_LT(heap_block_size(text), strlen(text) + 64);
    free(text);
}

// Bytes held by the chunks of one of the document's pools (read from
// yyjson's own pool records, laid out alike in every version we build with).
template <class Chunk>
size_t pool_bytes(const Chunk *chunk) {
    size_t bytes = 0;
    for (; chunk; chunk = chunk->next) bytes += chunk->chunk_size;
    return bytes;
}

// Room spare in the pools is held through the write, at the listing's
// peak: they grow by a quarter of what the entries hold, never by
// doubling, whatever the number of entries.
TEST(Listing, PoolsHoldLittleMoreThanTheEntries) {
    const startup_entry e = {"runkey:0123456789abcdef", "runkey", "Tool", "C:\\Tools\\tool.exe --tray", true};
    const size_t text_per_entry = 24 + 7 + 5 + 25 + 5;  // the five details' texts are ""
    for (size_t n : {200, 700, 1500, 3000, 6000, 12000}) {
        listing list;
        ASSERT_TRUE(listing_begin(&list));
        for (size_t i = 0; i < n; i++) append_entry(&list, &e);
        size_t values = (1 + 23 * n) * sizeof(yyjson_mut_val), text = n * text_per_entry;
        EXPECT_LE(pool_bytes(list.doc->val_pool.chunks), values + values / 4 + 64 * sizeof(yyjson_mut_val)) << n;
        EXPECT_LE(pool_bytes(list.doc->str_pool.chunks), text + text / 4 + 1024) << n;
        free(listing_finish(&list));
    }
}

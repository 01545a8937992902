// The host's table formatter: width policy, UTF-8 measuring and cutting,
// column alignment, the ellipsis and the treatment of unusual members.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "table.h"
#include "text.h"

namespace {

std::string table(const std::string &json, int width) {
    char *text = format_table(json.data(), json.size(), width);
    std::string s = text ? text : "<null>";
    free(text);
    return s;
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

size_t points(const std::string &s) { return utf8_points(s.data(), s.size()); }

// Code-point column at which `needle` starts in `line` (npos if absent).
size_t column_of(const std::string &line, const std::string &needle) {
    size_t at = line.find(needle);
    return at == std::string::npos ? at : points(line.substr(0, at));
}

// An item as a listing without details has it (an older library), or with
// `details`: the members that follow "enabled", as JSON text.
std::string entry(const std::string &id, const std::string &source, const std::string &name,
                  const std::string &command, bool enabled, const std::string &details = "") {
    return "{\"id\":\"" + id + "\",\"source\":\"" + source + "\",\"name\":\"" + name + "\",\"command\":\"" +
           command + "\",\"enabled\":" + (enabled ? "true" : "false") + (details.empty() ? "" : ",") + details + "}";
}

std::string details(const std::string &scope, const std::string &image, bool exists, const std::string &publisher) {
    return "\"location\":\"L\",\"scope\":\"" + scope + "\",\"image\":\"" + image +
           "\",\"image_exists\":" + (exists ? "true" : "false") + ",\"publisher\":\"" + publisher +
           "\",\"description\":\"D\"";
}

// STATE(5) FILE(4) SCOPE(5) SOURCE(6) NAME(4) PUBLISHER(9) ID(21) and
// seven gaps of 2: the room a one-letter task leaves around its command.
const int kFixed = 5 + 4 + 5 + 6 + 4 + 9 + 21 + 14;

const std::string kShortId = "runkey:666f6c80186f1dab";
const std::string kTaskId = "task:cbf29ce484222325";

}  // namespace

TEST(HostTableWidth, ColumnsThenConsoleThenDefault) {
    struct {
        const char *columns;
        int console;
        int expected;
    } cases[] = {
        {nullptr, 0, TABLE_DEFAULT_WIDTH}, {nullptr, 133, 133}, {"80", 0, 80},   {"80", 200, 80},
        {"", 100, 100},                    {"abc", 100, 100},   {"80x", 0, 120}, {"0", 50, 50},
        {"-5", 0, 120},                    {"1", 0, 1},         {"99999999999999999999", 70, 70},
    };
    for (const auto &c : cases)
        EXPECT_EQ(table_width(c.columns, c.console), c.expected)
            << "COLUMNS=" << (c.columns ? c.columns : "(unset)") << " console=" << c.console;
}

TEST(HostTableUtf8, PointsCountSequencesAndStrayBytesOnce) {
    struct {
        std::string text;
        size_t points;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"\xC3\xA9", 1},                   // é
        {"\xE2\x82\xAC", 1},               // €
        {"\xF0\x9F\x98\x80", 1},           // U+1F600
        {"a\xC3\xA9\xE2\x82\xAC" "b", 4},  // mixed
        {"\xE9", 1},                       // Latin-1 byte, not UTF-8
        {"\xE2\x82", 2},                   // sequence cut short
        {"\xC0\xAF", 2},                   // overlong
        {"\xED\xA0\x80", 3},               // surrogate
        {"\xE0\x80\x80", 3},               // overlong, three bytes
        {"\xF0\x80\x80\x80", 4},           // overlong, four bytes
        {"\xF4\x90\x80\x80", 4},           // beyond U+10FFFF
        {"\x80\x80", 2},                   // lone continuation bytes
    };
    for (const auto &c : cases) EXPECT_EQ(points(c.text), c.points) << testing::PrintToString(c.text);
}

TEST(HostTableUtf8, PrefixEndsOnSequenceBoundaries) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € U+1F600 z
    const size_t expected_bytes[] = {0, 1, 3, 6, 10, 11, 11};
    for (size_t n = 0; n < sizeof expected_bytes / sizeof expected_bytes[0]; n++) {
        size_t bytes = utf8_prefix(text.data(), text.size(), n);
        EXPECT_EQ(bytes, expected_bytes[n]) << n << " points";
        EXPECT_EQ(points(text.substr(0, bytes)), std::min<size_t>(n, 5));
    }
    // A sequence cut short at the end of the text is not run past.
    const std::string cut = "ab\xE2\x82";
    EXPECT_EQ(utf8_prefix(cut.data(), cut.size(), 10), cut.size());
}

TEST(HostTableLayout, ExactLayoutsWithAndWithoutDetails) {
    struct {
        std::string json, expected;
    } cases[] = {
        // A file that is there leaves FILE blank; a missing one and none at all are marked.
        {"[" + entry(kShortId, "runkey", "Updater", "C:\\\\u.exe /q", true,
                     details("user", "C:\\\\u.exe", true, "Up & Co")) + "," +
             entry(kTaskId, "task", "Backup", "b.exe", false, details("machine", "b.exe", false, "")) + "," +
             entry("startup:0123456789abcdef", "startup", "Empty.lnk", "", true, details("user", "", false, "")) + "]",
         "STATE  FILE     SCOPE    SOURCE   NAME       PUBLISHER  COMMAND      ID\n"
         "on              user     runkey   Updater    Up & Co    C:\\u.exe /q  runkey:666f6c80186f1dab\n"
         "off    missing  machine  task     Backup                b.exe        task:cbf29ce484222325\n"
         "on     none     user     startup  Empty.lnk                          startup:0123456789abcdef\n"},
        // An older library's listing: the same table with empty cells.
        {"[" + entry(kShortId, "runkey", "Updater", "C:\\\\u.exe /q", true) + "," +
             entry(kTaskId, "task", "Backup", "b.exe", false) + "]",
         "STATE  FILE  SCOPE  SOURCE  NAME     PUBLISHER  COMMAND      ID\n"
         "on                  runkey  Updater             C:\\u.exe /q  runkey:666f6c80186f1dab\n"
         "off                 task    Backup              b.exe        task:cbf29ce484222325\n"},
    };
    for (const auto &c : cases) EXPECT_EQ(table(c.json, 120), c.expected);
}

TEST(HostTableLayout, ColumnsAlignWhateverTheCellLengths) {
    const std::string json = "[" + entry(kShortId, "runkey", "N\xC3\xA9", "short", true) + "," +
                             entry(kTaskId, "startup", "A much longer name.lnk", "C:\\\\x.exe", false) + "," +
                             entry("runonce:18da1d5100b6bb9e", "runonce", "\xE2\x82\xAC\xE2\x82\xAC", "", true) + "]";
    auto lines = lines_of(table(json, 200));
    ASSERT_EQ(lines.size(), 4u);
    const std::string ids[] = {"ID", kShortId, kTaskId, "runonce:18da1d5100b6bb9e"};
    const std::string sources[] = {"SOURCE", "runkey", "startup", "runonce"};
    for (size_t i = 0; i < lines.size(); i++) {
        EXPECT_EQ(column_of(lines[i], sources[i]), column_of(lines[0], "SOURCE")) << lines[i];
        EXPECT_EQ(column_of(lines[i], ids[i]), column_of(lines[0], "ID")) << lines[i];
        EXPECT_NE(lines[i].back(), ' ') << "trailing space: " << lines[i];
    }
    // The name column is as wide as its widest cell in code points, not bytes.
    EXPECT_EQ(column_of(lines[0], "PUBLISHER"), column_of(lines[0], "NAME") + points("A much longer name.lnk") + 2);
}

TEST(HostTableLayout, LongCommandsAreCutToTheWidthWithAnEllipsis) {
    const std::string command(200, 'x');
    const std::string json = "[" + entry(kShortId, "runkey", "Tool", command, true) + "," +
                             entry(kTaskId, "task", "T", "tiny", true) + "]";
    for (int width : {80, 81, 100, 119}) {
        auto lines = lines_of(table(json, width));
        ASSERT_EQ(lines.size(), 3u);
        for (const auto &line : lines) EXPECT_LE(points(line), static_cast<size_t>(width)) << line;
        EXPECT_EQ(points(lines[1]), static_cast<size_t>(width)) << "the cut row uses the whole width";
        EXPECT_NE(lines[1].find("x\xE2\x80\xA6  " + kShortId), std::string::npos) << lines[1];
        EXPECT_EQ(lines[2].find("\xE2\x80\xA6"), std::string::npos) << "short commands are not cut";
    }
}

TEST(HostTableLayout, ACommandThatFitsExactlyIsNotCut) {
    const std::string command = "0123456789";
    const std::string json = "[" + entry(kTaskId, "task", "T", command, true) + "]";
    const int fixed = kFixed;
    EXPECT_NE(table(json, fixed + 10).find(command + "  task:"), std::string::npos);
    std::string cut = table(json, fixed + 9);
    EXPECT_NE(cut.find("01234567\xE2\x80\xA6" "  task:"), std::string::npos) << cut;
    EXPECT_EQ(cut.find(command), std::string::npos);
}

TEST(HostTableLayout, CutsByCodePointsNeverInsideASequence) {
    std::string command;
    for (int i = 0; i < 50; i++) command += i % 2 ? "\xC3\xA9" : "\xF0\x9F\x98\x80";  // é and U+1F600
    const std::string json = "[" + entry(kTaskId, "task", "T", command, true) + "]";
    const int fixed = kFixed;
    for (int room = TABLE_MIN_COMMAND; room < 20; room++) {
        auto lines = lines_of(table(json, fixed + room));
        ASSERT_EQ(lines.size(), 2u);
        const std::string &row = lines[1];
        size_t start = row.find(command.substr(0, 4));
        size_t end = row.find("\xE2\x80\xA6");
        ASSERT_NE(start, std::string::npos);
        ASSERT_NE(end, std::string::npos) << row;
        std::string kept = row.substr(start, end - start);
        EXPECT_EQ(command.compare(0, kept.size(), kept), 0) << "kept text is a prefix of the command";
        EXPECT_EQ(points(kept), static_cast<size_t>(room - 1));
        EXPECT_EQ(points(row), static_cast<size_t>(fixed + room));
    }
}

TEST(HostTableLayout, ThePublisherGivesWayOnceTheCommandIsAtItsMinimum) {
    const std::string publisher = "A Publisher With A Long Name";  // 28 points
    const std::string json =
        "[" + entry(kTaskId, "task", "T", std::string(40, 'c'), true, details("machine", "c", true, publisher)) + "]";
    // FILE and SCOPE are now 4 and 7 wide: kFixed + 2 - 9 + 28 is the line without a command.
    const int without_command = kFixed + 2 - 9;
    struct {
        int width;
        std::string publisher_cell, command_cell;
    } cases[] = {
        {without_command + 28 + 40, publisher, std::string(40, 'c')},
        {without_command + 28 + 8, publisher, std::string(7, 'c') + "\xE2\x80\xA6"},
        {without_command + 20 + 8, "A Publisher With A \xE2\x80\xA6", std::string(7, 'c') + "\xE2\x80\xA6"},
        {40, "A Publis\xE2\x80\xA6", std::string(7, 'c') + "\xE2\x80\xA6"},  // both at their minimum
    };
    for (const auto &c : cases) {
        auto lines = lines_of(table(json, c.width));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[1].find("  " + c.publisher_cell + "  " + c.command_cell + "  task:"), std::string::npos)
            << "width " << c.width << ": " << lines[1];
        if (c.width > 40) {
            EXPECT_EQ(points(lines[1]), static_cast<size_t>(c.width)) << lines[1];
        }
    }
}

TEST(HostTableLayout, TheCommandColumnKeepsItsMinimumOnNarrowTerminals) {
    const std::string json = "[" + entry(kTaskId, "task", "T", std::string(40, 'c'), true) + "]";
    for (int width : {1, 10, 40}) {
        auto lines = lines_of(table(json, width));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[1].find(std::string(TABLE_MIN_COMMAND - 1, 'c') + "\xE2\x80\xA6  task:"), std::string::npos)
            << "width " << width << ": " << lines[1];
    }
}

TEST(HostTableCells, ControlCharactersAreShownAsQuestionMarks) {
    // Newline, tab, ESC (a terminal sequence), DEL, the C1 character CSI and the last C1 one.
    const std::string json =
        "[" + entry(kTaskId, "task", "a\\nb\\tc", "\\u001b[31mred\\u007f\\u009b\\u009f", true) + "]";
    std::string text = table(json, 120);
    auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 2u) << text;
    EXPECT_NE(lines[1].find("a?b?c"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("?[31mred???"), std::string::npos) << lines[1];
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(text.find('\t'), std::string::npos);
    EXPECT_EQ(text.find("\xC2\x9B"), std::string::npos);
    EXPECT_EQ(text.find("\xC2\x9F"), std::string::npos);
}

TEST(HostTableCells, MissingOrOddMembersGiveEmptyCellsAndAnUnknownState) {
    const std::string json = "[{\"id\":\"" + kTaskId +
                             "\",\"source\":\"task\",\"name\":\"NoCommand\",\"enabled\":false},"
                             "{\"id\":\"" + kShortId + "\",\"source\":\"runkey\",\"name\":7,\"command\":\"c\"}]";
    auto lines = lines_of(table(json, 120));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("off", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("NoCommand"), std::string::npos);
    EXPECT_EQ(lines[2].rfind("?", 0), 0u) << "no boolean: state unknown: " << lines[2];
    EXPECT_EQ(column_of(lines[2], kShortId), column_of(lines[0], "ID"));
}

TEST(HostTableCells, AnEmptyListingIsTheHeaderAlone) {
    EXPECT_EQ(table("[]", 120), "STATE  FILE  SCOPE  SOURCE  NAME  PUBLISHER  COMMAND  ID\n");
}

TEST(HostTableCells, TextThatIsNotAListingIsRefused) {
    for (const char *json : {"", "{}", "\"[]\"", "[1,", "nope", "[\"\xE9\"]"})
        EXPECT_EQ(table(json, 120), "<null>") << testing::PrintToString(std::string(json));
}

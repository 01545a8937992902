// The host's commands run in-process over the in-memory machine: argument
// handling, exit codes, what goes to which stream, and that `list` passes
// the library's bytes through untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "names.h"
#include "platform/mem/mem_details.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_registry.h"
#include "test_support.h"

namespace {

struct cli_result {
    int code;
    std::string out, err;
};

std::string read_all(FILE *f) {
    std::string s;
    rewind(f);
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    fclose(f);
    return s;
}

cli_result run(std::vector<std::string> args, int width = 120) {
    args.insert(args.begin(), "quorvel");
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    FILE *out = tmpfile();
    FILE *err = tmpfile();
    EXPECT_TRUE(out && err);
    if (!out || !err) return {-1, "", ""};
    int code = run_cli(static_cast<int>(args.size()), argv.data(), out, err, width);
    std::string o = read_all(out);
    return {code, o, read_all(err)};
}

std::string args_text(const std::vector<std::string> &args) {
    std::string s;
    for (const auto &a : args) s += " '" + a + "'";
    return s;
}

const char kUsageStart[] = "usage: quorvel list [--table]\n";

}  // namespace

class HostCli : public MachineTest {};

TEST(HostCliNames, IdentifiersHaveLettersAColonAndHexDigits) {
    for (const char *id : {"runkey:c266af6b6c853c45", "task:123", "Runkey:FF3AE558395561A6", "x:0"})
        EXPECT_TRUE(looks_like_id(id)) << id;
    for (const char *name : {"", "bogus", "runkey:", ":12", "runkey:12g", "C:\\x", "run key:1", "-"})
        EXPECT_FALSE(looks_like_id(name)) << name;
}

TEST(HostCliNames, AWordNamesTheItemsPeopleWouldMeanByIt) {
    const std::string listing =
        "[{\"id\":\"runkey:1\",\"source\":\"runkey\",\"name\":\"Demo\",\"location\":\"HKCU\\\\Run\"},"
        "{\"id\":\"runkey:2\",\"source\":\"runkey\",\"name\":\"Toolsdisabled\",\"location\":\"HKLM\\\\Run\"},"
        "{\"id\":\"startup:3\",\"source\":\"startup\",\"name\":\"Notes.lnk\",\"location\":\"C:\\\\S\"},"
        "{\"id\":\"task:4\",\"source\":\"task\",\"name\":\"Sync\",\"location\":\"\\\\\"},"
        "{\"id\":\"task:5\",\"source\":\"task\",\"name\":\"Syncdisabled\",\"location\":\"\\\\\"},"
        "{\"id\":\"runkey:6\",\"source\":\"runkey\",\"name\":\"Caf\\u00e9\"},"  // an older listing
        "{\"id\":\"runkey:10\",\"source\":\"runkey\",\"name\":\"\\u0141\\u00f3d\\u017a\"},"
        "{\"id\":\"startup:7\",\"source\":\"startup\",\"name\":\"\\u0414\\u0435\\u043c\\u043e.lnk\","
        "\"location\":\"C:\\\\S\"},"
        "{\"id\":\"runkey:8\",\"source\":\"runkey\",\"name\":\"twin\\u001b\",\"location\":\"HKCU\\\\Run\"},"
        "{\"id\":\"startup:9\",\"source\":\"startup\",\"name\":\"TWIN\\u001b.lnk\",\"location\":\"C:\\\\S\"},"
        "{\"id\":\"package:b\",\"source\":\"package\",\"name\":\"Contoso Chat\",\"location\":\"Contoso.Chat_8w\"},"
        "{\"id\":\"startup:11\",\"source\":\"startup\",\"name\":\"Tidy.cmd.bat\",\"location\":\"C:\\\\S\"},"
        "{\"id\":\"policy:12\",\"source\":\"policy\",\"name\":\"Tidy.cmddisabled\",\"location\":\"HKLM\\\\P\"},"
        "{\"id\":\"startup:13\",\"source\":\"startup\",\"name\":\".hidden\",\"location\":\"C:\\\\S\"},"
        "{\"source\":\"runkey\",\"name\":\"Demo\"},{\"id\":7,\"name\":\"Demo\"}]";  // no identifier
    struct {
        std::string word, candidates;
    } cases[] = {
        {"demo", "  runkey:1  HKCU\\Run\\Demo\n"},
        {"DEMO", "  runkey:1  HKCU\\Run\\Demo\n"},
        {"tools", "  runkey:2  HKLM\\Run\\Toolsdisabled\n"},
        {"TOOLSDISABLED", "  runkey:2  HKLM\\Run\\Toolsdisabled\n"},
        {"notes", "  startup:3  C:\\S\\Notes.lnk\n"},
        {"Notes.LNK", "  startup:3  C:\\S\\Notes.lnk\n"},
        {"sync", "  task:4  \\Sync\n"},  // a task's name keeps its "disabled"
        {"CAF\xC3\x89", "  runkey:6  Caf\xC3\xA9\n"},
        {"\xC5\x82\xC3\x93" "D\xC5\xB9", "  runkey:10  \xC5\x81\xC3\xB3" "d\xC5\xBA\n"},  // Łódź as łÓDŹ
        {"\xD0\x94\xD0\x95\xD0\x9C\xD0\x9E", "  startup:7  C:\\S\\\xD0\x94\xD0\xB5\xD0\xBC\xD0\xBE.lnk\n"},
        {"Twin\x1b", "  runkey:8  HKCU\\Run\\twin?\n  startup:9  C:\\S\\TWIN?.lnk\n"},
        {"contoso CHAT", "  package:b  Contoso.Chat_8w\\Contoso Chat\n"},
        {"tidy.CMD", "  startup:11  C:\\S\\Tidy.cmd.bat\n"},  // the last extension only
        {"tidy", ""},
        {"Tidy.cmdDisabled", "  policy:12  HKLM\\P\\Tidy.cmddisabled\n"},  // a policy value's name is taken whole
        {".HIDDEN", "  startup:13  C:\\S\\.hidden\n"},
        {"", ""},  // a name that is all extension keeps it
        {"cafe", ""},
        {"Note", ""},
        {"Demodisabled", ""},
    };
    for (const auto &c : cases) {
        struct named found;
        ASSERT_TRUE(find_named(listing.data(), listing.size(), c.word.c_str(), &found)) << c.word;
        size_t lines = static_cast<size_t>(std::count(c.candidates.begin(), c.candidates.end(), '\n'));
        EXPECT_EQ(found.count, lines) << c.word;
        EXPECT_EQ(found.candidates ? found.candidates : "", c.candidates) << c.word;
        std::string first_id = c.candidates.empty() ? "" : c.candidates.substr(2, c.candidates.find("  ", 2) - 2);
        EXPECT_EQ(found.id ? found.id : "", first_id) << c.word;
        named_free(&found);
    }
    struct named none;
    EXPECT_FALSE(find_named("{}", 2, "demo", &none));
}

TEST_F(HostCli, BadCommandLinesExitTwoWithAMessageAndTheUsage) {
    struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "quorvel: no command given"},
        {{"frob"}, "quorvel: unknown command 'frob'"},
        {{"LIST"}, "quorvel: unknown command 'LIST'"},
        {{"--frob"}, "quorvel: unknown option '--frob'"},
        {{"list", "--tabel"}, "quorvel: unknown option '--tabel'"},
        {{"list", "extra"}, "quorvel: unexpected argument 'extra'"},
        {{"enable"}, "quorvel: enable needs an identifier or a name"},
        {{"disable"}, "quorvel: disable needs an identifier or a name"},
        {{"enable", "runkey:0000000000000000", "more"}, "quorvel: unexpected argument 'more'"},
        {{"disable", "--now", "runkey:0000000000000000"}, "quorvel: unknown option '--now'"},
        {{"enable", "--table", "runkey:0000000000000000"}, "quorvel: unknown option '--table'"},
    };
    for (const auto &c : cases) {
        cli_result r = run(c.args);
        EXPECT_EQ(r.code, CLI_USAGE) << args_text(c.args);
        EXPECT_EQ(r.out, "") << args_text(c.args);
        EXPECT_EQ(r.err.rfind(c.message + "\n\n" + kUsageStart, 0), 0u) << args_text(c.args) << "\n" << r.err;
    }
    EXPECT_EQ(mem_calls("RegOpenKeyExA"), 0) << "nothing is listed or switched on a bad command line";
}

TEST_F(HostCli, HelpGoesToStandardOutputAndSucceeds) {
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"list", "--help"}, {"enable", "--help"}, {"frob", "-h"}}) {
        cli_result r = run(args);
        EXPECT_EQ(r.code, CLI_OK) << args_text(args);
        EXPECT_EQ(r.out.rfind(kUsageStart, 0), 0u) << args_text(args);
        EXPECT_EQ(r.err, "") << args_text(args);
    }
}

TEST_F(HostCli, ARefusedSwitchPrintsTheLibrarysMessageAndExitsOne) {
    struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"enable", "runonce:0000000000000000"}, "runonce entries are one-shot and cannot be toggled"},
        {{"disable", "runkey:FF3AE558395561A6"}, "bad id format"},
        {{"disable", "bogus"}, "unknown entry source in id 'bogus'"},
        {{"enable", ""}, "unknown entry source in id ''"},
        {{"enable", "-"}, "unknown entry source in id '-'"},
        {{"disable", "runkey:0000000000000000"}, "runkey: entry no longer exists"},
    };
    for (const auto &c : cases) {
        cli_result r = run(c.args);
        EXPECT_EQ(r.code, CLI_FAILED) << args_text(c.args);
        EXPECT_EQ(r.err, c.message + "\n") << args_text(c.args);
        EXPECT_EQ(r.out, "") << args_text(c.args);
    }
}

TEST_F(HostCli, ListPrintsTheLibrarysTextAndOneLineBreak) {
    cli_result r = run({"list"});
    EXPECT_EQ(r.code, CLI_OK);
    EXPECT_EQ(r.out, list_text() + "\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(HostCli, ListTableOfAnEmptyMachineIsTheHeader) {
    cli_result r = run({"list", "--table"}, 40);
    EXPECT_EQ(r.code, CLI_OK);
    EXPECT_EQ(r.out, "STATE  FILE  SCOPE  SOURCE  NAME  PUBLISHER  COMMAND  ID\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(run({"list", "--table", "--table"}).out, r.out) << "a repeated --table is harmless";
}

TEST_F(HostCli, AnOutputThatCannotBeWrittenIsAFailure) {
    // A stream open for reading refuses every write, as a full disk would.
    const std::string path = testing::TempDir() + "quorvel_host_readonly.txt";
    FILE *make = fopen(path.c_str(), "wb");
    ASSERT_NE(make, nullptr);
    fclose(make);
    FILE *readonly = fopen(path.c_str(), "rb");
    FILE *err = tmpfile();
    ASSERT_TRUE(readonly && err);
    std::string a0 = "quorvel", a1 = "list";
    char *argv[] = {&a0[0], &a1[0], nullptr};
    EXPECT_EQ(run_cli(2, argv, readonly, err, 120), CLI_FAILED);
    fclose(readonly);
    remove(path.c_str());
    EXPECT_EQ(read_all(err), "quorvel: cannot write the output\n");
}

// Over a machine with run values: what `list` prints is the library's text
// byte for byte, the table has a row per item, and a switch that works is
// silent and shows in the next listing.
namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

void put_run_values() {
    // Only Demo's program file is there, with a publisher.
    mem_files_add_file("C:\\windows\\notepad.exe");
    mem_details_set_version("C:\\windows\\notepad.exe", {0x04B00409}, {{"040904B0", "CompanyName", "Notes & Co"}});
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, kRun, "Demo", "C:\\windows\\notepad.exe");
    // Quotes, backslashes, a line break and a control character, escaped
    // by the writer; the host must not touch them.
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, kRun, "Quote\"Back\\slash", "a.exe \"x\"\n\x01");
    mem_reg_put_string(PLAT_HKEY_LOCAL_MACHINE, kRun, "Toolsdisabled", "t.exe --tray");
    mem_reg_put_string(PLAT_HKEY_CURRENT_USER, kRunOnce, "Setup", "s.exe");
}

}  // namespace

TEST_F(HostCli, ListOfAMachineWithItemsIsTheLibrarysBytes) {
    put_run_values();
    const std::string library = list_text();
    ASSERT_NE(library, "[]");
    ASSERT_NE(library.find("\\\"Back\\\\slash"), std::string::npos) << library;
    cli_result r = run({"list"});
    EXPECT_EQ(r.code, CLI_OK);
    EXPECT_EQ(r.out, library + "\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(HostCli, ListTableHasARowPerItemWithinTheWidth) {
    put_run_values();
    cli_result r = run({"list", "--table"}, 110);
    EXPECT_EQ(r.code, CLI_OK) << r.err;
    std::vector<std::string> lines;
    for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(r.out.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[0].rfind("STATE  FILE     SCOPE    SOURCE   NAME              PUBLISHER   COMMAND", 0), 0u)
        << lines[0];
    const char *starts[] = {"on              user     runkey   Demo              Notes & Co  C:",
                            "on     missing  user     runkey   Quote\"Back\\slash              a.exe",
                            "off    missing  machine  runkey   Toolsdisabled                 t.exe",
                            "on     missing  user     runonce  Setup                         s.exe"};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(lines[i + 1].rfind(starts[i], 0), 0u) << lines[i + 1];
        EXPECT_LE(lines[i + 1].size(), 110u + 2) << "one ellipsis is 3 bytes: " << lines[i + 1];
    }
    EXPECT_NE(lines[2].find("a.exe \"x\"??"), std::string::npos) << "line break and U+0001 shown as ?: " << r.out;
}

TEST_F(HostCli, ASwitchThatWorksIsSilentAndShowsInTheNextListing) {
    put_run_values();
    // runkey|d1|...\Run|Demo and the same with Demodisabled.
    const std::string on_id = "runkey:c266af6b6c853c45", off_id = "runkey:3434bd57100f3045";
    ASSERT_NE(list_text().find(on_id), std::string::npos);

    cli_result off = run({"disable", on_id});
    EXPECT_EQ(off.code, CLI_OK) << off.err;
    EXPECT_EQ(off.out + off.err, "");
    std::string listed = list_text();
    EXPECT_NE(listed.find("\"id\":\"" + off_id + "\",\"source\":\"runkey\",\"name\":\"Demodisabled\""),
              std::string::npos)
        << listed;

    cli_result stale = run({"enable", on_id});
    EXPECT_EQ(stale.code, CLI_FAILED);
    EXPECT_EQ(stale.err, "runkey: entry no longer exists\n");

    cli_result on = run({"enable", off_id});
    EXPECT_EQ(on.code, CLI_OK) << on.err;
    EXPECT_NE(list_text().find(on_id), std::string::npos);
}

TEST_F(HostCli, ANameThatOneItemHasSwitchesItInAnyCase) {
    put_run_values();
    const std::string demo_on = "runkey:c266af6b6c853c45", demo_off = "runkey:3434bd57100f3045";
    cli_result off = run({"disable", "demo"});
    EXPECT_EQ(off.code, CLI_OK) << off.err;
    EXPECT_EQ(off.out + off.err, "");
    EXPECT_NE(list_text().find(demo_off), std::string::npos);
    // The name it had before it was switched off still finds it.
    cli_result on = run({"enable", "DEMO"});
    EXPECT_EQ(on.code, CLI_OK) << on.err;
    EXPECT_NE(list_text().find(demo_on), std::string::npos);
    // A name no item has is the library's business, as an identifier.
    cli_result none = run({"enable", "Nobody"});
    EXPECT_EQ(none.code, CLI_FAILED);
    EXPECT_EQ(none.err, "unknown entry source in id 'Nobody'\n");
}

TEST_F(HostCli, ANameThatSeveralItemsHaveSwitchesNothingAndListsThem) {
    put_run_values();
    mem_reg_put_string(PLAT_HKEY_LOCAL_MACHINE, kRun, "DEMO", "C:\\other\\demo.exe");
    char machine_id[40];
    snprintf(machine_id, sizeof machine_id, "runkey:%016llx",
             (unsigned long long)expected_hash(std::string("runkey|d0|") + kRun + "|DEMO"));
    const std::string before = list_text();
    cli_result r = run({"disable", "Demo"});
    EXPECT_EQ(r.code, CLI_FAILED);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("quorvel: 'Demo' names 2 items; nothing was switched. Give one identifier:\n"
                                 "  runkey:c266af6b6c853c45  HKCU\\") + kRun + "\\Demo\n  " + machine_id +
                         "  HKLM\\" + kRun + "\\DEMO\n");
    EXPECT_EQ(list_text(), before);
}

// The host's commands run in-process over the in-memory machine: argument
// handling, exit codes, what goes to which stream, and that `list` passes
// the library's bytes through untouched.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
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
        {{"enable"}, "quorvel: enable needs an identifier"},
        {{"disable"}, "quorvel: disable needs an identifier"},
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
    EXPECT_EQ(r.out, "STATE  SOURCE  NAME  COMMAND  ID\n");
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
    cli_result r = run({"list", "--table"}, 80);
    EXPECT_EQ(r.code, CLI_OK) << r.err;
    std::vector<std::string> lines;
    for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(r.out.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[0].rfind("STATE  SOURCE   NAME", 0), 0u) << lines[0];
    const char *starts[] = {"on     runkey   Demo ", "on     runkey   Quote\"Back\\slash ",
                            "off    runkey   Toolsdisabled ", "on     runonce  Setup "};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(lines[i + 1].rfind(starts[i], 0), 0u) << lines[i + 1];
        EXPECT_LE(lines[i + 1].size(), 80u + 2) << "one ellipsis is 3 bytes: " << lines[i + 1];
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

// Making out an item's image and reading its version texts, over the
// in-memory machine: the forms of a command line, the search, host
// programs, the string tables, and failures that leave "" or false.
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/mem/mem_details.h"
#include "platform/mem/mem_files.h"
#include "platform/mem/mem_machine.h"
#include "providers/item_details.h"
#include "test_support.h"

namespace {

struct made {
    std::string image;
    bool exists;
    std::string publisher, description;
    bool operator==(const made &o) const {
        return image == o.image && exists == o.exists && publisher == o.publisher && description == o.description;
    }
};

std::ostream &operator<<(std::ostream &os, const made &m) {
    return os << "{" << m.image << ", " << m.exists << ", " << m.publisher << ", " << m.description << "}";
}

made as_made(const item_details &d) {
    return {d.image ? d.image : "<null>", d.image_exists, d.publisher, d.description};
}

made of_command(const std::u16string &command) {
    item_details d;
    describe_command(nullptr, command.c_str(), &d);
    return as_made(d);
}

made of_program(const std::u16string &program, const std::u16string &arguments) {
    item_details d;
    describe_program(nullptr, program.c_str(), arguments.c_str(), &d);
    return as_made(d);
}

const uint32_t us_unicode = 0x04b00409;  // the translation 0409, code page 04B0

class ItemDetails : public ::testing::Test {
  protected:
    void SetUp() override {
        mem_reset();
        mem_details_set_env("ProgramFiles", "C:\\Program Files");
        mem_details_set_env("PATH", "relative\\bin;C:\\Tools\\;\"C:\\Quoted Dir\"");
        for (const char *f : {"C:\\Program Files\\Vendor\\app.exe", "C:\\Program Files\\Acme.exe",
                              "C:\\Program Files\\Vendor\\x y.dll", "C:\\Windows\\system32\\ctfmon.exe",
                              "C:\\Windows\\system32\\rundll32.exe", "C:\\Windows\\system32\\shell32.dll",
                              "C:\\Windows\\system32\\wscript.exe", "C:\\Windows\\notepad.exe", "C:\\Tools\\tool.exe",
                              "C:\\Quoted Dir\\q.exe", "C:\\Windows\\tool.exe.exe"})
            mem_files_add_file(f);
        mem_files_add_dir("C:\\Program Files\\Folder.exe");
        mem_files_add_dir("C:\\Tools\\dir.exe");
        mem_details_set_version("C:\\Program Files\\Vendor\\app.exe", {us_unicode},
                                {{"040904B0", "CompanyName", "Vendor Inc"}, {"040904B0", "FileDescription", "App"}});
    }
};

}  // namespace

TEST_F(ItemDetails, CommandLines) {
    const made app = {"C:\\Program Files\\Vendor\\app.exe", true, "Vendor Inc", "App"};
    struct row {
        std::u16string command;
        made expected;
    } rows[] = {
        {u"\"C:\\Program Files\\Vendor\\app.exe\" --tray", app},
        {u"  \"C:\\Program Files\\Vendor\\app.exe", app},  // no closing quote
        {u"C:\\Program Files\\Vendor\\app.exe --tray", app},
        {u"C:\\Program Files\\Vendor\\app --tray", app},  // ".exe" added
        {u"%ProgramFiles%\\Vendor\\app.exe", app},
        {u"%PROGRAMFILES%\\Vendor\\app.exe", app},
        // A prefix that names a file wins, as CreateProcess runs it.
        {u"C:\\Program Files\\Acme Tool\\tool.exe /x", {"C:\\Program Files\\Acme.exe", true, "", ""}},
        {u"C:\\Missing Dir\\gone.exe -a b.exe", {"C:\\Missing Dir\\gone.exe", false, "", ""}},
        {u"C:\\Missing Dir\\gone -a", {"C:\\Missing", false, "", ""}},
        {u"C:\\Program Files\\Folder.exe", {"C:\\Program Files\\Folder.exe", false, "", ""}},
        {u"%NOPE%\\x.exe", {"%NOPE%\\x.exe", false, "", ""}},
        {u"relative\\x.exe", {"relative\\x.exe", false, "", ""}},
        // Bare names: the system folder, the Windows folder, then PATH.
        {u"ctfmon", {"C:\\Windows\\system32\\ctfmon.exe", true, "", ""}},
        {u"NOTEPAD.EXE /p", {"C:\\Windows\\NOTEPAD.EXE", true, "", ""}},  // spelled as the command spells it
        {u"tool --x", {"C:\\Tools\\tool.exe", true, "", ""}},
        {u"tool.exe", {"C:\\Tools\\tool.exe", true, "", ""}},  // not the Windows folder's tool.exe.exe
        {u"q", {"C:\\Quoted Dir\\q.exe", true, "", ""}},
        {u"dir", {"dir", false, "", ""}},
        {u"unknown /x", {"unknown", false, "", ""}},
        // Host programs.
        {u"rundll32.exe shell32.dll,Control_RunDLL", {"C:\\Windows\\system32\\shell32.dll", true, "", ""}},
        {u"RUNDLL32 \"C:\\Program Files\\Vendor\\x y.dll\",Start", {"C:\\Program Files\\Vendor\\x y.dll", true, "", ""}},
        {u"rundll32 C:\\Vendor\\helper.dll,Start now", {"C:\\Vendor\\helper.dll", false, "", ""}},
        {u"rundll32.exe", {"C:\\Windows\\system32\\rundll32.exe", true, "", ""}},
        {u"rundll32 ,Start", {"C:\\Windows\\system32\\rundll32.exe", true, "", ""}},
        {u"wscript.exe //B /nologo \"C:\\Scripts\\a b.vbs\" arg", {"C:\\Scripts\\a b.vbs", false, "", ""}},
        {u"cscript //nologo", {"cscript", false, "", ""}},
        {u"", {"", false, "", ""}},
        {u"   ", {"", false, "", ""}},
    };
    for (const row &r : rows) EXPECT_EQ(of_command(r.command), r.expected) << std::string(r.command.begin(), r.command.end());
}

// A shortcut's or a task's program comes apart from its arguments, never split.
TEST_F(ItemDetails, ProgramsWithArguments) {
    struct row {
        std::u16string program, arguments;
        made expected;
    } rows[] = {
        {u"\"C:\\Program Files\\Vendor\\app.exe\"", u"", {"C:\\Program Files\\Vendor\\app.exe", true, "Vendor Inc", "App"}},
        {u"C:\\Program Files\\Acme Tool\\tool.exe", u"/x", {"C:\\Program Files\\Acme Tool\\tool.exe", false, "", ""}},
        {u"%ProgramFiles%\\Vendor\\app.exe", u"", {"C:\\Program Files\\Vendor\\app.exe", true, "Vendor Inc", "App"}},
        {u"C:\\Windows\\system32\\rundll32.exe", u"shell32.dll,Control_RunDLL", {"C:\\Windows\\system32\\shell32.dll", true, "", ""}},
        {u"wscript.exe", u"/e:vbs C:\\Scripts\\s.vbs", {"C:\\Scripts\\s.vbs", false, "", ""}},
        {u"notepad", u"", {"C:\\Windows\\notepad.exe", true, "", ""}},
        {u"", u"--x", {"", false, "", ""}},
    };
    for (const row &r : rows) EXPECT_EQ(of_program(r.program, r.arguments), r.expected) << std::string(r.program.begin(), r.program.end());
}

// A file that Windows opens itself is its own image, exactly as named.
TEST_F(ItemDetails, FilesAreTheirOwnImage) {
    struct row {
        std::u16string path;
        made expected;
    } rows[] = {
        {u"C:\\Program Files\\Vendor\\app.exe", {"C:\\Program Files\\Vendor\\app.exe", true, "Vendor Inc", "App"}},
        {u"C:\\Program Files\\Vendor\\app", {"C:\\Program Files\\Vendor\\app", false, "", ""}},  // no ".exe" added
        {u"%ProgramFiles%\\Vendor\\app.exe", {"%ProgramFiles%\\Vendor\\app.exe", false, "", ""}},  // not expanded
        {u"C:\\Start Up\\a b.bat --x", {"C:\\Start Up\\a b.bat --x", false, "", ""}},  // never split
        {u"C:\\Tools\\dir.exe", {"C:\\Tools\\dir.exe", false, "", ""}},  // a folder
    };
    for (const row &r : rows) {
        item_details d;
        describe_file(nullptr, r.path.c_str(), &d);
        EXPECT_EQ(as_made(d), r.expected) << std::string(r.path.begin(), r.path.end());
    }
}

TEST_F(ItemDetails, VersionTexts) {
    struct row {
        const char *what;
        std::vector<uint32_t> translations;
        std::vector<mem_version_string> strings;
        const char *publisher, *description;
    } rows[] = {
        {"first translation before the usual tables", {0x04e40407},
         {{"040904B0", "CompanyName", "English"}, {"040704E4", "CompanyName", "Werkzeug GmbH  "},
          {"040904B0", "FileDescription", "Werkzeug"}},
         "Werkzeug GmbH", "Werkzeug"},
        {"U.S. English Unicode, then 1252", {},
         {{"040904E4", "CompanyName", "Acme"}, {"040904E4", "FileDescription", "Late"},
          {"040904B0", "FileDescription", "Early"}},
         "Acme", "Early"},
        {"listed translation empty, 1252 holds it", {us_unicode}, {{"040904E4", "CompanyName", "Acme"}}, "Acme", ""},
        {"a table nobody asks for", {}, {{"041104B0", "CompanyName", "Nihon"}}, "", ""},
        {"spaces only count as none", {us_unicode},
         {{"040904B0", "CompanyName", "   "}, {"040904E4", "CompanyName", "Real"}}, "Real", ""},
        {"terminator inside", {us_unicode}, {{"040904B0", "CompanyName", std::string("Name\0junk", 9)}}, "Name", ""},
        {"any characters, as UTF-8", {us_unicode},
         {{"040904B0", "CompanyName", "Soci\xc3\xa9t\xc3\xa9 \xe2\x98\x83 \xf0\x9f\x98\x80"}},
         "Soci\xc3\xa9t\xc3\xa9 \xe2\x98\x83 \xf0\x9f\x98\x80", ""},
        {"an empty resource", {}, {}, "", ""},
        {"a length past the block's end is cut to the block", {us_unicode},
         {{"040904B0", "CompanyName", "Acme", 60000}}, "Acme", ""},
    };
    for (const row &r : rows) {
        mem_details_set_version("C:\\Tools\\tool.exe", r.translations, r.strings);
        EXPECT_EQ(of_command(u"C:\\Tools\\tool.exe"), (made{"C:\\Tools\\tool.exe", true, r.publisher, r.description}))
            << r.what;
    }
}

// A 32-bit DLL on 64-bit Windows checks the system folder through
// Sysnative and reports the system32 path.
TEST_F(ItemDetails, Wow64ReachesTheSystemFolderThroughSysnative) {
    mem_details_set_wow64(true);
    mem_files_add_file("C:\\Windows\\Sysnative\\native.exe");
    mem_details_set_version("C:\\Windows\\Sysnative\\native.exe", {us_unicode}, {{"040904B0", "CompanyName", "Native"}});
    EXPECT_EQ(of_command(u"native"), (made{"C:\\Windows\\system32\\native.exe", true, "Native", ""}));
    EXPECT_EQ(of_command(u"C:\\WINDOWS\\System32\\native.exe"), (made{"C:\\WINDOWS\\System32\\native.exe", true, "Native", ""}));
    EXPECT_EQ(of_command(u"ctfmon"), (made{"ctfmon", false, "", ""}));  // only the 32-bit folder holds it
}

TEST_F(ItemDetails, FailuresCostOnlyTheirMembers) {
    const std::u16string app = u"%ProgramFiles%\\Vendor\\app.exe";
    struct row {
        const char *op;
        std::u16string command;
        made expected;
    } rows[] = {
        {"ExpandEnvironmentStringsW", app, {"%ProgramFiles%\\Vendor\\app.exe", false, "", ""}},
        {"GetSystemDirectoryW", u"ctfmon", {"ctfmon", false, "", ""}},
        {"GetEnvironmentVariableW", u"tool", {"tool", false, "", ""}},
        {"GetFileAttributesW", u"C:\\Program Files\\Vendor\\app.exe", {"C:\\Program Files\\Vendor\\app.exe", false, "", ""}},
        {"GetFileVersionInfoSizeW", app, {"C:\\Program Files\\Vendor\\app.exe", true, "", ""}},
        {"GetFileVersionInfoW", app, {"C:\\Program Files\\Vendor\\app.exe", true, "", ""}},
        {"VerQueryValueW", app, {"C:\\Program Files\\Vendor\\app.exe", true, "", ""}},
    };
    for (const row &r : rows) {
        mem_fail_always(r.op, 1117);
        EXPECT_EQ(of_command(r.command), r.expected) << r.op;
        mem_reset();
        SetUp();
    }
}

// One listing reads each image once, whatever the case of its spelling.
TEST_F(ItemDetails, EachImageIsReadOncePerCache) {
    details_cache *cache = details_cache_new();
    ASSERT_NE(cache, nullptr);
    for (const char16_t *command : {u"C:\\Program Files\\Vendor\\app.exe", u"\"c:\\program files\\VENDOR\\APP.EXE\" -x",
                                    u"%ProgramFiles%\\Vendor\\app.exe /y"}) {
        item_details d;
        describe_command(cache, command, &d);
        EXPECT_STREQ(d.publisher, "Vendor Inc");
    }
    EXPECT_EQ(mem_calls("GetFileVersionInfoSizeW"), 1);
    EXPECT_EQ(mem_calls("GetSystemDirectoryW"), 1);
    details_cache_free(cache);
}

// A huge unquoted command (any user may write one) is tried only as far as
// a path can reach, so the listing does not stall on it.
TEST_F(ItemDetails, HugeCommandsCostBoundedLookUps) {
    for (const std::u16string &word : {std::u16string(u"a "), std::u16string(u"C:\\a ")}) {
        std::u16string command;
        while (command.size() < 20000) command += word;
        mem_reset();
        EXPECT_EQ(of_command(command).exists, false);
        // Texts up to a path's length only: far fewer than two per space.
        EXPECT_LT(mem_calls("GetFileAttributesW"), 2 * 2048) << (char)word[0];
    }
}

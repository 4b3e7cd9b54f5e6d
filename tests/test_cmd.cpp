// Tests of the command-line argument parser PGM_COMMON_CMD.
#include "test_support.h"

#include <cstring>

namespace {

typedef std::vector<std::string> WORDS;
typedef std::vector<PGM_COMMON_CMD_ARG_STRUCT> TABLE;
const PGM_COMMON_CMD_ARG_TYPE FLAG = PGM_COMMON_CMD_ARG_FLAG, INTEGER = PGM_COMMON_CMD_ARG_INTEGER,
                              STRING = PGM_COMMON_CMD_ARG_STRING;

const PGM_COMMON_CMD_ERROR ERR_NONE = PGM_COMMON_CMD_ERROR_NONE, ERR_UNSUPPORTED = PGM_COMMON_CMD_ERROR_UNSUPPORTED,
                           ERR_DUPLICATED = PGM_COMMON_CMD_ERROR_DUPLICATED, ERR_FORMAT = PGM_COMMON_CMD_ERROR_FORMAT,
                           ERR_INTERNAL_NAME = PGM_COMMON_CMD_ERROR_INTERNAL_NAME,
                           ERR_INTEGER = PGM_COMMON_CMD_ERROR_INTEGER;

// The program's variables; "spare" and "text" are bound only by tables a test changes.
struct VARS {
    bool verbose = false, quiet = true, secret = false, spare = false;
    int count = 7, level = -3;
    std::string name = "none", mode = "fast", text;
};

// "secret" and "level" are hidden; "mode" is stored in upper case.
TABLE make_table(VARS& vars)
{
    return {
        {"v", FLAG, &vars.verbose, false, false, "Verbose output"},
        {"count", INTEGER, &vars.count, false, false, "Number of runs"},
        {"name", STRING, &vars.name, false, false, "Design name"},
        {"quiet", FLAG, &vars.quiet, false, false, "Quiet mode"},
        {"secret", FLAG, &vars.secret, false, true, "Hidden flag"},
        {"level", INTEGER, &vars.level, false, true, "Hidden level"},
        {"mode", STRING, &vars.mode, true, false, "Mode (upper case)"},
    };
}

typedef void (*TWEAK)(TABLE&, VARS&);

// What fn writes to standard output, followed by "[MODULE: text]" of an internal error it raises.
std::string output_of(const std::function<void()>& fn)
{
    std::string error;
    std::string out = capture_stdout([&] {
        try {
            fn();
        } catch (const PGM_INTERNAL_ERROR& failure) {
            error = "[" + std::string(failure.module()) + ": " + failure.what() + "]";
        } catch (const std::exception& failure) {
            ADD_FAILURE() << "unexpected exception: " << failure.what();
        }
    });
    return out + error;
}

// Sets an entry's type field to a raw value that is no argument type.
void set_raw_type(PGM_COMMON_CMD_ARG_STRUCT& entry, DWORD value)
{
    std::memcpy(&entry.type, &value, sizeof(value));
}

// One parse of words (after argv[0] "prog") against a fresh table, changed by tweak first.
struct RUN {
    VARS vars;
    TABLE table;
    PGM_COMMON_CMD_ERROR error = ERR_NONE;
    std::string out;
    WORDS filepaths, used;

    RUN(const WORDS& words, TWEAK tweak = NULL) : table(make_table(vars))
    {
        if (tweak)
            tweak(table, vars);
        std::vector<const char*> argv = {"prog"};
        for (const std::string& word : words)
            argv.push_back(word.c_str());
        out = output_of([&] {
            error = PGM_COMMON_CMD::parse_argument(int(argv.size()), argv.data(), DWORD(table.size()), table.data(),
                                                   filepaths, &used);
        });
    }
    RUN(const RUN&) = delete;

    // What differs from the start: variables, hidden entries, the test settings and the applied count.
    std::string changes() const
    {
        std::string text;
        auto add = [&text](bool on, const std::string& item) { text += on ? (text.empty() ? "" : " ") + item : ""; };
        add(vars.verbose, "v=1");
        add(!vars.quiet, "quiet=0");
        add(vars.secret, "secret=1");
        add(vars.spare, "spare=1");
        add(vars.count != 7, "count=" + std::to_string(vars.count));
        add(vars.level != -3, "level=" + std::to_string(vars.level));
        add(vars.name != "none", "name=" + vars.name);
        add(vars.mode != "fast", "mode=" + vars.mode);
        add(!vars.text.empty(), "text=" + vars.text);
        std::string hidden;
        for (const PGM_COMMON_CMD_ARG_STRUCT& entry : table)
            hidden += entry.hidden ? entry.name + "," : "";
        add(hidden != "secret,level,", "hidden=" + hidden);
        for (const std::string key : {"PGM_TEST_KEY", "PGM_TEST_OTHER", "A", "B"})
            add(!cfg_get_value(key).empty(), key + "=" + cfg_get_value(key));
        add(cfg_hostexe_ini_applied_count() != 0, "applied=" + std::to_string(cfg_hostexe_ini_applied_count()));
        return text;
    }
};

struct PARSE_CASE {
    WORDS words;
    PGM_COMMON_CMD_ERROR error;
    std::string message = ""; // the one output line, without "Error: "
    std::string changes = "";
    WORDS filepaths = {}, used = {};
    TWEAK tweak = NULL;
};

void check_parses(const std::vector<PARSE_CASE>& cases)
{
    for (const PARSE_CASE& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words));
        cfg_clear();
        RUN run(c.words, c.tweak);
        EXPECT_EQ(c.error, run.error);
        EXPECT_EQ(c.message.empty() ? "" : "Error: " + c.message + "\n", run.out);
        EXPECT_EQ(c.changes, run.changes());
        EXPECT_EQ(c.filepaths, run.filepaths);
        EXPECT_EQ(c.used, run.used);
        cfg_clear();
    }
}

const std::string FLAG_VALUE = "FLAG argument shouldn't have \"=\" sign and any value: ";
const std::string NO_EQUAL = "INT and STR argument expected to have \"=\" between argument and value: ";
const std::string EMPTY_VALUE = "INT and STR argument's value cannot be empty string: ";
const std::string NOT_INTEGER = "Unable to convert the argument's value to integer: count";
const std::string INI_FORMAT = "Internal INI must follow format --ini=<ini string>=<ini value> but found ";

} // namespace

TEST(Cmd, ArgumentWords)
{
    const TWEAK type_max = [](TABLE& t, VARS&) { t[0].type = PGM_COMMON_CMD_ARG_MAX; };
    const TWEAK type_raw = [](TABLE& t, VARS&) { set_raw_type(t[0], 0xFFFFFFFF); };
    // Only the first entry of a name is looked at.
    const TWEAK second_v = [](TABLE& t, VARS& v) {
        t.push_back({"V", FLAG, &v.spare, false, false, ""});
        t[0].type = PGM_COMMON_CMD_ARG_MAX;
    };
    check_parses({
        {{"-v"}, ERR_NONE, "", "v=1", {}, {"v"}},
        {{"--v"}, ERR_NONE, "", "v=1", {}, {"v"}},
        {{"---v"}, ERR_NONE, "", "v=1", {}, {"v"}},
        {{"--V"}, ERR_NONE, "", "v=1", {}, {"V"}},
        {{"-V"}, ERR_NONE, "", "v=1", {}, {"V"}},
        {{"data-file.bin", "", "--v", "plain.txt", "a=b", "x-", "--count=4"}, ERR_NONE, "", "v=1 count=4",
         {"data-file.bin", "", "plain.txt", "a=b", "x-"}, {"v", "count"}},
        {{}, ERR_NONE},
        {{"--x=1"}, ERR_UNSUPPORTED, "Argument: x (x=1) is not supported"},
        {{"--verbose"}, ERR_UNSUPPORTED, "Argument: verbose (verbose) is not supported"},
        {{"--"}, ERR_UNSUPPORTED, "Argument:  () is not supported"},
        {{"--v"}, ERR_UNSUPPORTED, "Argument: v (v) is not supported", "", {}, {}, type_max},
        {{"-V=2"}, ERR_UNSUPPORTED, "Argument: V (V=2) is not supported", "", {}, {}, type_raw},
        {{"--v"}, ERR_UNSUPPORTED, "Argument: v (v) is not supported", "", {}, {}, second_v},
        {{"first", "--v", "--count=3", "--bad", "--name=x", "last"}, ERR_UNSUPPORTED,
         "Argument: bad (bad) is not supported", "v=1 count=3", {"first"}, {"v", "count"}},
    });
}

TEST(Cmd, ArgumentValues)
{
    // A flag inverts its default. An integer's sign or prefix without digits converts to 0, and its
    // error names the table's entry. A string runs to the end of the word.
    check_parses({
        {{"--v", "--quiet"}, ERR_NONE, "", "v=1 quiet=0", {}, {"v", "quiet"}},
        {{"--v", "-V"}, ERR_DUPLICATED, "Duplication FLAG argument: V", "v=1", {}, {"v"}},
        {{"--v=1"}, ERR_FORMAT, FLAG_VALUE + "v (v=1)"},
        {{"--quiet="}, ERR_FORMAT, FLAG_VALUE + "quiet (quiet=)"},
        {{"--count=12"}, ERR_NONE, "", "count=12", {}, {"count"}},
        {{"--COUNT=0x1F"}, ERR_NONE, "", "count=31", {}, {"COUNT"}},
        {{"--count=-5"}, ERR_NONE, "", "count=-5", {}, {"count"}},
        {{"--count=b101"}, ERR_NONE, "", "count=5", {}, {"count"}},
        {{"--count=-"}, ERR_NONE, "", "count=0", {}, {"count"}},
        {{"--count=0x"}, ERR_NONE, "", "count=0", {}, {"count"}},
        {{"--count="}, ERR_FORMAT, EMPTY_VALUE + "count (count=)"},
        {{"--count"}, ERR_FORMAT, NO_EQUAL + "count"},
        {{"--count=abc"}, ERR_INTEGER, NOT_INTEGER},
        {{"--count=12x"}, ERR_INTEGER, NOT_INTEGER},
        {{"--count=1-2"}, ERR_INTEGER, NOT_INTEGER},
        {{"--count=0xZZ"}, ERR_INTEGER, NOT_INTEGER},
        {{"--count=1 << 2"}, ERR_INTEGER, NOT_INTEGER},
        {{"--Count=zz"}, ERR_INTEGER, NOT_INTEGER},
        {{"--count=1", "--count=2"}, ERR_DUPLICATED, "Duplication INTEGER argument: count", "count=1", {}, {"count"}},
        {{"--name=top_level", "--MODE=slow=1"}, ERR_NONE, "", "name=top_level mode=SLOW=1", {}, {"name", "MODE"}},
        {{"--name"}, ERR_FORMAT, NO_EQUAL + "name"},
        {{"--Name="}, ERR_FORMAT, EMPTY_VALUE + "Name (Name=)"},
        {{"--name=a", "--NAME=b"}, ERR_DUPLICATED, "Duplication STRING argument: NAME", "name=a", {}, {"name"}},
    });
}

TEST(Cmd, IniBuiltIn)
{
    // Built-in words are parsed first, wherever they stand, and go to neither list. Only "ini" written
    // so applies a setting and may repeat; an error in them stops before the program's words and the
    // "applied" report.
    check_parses({
        {{"--ini=PGM_TEST_KEY=VALUE", "file", "-ini=PGM_TEST_OTHER=a=b", "--v"}, ERR_NONE, "",
         "v=1 PGM_TEST_KEY=VALUE PGM_TEST_OTHER=a=b applied=1", {"file"}, {"v"}},
        {{"--ini=PGM_TEST_KEY=1", "--ini=PGM_TEST_KEY=2"}, ERR_NONE, "", "PGM_TEST_KEY=2 applied=1"},
        {{"--ini=PGM_TEST_KEY="}, ERR_FORMAT, INI_FORMAT + "\"PGM_TEST_KEY=\""},
        {{"--ini=PGM_TEST_KEY"}, ERR_FORMAT, INI_FORMAT + "\"PGM_TEST_KEY\""},
        {{"--ini"}, ERR_FORMAT, NO_EQUAL + "ini"},
        {{"--ini="}, ERR_FORMAT, EMPTY_VALUE + "ini (ini=)"},
        {{"--v", "--ini=PGM_TEST_KEY=1", "--ini=bad"}, ERR_FORMAT, INI_FORMAT + "\"bad\"", "PGM_TEST_KEY=1"},
        {{"--bad", "--ini=PGM_TEST_KEY=on"}, ERR_UNSUPPORTED, "Argument: bad (bad) is not supported",
         "PGM_TEST_KEY=on applied=1"},
        {{"--INI=PGM_TEST_KEY=VALUE"}, ERR_NONE},
        {{"--Ini=junk"}, ERR_NONE},
        {{"--INI=A=1", "--Ini=B=2"}, ERR_DUPLICATED, "Duplication STRING argument: Ini"},
        {{"--ini=PGM_TEST_KEY=1", "--INI=B=2"}, ERR_DUPLICATED, "Duplication STRING argument: INI", "PGM_TEST_KEY=1"},
        {{"--INI=B=2", "--ini=PGM_TEST_KEY=3"}, ERR_NONE, "", "PGM_TEST_KEY=3 applied=1"},
    });
}

TEST(Cmd, BuiltInNamesAndUnhideAllArg)
{
    // A table using a built-in name fails before any word is read.
    const TWEAK own_unhide = [](TABLE& t, VARS& v) {
        t.push_back({"Unhide_All_Arg", FLAG, &v.spare, false, false, ""});
    };
    const TWEAK own_ini = [](TABLE& t, VARS& v) { t.insert(t.begin(), {"INI", STRING, &v.text, false, false, ""}); };
    const std::string unhide_taken = "\"unhide_all_arg\" has been used for internal FLAG argument";
    check_parses({
        {{}, ERR_INTERNAL_NAME, unhide_taken, "", {}, {}, own_unhide},
        {{"--v", "file"}, ERR_INTERNAL_NAME, unhide_taken, "", {}, {}, own_unhide},
        {{"--bad"}, ERR_INTERNAL_NAME, unhide_taken, "", {}, {}, own_unhide},
        {{"--unhide_all_arg"}, ERR_INTERNAL_NAME, unhide_taken, "", {}, {}, own_unhide},
        {{"--ini=A=B"}, ERR_INTERNAL_NAME, "\"ini\" has been used for internal STRING argument", "", {}, {}, own_ini},
        {{"--secret", "--UNHIDE_ALL_ARG"}, ERR_NONE, "", "secret=1 hidden=", {}, {"secret"}},
        {{"--secret"}, ERR_NONE, "", "secret=1", {}, {"secret"}},
        {{"--unhide_all_arg", "-Unhide_All_Arg"}, ERR_DUPLICATED, "Duplication FLAG argument: Unhide_All_Arg"},
        {{"--unhide_all_arg=1"}, ERR_FORMAT, FLAG_VALUE + "unhide_all_arg (unhide_all_arg=1)"},
    });
}

TEST(Cmd, DirectCalls)
{
    // argc 0 and 1 read nothing, not even argv[0]; the used list may be left out.
    VARS vars;
    TABLE table = make_table(vars);
    WORDS filepaths;
    const char* argv[] = {"--v", "--quiet", "file"};
    for (int argc : {0, 1, 3})
        EXPECT_EQ(ERR_NONE, PGM_COMMON_CMD::parse_argument(argc, argv, DWORD(table.size()), table.data(), filepaths));
    EXPECT_FALSE(vars.verbose);
    EXPECT_FALSE(vars.quiet);
    EXPECT_EQ(WORDS{"file"}, filepaths);

    // The file path list must be empty on entry, and the table must not be.
    try {
        PGM_COMMON_CMD::parse_argument(3, argv, DWORD(table.size()), table.data(), filepaths);
        ADD_FAILURE() << "no internal error";
    } catch (const PGM_INTERNAL_ERROR& error) {
        EXPECT_EQ(std::string("filepaths.size() == 0"), error.what());
        EXPECT_EQ("PGM_COMMON", error.module());
        EXPECT_EQ("pgm/common/pgm_common_cmd.cpp", error.file());
    }
    EXPECT_FALSE(vars.quiet);
    filepaths.clear();
    EXPECT_EQ("[PGM_COMMON: check_list.size() > 0]",
              output_of([&] { PGM_COMMON_CMD::parse_argument(3, argv, 0, NULL, filepaths); }));
}

namespace {

const PGM_COMMON_CMD_HELP_STRUCT USAGE[] = {{0, "prog [options] <file>"}, {1, "--v : verbose"}, {2, "100%% sure"}};
const std::string FORMAT_LINES = "\nFormat:\n\n   1) FLAG: --flag\n   2) INTEGER: --integer=123\n"
                                 "   3) STRING: --string=abc or --string=\"abc\"\n";
const std::string FLAGS = "   1) v (FALSE) : Verbose output\n   2) quiet (TRUE) : Quiet mode\n";
const std::string COUNT = "   1) count (7) : Number of runs\n";
const std::string STRINGS = "   1) name (none) : Design name\n   2) mode (fast) : Mode (upper case)\n";

std::string listing(const std::string& flags, const std::string& integers, const std::string& strings)
{
    return "\n*********** Updated Arguments ***********\n\nList of FLAG arguments:\n\n" + flags +
           "\nList of INTEGER arguments:\n\n" + integers + "\nList of STRING arguments:\n\n" + strings;
}

std::string usage(bool with_lines)
{
    return "\n*********** Usage ***********\n\nUsage:\n\n" +
           std::string(with_lines ? "prog [options] <file>\n   --v : verbose\n      100% sure\n" : "") + "\n\n";
}

} // namespace

TEST(Cmd, PrintHelp)
{
    const TWEAK no_type = [](TABLE& t, VARS&) { t.resize(2); t[0].type = PGM_COMMON_CMD_ARG_MAX; t[0].ptr = NULL; };
    const struct { WORDS words; bool show_filepaths; DWORD help_count; TWEAK tweak; std::string expected; } cases[] = {
        {{"ignored.bin"}, false, 3, NULL, FORMAT_LINES + listing(FLAGS, COUNT, STRINGS) + usage(true)},
        {{"a.bin", "--v", "--count=-12", "--mode=abc", "dir/b.hex", "--name=Top"}, true, 3, NULL,
         listing("   1) v (TRUE) : Verbose output\n   2) quiet (TRUE) : Quiet mode\n",
                 "   1) count (-12) : Number of runs\n",
                 "   1) name (Top) : Design name\n   2) mode (ABC) : Mode (upper case)\n") +
             "\nList of filepaths:\n\n   1) a.bin\n   2) dir/b.hex\n" + usage(true)},
        {{}, true, 0, NULL, listing(FLAGS, COUNT, STRINGS) + usage(false)},
        {{"--unhide_all_arg", "--level=9"}, true, 3, NULL,
         listing(FLAGS + "   3) secret (FALSE) : Hidden flag\n", COUNT + "   2) level (9) : Hidden level\n", STRINGS) +
             usage(true)},
        // Types with no entry and entries of no type; a variable is needed only by a listed entry.
        {{}, true, 3, no_type, listing("", COUNT, "") + usage(true)},
        {{}, true, 3, [](TABLE& t, VARS&) { t[4].ptr = NULL; }, listing(FLAGS, COUNT, STRINGS) + usage(true)},
        {{}, true, 0, [](TABLE& t, VARS&) { t[3].ptr = NULL; },
         "\n*********** Updated Arguments ***********\n\nList of FLAG arguments:\n\n   1) v (FALSE) : Verbose output\n"
         "[PGM_COMMON: arg_list[arg_index].ptr != NULL]"},
    };
    for (const auto& c : cases) {
        RUN run(c.words, c.tweak);
        ASSERT_EQ(ERR_NONE, run.error);
        EXPECT_EQ(c.expected, output_of([&] {
                      PGM_COMMON_CMD::print_help(c.show_filepaths, DWORD(run.table.size()), run.table.data(),
                                                 run.filepaths, c.help_count, USAGE);
                  }));
    }
}

TEST(Cmd, UnitTest)
{
    VARS vars;
    TABLE table = make_table(vars);
    EXPECT_EQ("   Debug: Total of supported argument count: 7\n",
              capture_stdout([&] { PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()); }));
    EXPECT_EQ("   Debug: Total of supported argument count: 0\n",
              capture_stdout([&] { PGM_COMMON_CMD::unit_test(0, NULL); }));

    // Names are compared without regard to case and the earlier one is named; an entry's checks come
    // in the order name, type, variable; hidden entries are checked as well.
    const std::string type_bound = "arg_list[arg_index].type < PGM_COMMON_CMD_ARG_MAX";
    const std::pair<TWEAK, std::string> cases[] = {
        {[](TABLE& t, VARS& v) { t.push_back({"NAME", STRING, &v.name, false, true, ""}); },
         "Found duplicated argument name"},
        {[](TABLE& t, VARS&) { t[2].type = PGM_COMMON_CMD_ARG_MAX; }, type_bound},
        {[](TABLE& t, VARS&) { set_raw_type(t[2], 0x80000000u); }, type_bound},
        {[](TABLE& t, VARS&) { t[5].ptr = NULL; }, "arg_list[arg_index].ptr != NULL"},
        {[](TABLE& t, VARS&) { t[1] = {"V", PGM_COMMON_CMD_ARG_MAX, NULL, false, false, ""}; },
         "Found duplicated argument v"},
        {[](TABLE& t, VARS&) { t[1] = {"beta", PGM_COMMON_CMD_ARG_MAX, NULL, false, false, ""}; }, type_bound},
    };
    for (const auto& c : cases) {
        table = make_table(vars);
        c.first(table, vars);
        EXPECT_EQ("[PGM_COMMON: " + c.second + "]",
                  output_of([&] { PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()); }));
    }
}

// Tests of the command-line argument parser PGM_COMMON_CMD.
#include "test_support.h"

#include <cstring>

namespace {

// The program's variables bound to the test table.
struct VARS {
    bool verbose = false; // FLAG "v"
    bool quiet = true;    // FLAG "quiet", true by default
    bool secret = false;  // FLAG "secret", hidden
    int count = 7;        // INTEGER "count"
    int level = -3;       // INTEGER "level", hidden
    std::string name = "none";  // STRING "name"
    std::string mode = "fast";  // STRING "mode", stored in upper case
};

// A fresh table for each test: parse_argument clears its hidden flags in place.
std::vector<PGM_COMMON_CMD_ARG_STRUCT> make_table(VARS& vars)
{
    return {
        {"v", PGM_COMMON_CMD_ARG_FLAG, &vars.verbose, false, false, "Verbose output"},
        {"count", PGM_COMMON_CMD_ARG_INTEGER, &vars.count, false, false, "Number of runs"},
        {"name", PGM_COMMON_CMD_ARG_STRING, &vars.name, false, false, "Design name"},
        {"quiet", PGM_COMMON_CMD_ARG_FLAG, &vars.quiet, false, false, "Quiet mode"},
        {"secret", PGM_COMMON_CMD_ARG_FLAG, &vars.secret, false, true, "Hidden flag"},
        {"level", PGM_COMMON_CMD_ARG_INTEGER, &vars.level, false, true, "Hidden level"},
        {"mode", PGM_COMMON_CMD_ARG_STRING, &vars.mode, true, false, "Mode (upper case)"},
    };
}

// Result of one parse: the code, what went to standard output, the file
// paths and the used names.
struct PARSE {
    PGM_COMMON_CMD_ERROR error = PGM_COMMON_CMD_ERROR_NONE;
    std::string out;
    std::vector<std::string> filepaths;
    std::vector<std::string> used;
};

// Parses words (argv[0] "prog" is added) against table.
PARSE parse(std::vector<PGM_COMMON_CMD_ARG_STRUCT>& table, const std::vector<std::string>& words)
{
    std::vector<const char*> argv;
    argv.push_back("prog");
    for (const std::string& word : words)
        argv.push_back(word.c_str());
    PARSE result;
    result.out = capture_stdout([&] {
        // An exception must not leave the capture open.
        try {
            result.error = PGM_COMMON_CMD::parse_argument(int(argv.size()), argv.data(), DWORD(table.size()),
                                                          table.data(), result.filepaths, &result.used);
        } catch (const std::exception& error) {
            ADD_FAILURE() << "unexpected exception: " << error.what();
        }
    });
    return result;
}

typedef std::vector<std::string> WORDS;

// Sets an entry's type field to a raw value that is no argument type.
void set_raw_type(PGM_COMMON_CMD_ARG_STRUCT& entry, DWORD value)
{
    std::memcpy(&entry.type, &value, sizeof(value));
}

} // namespace

// ---- Argument words ----

TEST(Cmd, ArgumentWords)
{
    // -v, --v, ---v, --V and -V all name the entry "v".
    {
        for (const char* word : {"-v", "--v", "---v", "--V", "-V"}) {
            VARS vars;
            auto table = make_table(vars);
            PARSE result = parse(table, {word});
            EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error) << word;
            EXPECT_EQ("", result.out) << word;
            EXPECT_TRUE(vars.verbose) << word;
            EXPECT_TRUE(result.filepaths.empty()) << word;
            // The name as written, without dashes.
            ASSERT_EQ(1u, result.used.size()) << word;
            EXPECT_EQ(std::string(word).substr(std::string(word).find_first_not_of('-')), result.used[0]);
        }
    }
    // Words not starting with "-", and the empty word, are file paths.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"data-file.bin", "", "--v", "plain.txt", "a=b", "x-", "--count=4"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        EXPECT_EQ((WORDS{"data-file.bin", "", "plain.txt", "a=b", "x-"}), result.filepaths);
        EXPECT_EQ((WORDS{"v", "count"}), result.used);
        EXPECT_TRUE(vars.verbose);
        EXPECT_EQ(4, vars.count);
    }
    // No words: nothing changes.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        EXPECT_TRUE(result.filepaths.empty());
        EXPECT_TRUE(result.used.empty());
        EXPECT_FALSE(vars.verbose);
        EXPECT_EQ(7, vars.count);

        // argc 0 and 1 read nothing, not even argv[0].
        std::vector<std::string> filepaths;
        const char* argv[] = {"--v"};
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE,
                  PGM_COMMON_CMD::parse_argument(1, argv, DWORD(table.size()), table.data(), filepaths));
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE,
                  PGM_COMMON_CMD::parse_argument(0, argv, DWORD(table.size()), table.data(), filepaths));
        EXPECT_FALSE(vars.verbose);
        EXPECT_TRUE(filepaths.empty());
    }
    // The used list may be left out.
    {
        VARS vars;
        auto table = make_table(vars);
        std::vector<std::string> filepaths;
        const char* argv[] = {"prog", "--v", "file"};
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE,
                  PGM_COMMON_CMD::parse_argument(3, argv, DWORD(table.size()), table.data(), filepaths));
        EXPECT_TRUE(vars.verbose);
        EXPECT_EQ((WORDS{"file"}), filepaths);
    }
    // Unknown names.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--x=1"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_UNSUPPORTED, result.error);
        EXPECT_EQ("Error: Argument: x (x=1) is not supported\n", result.out);

        result = parse(table, {"--verbose"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_UNSUPPORTED, result.error);
        EXPECT_EQ("Error: Argument: verbose (verbose) is not supported\n", result.out);

        // A word of dashes only names the empty argument.
        result = parse(table, {"--"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_UNSUPPORTED, result.error);
        EXPECT_EQ("Error: Argument:  () is not supported\n", result.out);
    }
    // An entry whose type is no argument type is not supported.
    {
        VARS vars;
        auto table = make_table(vars);
        table[0].type = PGM_COMMON_CMD_ARG_MAX;
        PARSE result = parse(table, {"--v"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_UNSUPPORTED, result.error);
        EXPECT_EQ("Error: Argument: v (v) is not supported\n", result.out);
        EXPECT_FALSE(vars.verbose);

        set_raw_type(table[0], 0xFFFFFFFF);
        result = parse(table, {"-V=2"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_UNSUPPORTED, result.error);
        EXPECT_EQ("Error: Argument: V (V=2) is not supported\n", result.out);

        // Only the first entry of a name is looked at.
        auto second = make_table(vars);
        second.push_back({"V", PGM_COMMON_CMD_ARG_FLAG, &vars.secret, false, false, ""});
        second[0].type = PGM_COMMON_CMD_ARG_MAX;
        result = parse(second, {"--v"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_UNSUPPORTED, result.error);
        EXPECT_FALSE(vars.secret);
    }
    // Parsing stops at the first error; earlier words stay applied.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"first", "--v", "--count=3", "--bad", "--name=x", "last"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_UNSUPPORTED, result.error);
        EXPECT_EQ("Error: Argument: bad (bad) is not supported\n", result.out);
        EXPECT_TRUE(vars.verbose);
        EXPECT_EQ(3, vars.count);
        EXPECT_EQ("none", vars.name);
        EXPECT_EQ((WORDS{"first"}), result.filepaths);
        EXPECT_EQ((WORDS{"v", "count"}), result.used);
    }
}

// ---- FLAG ----

TEST(Cmd, FlagArguments)
{
    // Given once, a flag inverts its default.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--v", "--quiet"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        EXPECT_TRUE(vars.verbose);
        EXPECT_FALSE(vars.quiet);
    }
    // Given twice, a flag is a duplicate.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--v", "-V"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_DUPLICATED, result.error);
        EXPECT_EQ("Error: Duplication FLAG argument: V\n", result.out);
        // The first one was applied before the error.
        EXPECT_TRUE(vars.verbose);
        EXPECT_EQ((WORDS{"v"}), result.used);
    }
    // A flag takes no value.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--v=1"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: FLAG argument shouldn't have \"=\" sign and any value: v (v=1)\n", result.out);
        EXPECT_FALSE(vars.verbose);

        result = parse(table, {"--quiet="});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: FLAG argument shouldn't have \"=\" sign and any value: quiet (quiet=)\n", result.out);
        EXPECT_TRUE(vars.quiet);
    }
}

// ---- INTEGER ----

TEST(Cmd, IntegerArguments)
{
    // Values in the number syntax of the conversions.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--count=12"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ(12, vars.count);

        table = make_table(vars);
        result = parse(table, {"--COUNT=0x1F"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ(31, vars.count);
        EXPECT_EQ((WORDS{"COUNT"}), result.used);

        table = make_table(vars);
        result = parse(table, {"--count=-5"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ(-5, vars.count);

        table = make_table(vars);
        result = parse(table, {"--count=b101"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ(5, vars.count);
        EXPECT_EQ("", result.out);

        // A sign or prefix without digits converts to 0.
        for (const char* word : {"--count=-", "--count=0x"}) {
            table = make_table(vars);
            result = parse(table, {word});
            EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error) << word;
            EXPECT_EQ(0, vars.count) << word;
        }
    }
    // "--count=": empty value.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--count="});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: INT and STR argument's value cannot be empty string: count (count=)\n", result.out);
        EXPECT_EQ(7, vars.count);
    }
    // "--count": no "=".
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--count"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: INT and STR argument expected to have \"=\" between argument and value: count\n", result.out);
        EXPECT_EQ(7, vars.count);
    }
    // Values that do not convert.
    {
        for (const char* word : {"--count=abc", "--count=12x", "--count=1-2", "--count=0xZZ", "--count=1 << 2"}) {
            VARS vars;
            auto table = make_table(vars);
            PARSE result = parse(table, {word});
            EXPECT_EQ(PGM_COMMON_CMD_ERROR_INTEGER, result.error) << word;
            EXPECT_EQ("Error: Unable to convert the argument's value to integer: count\n", result.out) << word;
            EXPECT_EQ(7, vars.count) << word;
        }
        // The message names the table's entry, not the name as written.
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--Count=zz"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_INTEGER, result.error);
        EXPECT_EQ("Error: Unable to convert the argument's value to integer: count\n", result.out);
        EXPECT_TRUE(result.used.empty());
    }
    // Given twice.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--count=1", "--count=2"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_DUPLICATED, result.error);
        EXPECT_EQ("Error: Duplication INTEGER argument: count\n", result.out);
        EXPECT_EQ(1, vars.count);
    }
}

// ---- STRING ----

TEST(Cmd, StringArguments)
{
    // Values, plain and upper-cased.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--name=top_level", "--MODE=slow=1"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        EXPECT_EQ("top_level", vars.name);
        // upper_case converts the stored value; the value runs to the end of the word.
        EXPECT_EQ("SLOW=1", vars.mode);
        EXPECT_EQ((WORDS{"name", "MODE"}), result.used);
    }
    // Missing "=", empty value, duplicate.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--name"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: INT and STR argument expected to have \"=\" between argument and value: name\n", result.out);

        result = parse(table, {"--Name="});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: INT and STR argument's value cannot be empty string: Name (Name=)\n", result.out);
        EXPECT_EQ("none", vars.name);

        result = parse(table, {"--name=a", "--NAME=b"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_DUPLICATED, result.error);
        EXPECT_EQ("Error: Duplication STRING argument: NAME\n", result.out);
        EXPECT_EQ("a", vars.name);
    }
}

// ---- The built-in "ini" ----

TEST(Cmd, IniBuiltIn)
{
    // "--ini=KEY=VALUE" sets a configuration value.
    {
        cfg_clear();
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--ini=PGM_TEST_KEY=VALUE", "file", "-ini=PGM_TEST_OTHER=a=b", "--v"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        EXPECT_EQ("VALUE", cfg_get_value("PGM_TEST_KEY"));
        // Cut at the first "=" of the value.
        EXPECT_EQ("a=b", cfg_get_value("PGM_TEST_OTHER"));
        // Told once, however many were given.
        EXPECT_EQ(1, cfg_hostexe_ini_applied_count());
        // Built-in words go neither to the file paths nor to the used list.
        EXPECT_EQ((WORDS{"file"}), result.filepaths);
        EXPECT_EQ((WORDS{"v"}), result.used);
        EXPECT_TRUE(vars.verbose);
        cfg_clear();
    }
    // "ini" may be given again; each is applied in turn.
    {
        cfg_clear();
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--ini=PGM_TEST_KEY=1", "--ini=PGM_TEST_KEY=2"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        EXPECT_EQ("2", cfg_get_value("PGM_TEST_KEY"));
        EXPECT_EQ(1, cfg_hostexe_ini_applied_count());
        cfg_clear();
    }
    // Malformed "ini" values.
    {
        cfg_clear();
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--ini=PGM_TEST_KEY="});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: Internal INI must follow format --ini=<ini string>=<ini value> but found \"PGM_TEST_KEY=\"\n",
                  result.out);

        result = parse(table, {"--ini=PGM_TEST_KEY"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: Internal INI must follow format --ini=<ini string>=<ini value> but found \"PGM_TEST_KEY\"\n",
                  result.out);

        result = parse(table, {"--ini"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: INT and STR argument expected to have \"=\" between argument and value: ini\n", result.out);

        result = parse(table, {"--ini="});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: INT and STR argument's value cannot be empty string: ini (ini=)\n", result.out);

        // An error stops the built-in parse: an earlier "ini" is applied but not
        // reported as applied, and the program's words are not read.
        result = parse(table, {"--v", "--ini=PGM_TEST_KEY=1", "--ini=bad"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: Internal INI must follow format --ini=<ini string>=<ini value> but found \"bad\"\n",
                  result.out);
        EXPECT_EQ("1", cfg_get_value("PGM_TEST_KEY"));
        EXPECT_EQ(0, cfg_hostexe_ini_applied_count());
        EXPECT_FALSE(vars.verbose);
        cfg_clear();
    }
    // The built-in words are parsed first and applied even when a program word fails.
    {
        cfg_clear();
        VARS vars;
        auto table = make_table(vars);
        // The built-in words are parsed first, wherever they stand.
        PARSE result = parse(table, {"--bad", "--ini=PGM_TEST_KEY=on"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_UNSUPPORTED, result.error);
        EXPECT_EQ("Error: Argument: bad (bad) is not supported\n", result.out);
        EXPECT_EQ("on", cfg_get_value("PGM_TEST_KEY"));
        EXPECT_EQ(1, cfg_hostexe_ini_applied_count());
        cfg_clear();
    }
    // "--INI=KEY=VALUE" is the built-in but applies nothing.
    {
        cfg_clear();
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--INI=PGM_TEST_KEY=VALUE"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        EXPECT_EQ("", cfg_get_value("PGM_TEST_KEY"));
        EXPECT_EQ(0, cfg_hostexe_ini_applied_count());
        EXPECT_TRUE(result.used.empty());
        EXPECT_TRUE(result.filepaths.empty());

        // Not in the INI format, yet no INI error.
        result = parse(table, {"--Ini=junk"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);

        // Checked for duplicates, unlike "ini".
        result = parse(table, {"--INI=A=1", "--Ini=B=2"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_DUPLICATED, result.error);
        EXPECT_EQ("Error: Duplication STRING argument: Ini\n", result.out);

        result = parse(table, {"--ini=PGM_TEST_KEY=1", "--INI=B=2"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_DUPLICATED, result.error);
        EXPECT_EQ("Error: Duplication STRING argument: INI\n", result.out);
        EXPECT_EQ(0, cfg_hostexe_ini_applied_count());

        result = parse(table, {"--INI=B=2", "--ini=PGM_TEST_KEY=3"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        EXPECT_EQ("3", cfg_get_value("PGM_TEST_KEY"));
        EXPECT_EQ("", cfg_get_value("B"));
        EXPECT_EQ(1, cfg_hostexe_ini_applied_count());
        cfg_clear();
    }
}

// ---- Built-in names in the program's table ----

TEST(Cmd, BuiltInNamesAndUnhideAllArg)
{
    // A table using a built-in name fails before any word is read.
    {
        VARS vars;
        auto table = make_table(vars);
        bool unhide = false;
        table.push_back({"Unhide_All_Arg", PGM_COMMON_CMD_ARG_FLAG, &unhide, false, false, ""});
        for (const WORDS& words : {WORDS{}, WORDS{"--v", "file"}, WORDS{"--bad"}, WORDS{"--unhide_all_arg"}}) {
            PARSE result = parse(table, words);
            EXPECT_EQ(PGM_COMMON_CMD_ERROR_INTERNAL_NAME, result.error);
            EXPECT_EQ("Error: \"unhide_all_arg\" has been used for internal FLAG argument\n", result.out);
            EXPECT_TRUE(result.filepaths.empty());
            EXPECT_TRUE(result.used.empty());
        }
        EXPECT_FALSE(vars.verbose);
        EXPECT_FALSE(unhide);
        EXPECT_TRUE(table[4].hidden);

        auto ini_table = make_table(vars);
        std::string ini;
        ini_table.insert(ini_table.begin(), {"INI", PGM_COMMON_CMD_ARG_STRING, &ini, false, false, ""});
        PARSE result = parse(ini_table, {"--ini=A=B"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_INTERNAL_NAME, result.error);
        EXPECT_EQ("Error: \"ini\" has been used for internal STRING argument\n", result.out);
        EXPECT_EQ("", ini);
    }
    // "--unhide_all_arg" clears every hidden flag of the table.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--secret", "--UNHIDE_ALL_ARG"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_EQ("", result.out);
        for (const PGM_COMMON_CMD_ARG_STRUCT& entry : table)
            EXPECT_FALSE(entry.hidden) << entry.name;
        // Hidden entries are parsed like any other; the built-in is not "used".
        EXPECT_TRUE(vars.secret);
        EXPECT_EQ((WORDS{"secret"}), result.used);

        // Without it the flags stay.
        auto other = make_table(vars);
        result = parse(other, {"--secret"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        EXPECT_TRUE(other[4].hidden);
        EXPECT_TRUE(other[5].hidden);
    }
    // "unhide_all_arg" given twice, or with a value.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--unhide_all_arg", "-Unhide_All_Arg"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_DUPLICATED, result.error);
        EXPECT_EQ("Error: Duplication FLAG argument: Unhide_All_Arg\n", result.out);
        EXPECT_TRUE(table[4].hidden);

        result = parse(table, {"--unhide_all_arg=1"});
        EXPECT_EQ(PGM_COMMON_CMD_ERROR_FORMAT, result.error);
        EXPECT_EQ("Error: FLAG argument shouldn't have \"=\" sign and any value: unhide_all_arg (unhide_all_arg=1)\n",
                  result.out);
        EXPECT_TRUE(table[4].hidden);
    }
}

// ---- Internal errors of parse_argument ----

TEST(Cmd, ParseInternalErrors)
{
    // The file path list must be empty on entry.
    {
        VARS vars;
        auto table = make_table(vars);
        std::vector<std::string> filepaths = {"old"};
        const char* argv[] = {"prog", "--v"};
        try {
            PGM_COMMON_CMD::parse_argument(2, argv, DWORD(table.size()), table.data(), filepaths);
            ADD_FAILURE() << "no internal error";
        } catch (const PGM_INTERNAL_ERROR& error) {
            EXPECT_EQ(std::string("filepaths.size() == 0"), error.what());
            EXPECT_EQ("PGM_COMMON", error.module());
            EXPECT_EQ("pgm/common/pgm_common_cmd.cpp", error.file());
        }
        EXPECT_FALSE(vars.verbose);
    }
    // An empty table.
    {
        std::vector<std::string> filepaths;
        const char* argv[] = {"prog", "file"};
        EXPECT_INTERNAL_ERROR(PGM_COMMON_CMD::parse_argument(2, argv, 0, NULL, filepaths), "check_list.size() > 0");
    }
}

// ---- print_help ----

namespace {

const PGM_COMMON_CMD_HELP_STRUCT USAGE[] = {
    {0, "prog [options] <file>"},
    {1, "--v : verbose"},
    {2, "100%% sure"},
};

const char* const FORMAT_LINES = "\nFormat:\n\n"
                                 "   1) FLAG: --flag\n"
                                 "   2) INTEGER: --integer=123\n"
                                 "   3) STRING: --string=abc or --string=\"abc\"\n";

const char* const USAGE_LINES = "\n*********** Usage ***********\n\n"
                                "Usage:\n\n"
                                "prog [options] <file>\n"
                                "   --v : verbose\n"
                                "      100% sure\n"
                                "\n\n";

std::string help_output(bool show_filepaths, std::vector<PGM_COMMON_CMD_ARG_STRUCT>& table,
                        std::vector<std::string>& filepaths, DWORD help_count = 3)
{
    return capture_stdout([&] {
        try {
            PGM_COMMON_CMD::print_help(show_filepaths, DWORD(table.size()), table.data(), filepaths, help_count,
                                       USAGE);
        } catch (const std::exception& error) {
            ADD_FAILURE() << "unexpected exception: " << error.what();
        }
    });
}

} // namespace

TEST(Cmd, PrintHelp)
{
    // Without file paths: the format lines come first.
    {
        VARS vars;
        auto table = make_table(vars);
        std::vector<std::string> filepaths = {"ignored.bin"};
        std::string expected = std::string(FORMAT_LINES) +
                               "\n*********** Updated Arguments ***********\n"
                               "\nList of FLAG arguments:\n\n"
                               "   1) v (FALSE) : Verbose output\n"
                               "   2) quiet (TRUE) : Quiet mode\n"
                               "\nList of INTEGER arguments:\n\n"
                               "   1) count (7) : Number of runs\n"
                               "\nList of STRING arguments:\n\n"
                               "   1) name (none) : Design name\n"
                               "   2) mode (fast) : Mode (upper case)\n" +
                               USAGE_LINES;
        EXPECT_EQ(expected, help_output(false, table, filepaths));
    }
    // With file paths, after a parse.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"a.bin", "--v", "--count=-12", "--mode=abc", "dir/b.hex", "--name=Top"});
        ASSERT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        std::string expected = "\n*********** Updated Arguments ***********\n"
                               "\nList of FLAG arguments:\n\n"
                               "   1) v (TRUE) : Verbose output\n"
                               "   2) quiet (TRUE) : Quiet mode\n"
                               "\nList of INTEGER arguments:\n\n"
                               "   1) count (-12) : Number of runs\n"
                               "\nList of STRING arguments:\n\n"
                               "   1) name (Top) : Design name\n"
                               "   2) mode (ABC) : Mode (upper case)\n"
                               "\nList of filepaths:\n\n"
                               "   1) a.bin\n"
                               "   2) dir/b.hex\n" +
                               std::string(USAGE_LINES);
        EXPECT_EQ(expected, help_output(true, table, result.filepaths));
    }
    // With file paths but none given, and no usage lines.
    {
        VARS vars;
        auto table = make_table(vars);
        std::vector<std::string> filepaths;
        std::string expected = "\n*********** Updated Arguments ***********\n"
                               "\nList of FLAG arguments:\n\n"
                               "   1) v (FALSE) : Verbose output\n"
                               "   2) quiet (TRUE) : Quiet mode\n"
                               "\nList of INTEGER arguments:\n\n"
                               "   1) count (7) : Number of runs\n"
                               "\nList of STRING arguments:\n\n"
                               "   1) name (none) : Design name\n"
                               "   2) mode (fast) : Mode (upper case)\n"
                               "\n*********** Usage ***********\n\n"
                               "Usage:\n\n"
                               "\n\n";
        EXPECT_EQ(expected, help_output(true, table, filepaths, 0));
    }
    // After "--unhide_all_arg" the hidden entries are listed.
    {
        VARS vars;
        auto table = make_table(vars);
        PARSE result = parse(table, {"--unhide_all_arg", "--level=9"});
        ASSERT_EQ(PGM_COMMON_CMD_ERROR_NONE, result.error);
        std::string expected = "\n*********** Updated Arguments ***********\n"
                               "\nList of FLAG arguments:\n\n"
                               "   1) v (FALSE) : Verbose output\n"
                               "   2) quiet (TRUE) : Quiet mode\n"
                               "   3) secret (FALSE) : Hidden flag\n"
                               "\nList of INTEGER arguments:\n\n"
                               "   1) count (7) : Number of runs\n"
                               "   2) level (9) : Hidden level\n"
                               "\nList of STRING arguments:\n\n"
                               "   1) name (none) : Design name\n"
                               "   2) mode (fast) : Mode (upper case)\n" +
                               std::string(USAGE_LINES);
        EXPECT_EQ(expected, help_output(true, table, result.filepaths));
    }
    // Types with no entry and entries of no type.
    {
        VARS vars;
        std::vector<PGM_COMMON_CMD_ARG_STRUCT> table = {
            {"odd", PGM_COMMON_CMD_ARG_MAX, NULL, false, false, "never listed"},
            {"n", PGM_COMMON_CMD_ARG_INTEGER, &vars.count, false, false, ""},
        };
        std::vector<std::string> filepaths;
        std::string expected = "\n*********** Updated Arguments ***********\n"
                               "\nList of FLAG arguments:\n\n"
                               "\nList of INTEGER arguments:\n\n"
                               "   1) n (7) : \n"
                               "\nList of STRING arguments:\n\n" +
                               std::string(USAGE_LINES);
        EXPECT_EQ(expected, help_output(true, table, filepaths));
    }
    // An entry without a variable.
    {
        VARS vars;
        auto table = make_table(vars);
        table[3].ptr = NULL;
        std::vector<std::string> filepaths;
        capture_stdout([&] {
            EXPECT_INTERNAL_ERROR(PGM_COMMON_CMD::print_help(true, DWORD(table.size()), table.data(), filepaths, 0, NULL),
                                  "arg_list[arg_index].ptr != NULL");
        });
        // A hidden entry is not formatted at all.
        table = make_table(vars);
        table[4].ptr = NULL;
        std::string out = help_output(true, table, filepaths);
        EXPECT_NE(std::string::npos, out.find("2) quiet (TRUE) : Quiet mode"));
    }
}

// ---- unit_test ----

TEST(Cmd, UnitTest)
{
    // A good table.
    {
        VARS vars;
        auto table = make_table(vars);
        std::string out = capture_stdout([&] { PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()); });
        EXPECT_EQ("   Debug: Total of supported argument count: 7\n", out);

        out = capture_stdout([&] { PGM_COMMON_CMD::unit_test(0, NULL); });
        EXPECT_EQ("   Debug: Total of supported argument count: 0\n", out);
    }
    // Names compared without regard to case; the earlier one is named.
    {
        VARS vars;
        auto table = make_table(vars);
        table.push_back({"NAME", PGM_COMMON_CMD_ARG_STRING, &vars.name, false, true, ""});
        std::string out;
        out = capture_stdout([&] {
            EXPECT_INTERNAL_ERROR(PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()),
                                  "Found duplicated argument name");
        });
        EXPECT_EQ("", out);
    }
    // Types not below the bound.
    {
        VARS vars;
        auto table = make_table(vars);
        table[2].type = PGM_COMMON_CMD_ARG_MAX;
        capture_stdout([&] {
            EXPECT_INTERNAL_ERROR(PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()),
                                  "arg_list[arg_index].type < PGM_COMMON_CMD_ARG_MAX");
        });
        set_raw_type(table[2], 0x80000000u);
        capture_stdout([&] {
            EXPECT_INTERNAL_ERROR(PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()),
                                  "arg_list[arg_index].type < PGM_COMMON_CMD_ARG_MAX");
        });
    }
    // No variable.
    {
        VARS vars;
        auto table = make_table(vars);
        table[5].ptr = NULL; // hidden entries are checked as well
        capture_stdout([&] {
            EXPECT_INTERNAL_ERROR(PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()),
                                  "arg_list[arg_index].ptr != NULL");
        });
    }
    // The checks of an entry come in order: name, type, variable.
    {
        VARS vars;
        // The name check of an entry comes before its type and variable checks.
        std::vector<PGM_COMMON_CMD_ARG_STRUCT> table = {
            {"Alpha", PGM_COMMON_CMD_ARG_FLAG, &vars.verbose, false, false, ""},
            {"alpha", PGM_COMMON_CMD_ARG_MAX, NULL, false, false, ""},
        };
        capture_stdout([&] {
            EXPECT_INTERNAL_ERROR(PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()),
                                  "Found duplicated argument Alpha");
        });
        // The type check comes before the variable check.
        table[1].name = "beta";
        capture_stdout([&] {
            EXPECT_INTERNAL_ERROR(PGM_COMMON_CMD::unit_test(DWORD(table.size()), table.data()),
                                  "arg_list[arg_index].type < PGM_COMMON_CMD_ARG_MAX");
        });
    }
}

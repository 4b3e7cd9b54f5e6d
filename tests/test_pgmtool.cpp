// pgmtool as a user runs it: the command line in the forms people type,
// help at every level, results on standard output and every message on
// standard error, exit code 1 for a wrong command line and 2 for failed work.
#include "test_support.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace {

std::string try_help(const std::string& command)
{
    return "Try \"pgmtool " + command + (command.empty() ? "" : " ") + "--help\" for more information.\n";
}

// The names of the commands, as the top-level help lists them.
std::vector<std::string> command_names()
{
    std::istringstream help(run_pgmtool("--help").output);
    std::vector<std::string> names;
    bool listing = false;
    for (std::string line; std::getline(help, line);) {
        if (listing && line.empty())
            break;
        if (listing)
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        listing |= line == "Commands:";
    }
    return names;
}

} // namespace

TEST(Pgmtool, CrcKindsInEveryOptionForm)
{
    TEMP_DIR dir;
    write_file(dir.file("digits"), "123456789");
    write_file(dir.file("-x"), "123456789");
    write_file(dir.file("empty"), "");
    expect_pgmtool({{"crc digits --kind=crc16", 0, "0x4B37\n", ""},
                    {"crc digits --kind x25", 0, "0x906E\n", ""},
                    {"crc --KIND=kermit digits", 0, "0x2189\n", ""},
                    {"crc digits ---kind CRC32", 0, "0xCBF43926\n", ""},
                    {"crc --kind=crc32 -- -x", 0, "0xCBF43926\n", ""},
                    {"crc - --kind=crc32 < digits", 0, "0xCBF43926\n", ""},
                    {"crc empty --kind=x25", 0, "0x0000\n", ""},
                    {"crc empty --kind=crc32", 0, "0x00000000\n", ""},
                    {"crc empty --kind=crc16", 0, "0xFFFF\n", ""},
                    {"rbf2dat digits - --bytes-per-line 4", 0, "34333231\n38373635\n39\n", "9 bytes, 3 lines\n"},
                    {"rbf2dat digits - --Bytes_Per-Line=8", 0, "3837363534333231\n39\n", "9 bytes, 2 lines\n"}},
                   dir.path());

    std::string content;
    for (int i = 0; i < (3 << 20) + 7; ++i)
        content += char(BYTE((unsigned(i) * 7919u) >> 3));
    write_file(dir.file("big"), content);
    DWORD crc = ~PGM_COMMON::lsb_calculate_crc32(reinterpret_cast<const BYTE*>(content.data()), 0,
                                                 DWORD(content.size() * 8), 0xFFFFFFFF, 0xEDB88320, false, true);
    char expected[16];
    std::snprintf(expected, sizeof(expected), "0x%08X\n", unsigned(crc));
    EXPECT_EQ(expected, run_pgmtool("crc big --kind=crc32", dir.path()).output);
}

TEST(Pgmtool, CommandLineMistakesExitWithOne)
{
    TEMP_DIR dir;
    write_file(dir.file("f"), "data");
    const std::pair<std::string, std::string> mistakes[] = {
        {"frobnicate", "unknown command \"frobnicate\""},
        {"--bogus", "Argument: bogus (bogus) is not supported"},
        {"crc f --bogus", "Argument: bogus (bogus) is not supported"},
        {"crc f --kind=crc64", "unknown CRC kind \"crc64\" (crc16, x25, kermit or crc32)"},
        {"crc f", "crc needs --kind=crc16, x25, kermit or crc32"},
        {"crc --kind=crc32", "crc takes 1 file argument, not 0"},
        {"crc f --kind", "--kind needs a value (--kind=K)"},
        {"crc f --kind=", "INT and STR argument's value cannot be empty string: kind (kind=)"},
        {"crc f --kind=x25 --kind=crc32", "Duplication STRING argument: kind"},
        {"crc f --kind=x25 --ini=KEY",
         "Internal INI must follow format --ini=<ini string>=<ini value> but found \"KEY\""},
        {"crc f --help=more", "--help takes no value, or \"=all\": --help=more"},
        {"hex2bin f", "hex2bin takes 2 file arguments, not 1"},
        {"version f", "version takes no file arguments, not 1"},
        {"rbf2dat f g --bytes-per-line=0", "--bytes-per-line must be at least 1, not 0"},
        {"mem2bin f g --width=-8", "--width must be at least 0, not -8"},
        {"hex2bin f g --max-size=2T",
         "--max-size must be a number of bytes above 0, optionally with K, M or G, not \"2T\""},
        {"random --count=4294967297", "--count=4294967297 is out of range (-2147483648 to 2147483647)"},
        {"random --count -2147483649", "--count=-2147483649 is out of range (-2147483648 to 2147483647)"},
        {"random --count=0x100000000", "--count=0x100000000 is out of range (-2147483648 to 2147483647)"},
        {"random --count=-2147483648", "--count must be at least 1, not -2147483648"},
        {"random --count=many", "Unable to convert the argument's value to integer: count"},
        {"sha f --bits=224", "--bits must be 256, 384 or 512, not 224"},
        {"trace --add=x --level=101", "--level must lie between 0 and 100, not 101"},
        {"zip --create a.jar f", "the archive name a.jar must end in \".zip\""},
        {"zip f", "zip needs one of --create, --list, --test and --extract"},
        {"zip --test f g", "zip --list, --test and --extract take one archive, not 2"},
        {"zip --create - f --append", "--append needs an archive file, not standard output"},
        {"xml f", "xml needs one of --kind, --check-xsd and --encode"},
        {"xml - --kind=pfg --xsd=- < f", "standard input (\"-\") can be read only once"},
        {"xml --kind=pfg", "xml takes 1 file argument, not 0"},
        {"xml --print-xsd", "xml needs one of --kind, --check-xsd and --encode"},
        {"xml --print-xsd --check-xsd=s.xsd",
         "--xsd, --continue, --skip, --replace, --out, --encoded and --print-xsd go with --kind"},
        {"xml f --print-xsd --kind=pfg", "--print-xsd takes no FILE"},
        {"xml --print-xsd --kind=pfg --out=o",
         "--print-xsd takes no --xsd, --continue, --skip, --replace, --out or --encoded"},
        {"xml --print-xsd --kind=pdf", "unknown --kind=pdf: expected fbgen, fuse_db, qspi, sdmmc or pfg"},
        {"hex2bin f - --max-size=1 -", "hex2bin takes 2 file arguments, not 3"},
    };
    for (const auto& mistake : mistakes) {
        std::string command = mistake.first.substr(0, mistake.first.find(' '));
        bool known = command != "frobnicate" && command != "--bogus";
        expect_pgmtool({{mistake.first, 1, "", "pgmtool: error: " + mistake.second + "\n" +
                                                   try_help(known ? command : "")}},
                       dir.path());
    }
    EXPECT_EQ(1u, std::distance(std::filesystem::directory_iterator(dir.path()), {})); // nothing written
    RUN_RESULT two = run_pgmtool("random --COUNT=0x2"); // in range, in any of the parser's forms
    EXPECT_EQ(0, two.exit_code);
    EXPECT_EQ(2, std::count(two.output.begin(), two.output.end(), '\n'));
}

TEST(Pgmtool, FailedWorkExitsWithTwoAndOneWordingPerCondition)
{
    TEMP_DIR dir;
    std::filesystem::create_directory(dir.file("folder"));
    const std::string inputs[] = {"crc IN --kind=crc32", "sha IN", "hmac IN --key=00", "hexinfo IN",
                                  "hex2bin IN out.bin", "mif2bin IN out.bin", "mem2bin IN out.bin",
                                  "dat2rbf IN out.bin", "rbf2dat IN out.bin", "icd2bin IN out.bin",
                                  "zip --list IN", "zip --create out.zip IN", "zip --extract IN --dir=out",
                                  "xml IN --kind=pfg", "xml IN --encode=out.bin", "xml IN --check-xsd=s.xsd",
                                  "tree IN --out=out.txt"};
    std::vector<std::pair<std::string, std::string>> conditions = {
        {"missing", "cannot open: No such file or directory"},
        {"folder", "cannot open: Is a directory"},
        {"/dev/zero", "cannot open: not a regular file"}};
    // A file without read permission, for a user whom permissions bind.
    write_file(dir.file("unreadable"), "x");
    std::filesystem::permissions(dir.file("unreadable"), std::filesystem::perms::none);
    if (geteuid() != 0)
        conditions.push_back({"unreadable", "cannot open: Permission denied"});
    for (const std::string& command : inputs) {
        for (const auto& condition : conditions) {
            std::string run = command;
            run.replace(run.find("IN"), 2, condition.first);
            expect_pgmtool({{run, 2, "", condition.first + ": error: " + condition.second + "\n"}}, dir.path());
        }
    }
    EXPECT_EQ(2u, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
}

TEST(Pgmtool, HelpAtEveryLevel)
{
    std::vector<std::string> names = command_names();
    EXPECT_EQ(19u, names.size());
    names.push_back("");
    for (const std::string& name : names) {
        for (const char* help : {"-h", "--help", "--HELP", "--help=all"}) {
            RUN_RESULT result = run_pgmtool(name + " " + help);
            EXPECT_EQ(0, result.exit_code) << name << help;
            EXPECT_EQ("", result.error) << name << help;
            const std::string& text = result.output;
            EXPECT_EQ(0u, text.find("Usage: pgmtool " + name)) << text;
            EXPECT_NE(std::string::npos, text.find("\nOptions:\n")) << name;
            EXPECT_NE(std::string::npos, text.find("\n  -h, --help")) << name;
            EXPECT_NE(std::string::npos, text.find("\nExample: pgmtool " + name)) << name;
            bool all = std::string(help) == "--help=all";
            EXPECT_EQ(all, text.find("*********** Updated Arguments ***********") != std::string::npos) << name;
            EXPECT_EQ(all, text.find("\nFormat:\n") != std::string::npos) << name;
        }
    }
    // Each option with its default, as people type it.
    EXPECT_NE(std::string::npos, run_pgmtool("rbf2dat --help").output.find("\n  --bytes-per-line=N  Bytes on each "
                                                                             "line (default 4)\n"));
    EXPECT_NE(std::string::npos, run_pgmtool("hex2bin -h").output.find("--max-size=N  Largest image in bytes, "
                                                                        "or with K, M or G (2^10, 2^20, 2^30) "
                                                                        "(default 1G)\n"));
    RUN_RESULT bare = run_pgmtool("");
    EXPECT_EQ(1, bare.exit_code);
    EXPECT_EQ("", bare.output);
    EXPECT_EQ(run_pgmtool("--help").output, bare.error);
    RUN_RESULT version = run_pgmtool("--version");
    EXPECT_EQ(0, version.exit_code);
    EXPECT_EQ(0u, version.output.find("pgmtool "));
    EXPECT_EQ(run_pgmtool("version").output, version.output);
    // The suite's version, packed in hexadecimal and as text.
    const std::string packed = "packed version 0x" +
                               PGM_COMMON::convert_dword_to_hex_string(PGM_COMMON::get_morvane_full_version()) + " (" +
                               PGM_COMMON::get_morvane_full_version_string() + ")\n";
    EXPECT_NE(std::string::npos, version.output.find("\nsuite version " + ver_get_version() + " (index "));
    EXPECT_EQ(version.output.size() - packed.size(), version.output.rfind(packed)) << version.output;
}

TEST(Pgmtool, ResultsThatCannotBeWrittenFailTheRun)
{
    TEMP_DIR dir;
    write_file(dir.file("data"), "123456789");
    write_file(dir.file("fw.hex"), hex_record(0, 0, {1, 2, 3}) + "\n" + hex_record(0, 1, {}) + "\n");
    ASSERT_EQ(0, run_pgmtool("zip --create a.zip data", dir.path()).exit_code);
    for (const std::string& command : std::vector<std::string>{"version", "sha data", "hmac data --key=00", "random",
                                       "drbg --entropy=" + std::string(48, '1') + " --bytes=4",
                                       "crc data --kind=crc16", "zip --list a.zip", "hexinfo fw.hex",
                                       "hex2bin fw.hex -", "zip --create - data"}) {
        EXPECT_EQ(0, run_pgmtool(command + " > /dev/null", dir.path()).exit_code) << command;
        RUN_RESULT full = run_pgmtool(command + " > /dev/full", dir.path());
        EXPECT_EQ(2, full.exit_code) << command;
        EXPECT_NE(std::string::npos, full.error.find("<stdout>: error: cannot write: No space left on device\n"))
            << command << full.error;
    }
}

TEST(Pgmtool, TraceAddsLinesAndPrintsThem)
{
    // The trace file lives beside the program: run a copy of it in a temporary folder.
    TEMP_DIR dir;
    std::filesystem::copy_file(PGMTOOL_PATH, dir.file("pgmtool"));
    std::string tool = dir.file("pgmtool");
    write_file(dir.file("pgm.ini"), "PGM_DEBUG_TRACE=on\nPGM_ENABLE_PGMTOOL_DEBUG=on\n");
    std::string env = "PGM_INI_FILE=" + dir.file("pgm.ini") + " ";

    EXPECT_EQ(0, run_command(env + tool + " trace --add=hello").exit_code);
    EXPECT_EQ(0, run_command(env + tool + " trace --add second --group=extra --ini PGM_ENABLE_EXTRA_DEBUG=on")
                     .exit_code);
    EXPECT_EQ(0, run_command(env + tool + " trace --add=quiet --group=extra").exit_code); // switch off
    EXPECT_EQ(0, run_command(tool + " trace --add=trace-off").exit_code);                  // trace off
    RUN_RESULT shown = run_command(tool + " trace");
    EXPECT_EQ(0, shown.exit_code);
    EXPECT_EQ("PGMTOOL: hello\nEXTRA: second\n", shown.output);

    // A damaged file is reported, and kept aside when the next line comes.
    const std::string trace = dir.file("programmer.dbg");
    std::string damaged = read_file(trace);
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 1);
    write_file(trace, damaged);
    RUN_RESULT reported = run_command("{ " + tool + " trace 2> " + dir.file("err") + "; }");
    EXPECT_EQ(2, reported.exit_code);
    EXPECT_EQ("\nError detected\n", reported.output);
    EXPECT_EQ(trace + ": error: the trace file is damaged\n", read_file(dir.file("err")));
    EXPECT_EQ(0, run_command(env + tool + " trace --add=after").exit_code);
    EXPECT_EQ(damaged, read_file(trace + ".damaged"));
    EXPECT_EQ("PGMTOOL: after\n", run_command(tool + " trace").output);

    // A FIFO of that name is neither waited on nor replaced.
    std::filesystem::remove(trace);
    ASSERT_EQ(0, run_command("mkfifo " + trace).exit_code);
    RUN_RESULT fifo = run_command("timeout 20 " + tool + " trace");
    EXPECT_EQ(2, fifo.exit_code);
    EXPECT_EQ(trace + ": error: cannot open: not a regular file\n", fifo.output);
    EXPECT_EQ(0, run_command("timeout 20 env " + env + tool + " trace --add=dropped").exit_code);
    EXPECT_TRUE(std::filesystem::is_fifo(trace));
}

namespace {

// The options a help text lists, as "--name", without -h/--help.
std::vector<std::string> help_options(const std::string& help)
{
    std::vector<std::string> options;
    std::istringstream lines(help.substr(help.find("\nOptions:\n") + 10));
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        std::string name = line.substr(2, line.find_first_of("= ", 2) - 2);
        if (name != "-h,")
            options.push_back(name);
    }
    return options;
}

// The options a section of the manual page describes (".TP" then ".B" or
// ".BI" and the name), as "--name".
std::vector<std::string> manual_options(const std::string& section)
{
    std::vector<std::string> options;
    for (size_t at = section.find(".TP\n.B"); at != std::string::npos; at = section.find(".TP\n.B", at + 1)) {
        size_t name = section.find("\\-\\-", at);
        if (name == std::string::npos || section.compare(at, name - at, section, at, name - at) != 0 ||
            name > section.find('\n', at + 4))
            continue;
        size_t end = section.find_first_of("= \n", name);
        std::string option = section.substr(name, end - name);
        for (size_t dash; (dash = option.find("\\-")) != std::string::npos;)
            option.erase(dash, 1);
        options.push_back(option);
    }
    return options;
}

} // namespace

// The manual page renders without warnings and describes, for every
// command, exactly the options its help lists; the bash completion offers
// the commands and each command's options.
TEST(Pgmtool, ManualPageAndCompletionFollowTheHelp)
{
    const std::string manual = read_file(PGM_SOURCE_DIR "/tools/pgmtool/pgmtool.1");
    RUN_RESULT render = run_command("groff -man -ww -z -Tutf8 " PGM_SOURCE_DIR "/tools/pgmtool/pgmtool.1");
    EXPECT_EQ(0, render.exit_code);
    EXPECT_EQ("", render.output);
    for (const std::string& name : command_names()) {
        size_t start = manual.find("\n.SS " + name + "\n");
        ASSERT_NE(std::string::npos, start) << name;
        size_t end = manual.find("\n.S", start + 5);
        std::vector<std::string> described = manual_options(manual.substr(start, end - start));
        std::vector<std::string> listed = help_options(run_pgmtool(name + " --help").output);
        std::sort(described.begin(), described.end());
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, described) << name;
    }
    // Completes the last of the words typed after "pgmtool".
    auto complete = [](const std::string& words, int count) {
        return run_command("PATH=" + std::filesystem::path(PGMTOOL_PATH).parent_path().string() +
                           ":$PATH bash -c 'source " PGM_SOURCE_DIR "/tools/pgmtool/pgmtool.bash; COMP_WORDS=(pgmtool " +
                           words + "); COMP_CWORD=" + std::to_string(count) + "; _pgmtool; echo \"${COMPREPLY[*]}\"'")
            .output;
    };
    EXPECT_EQ("hex2bin hexinfo hmac\n", complete("h", 1));
    EXPECT_EQ("--bytes-per-line=\n", complete("rbf2dat --by", 2));
    EXPECT_EQ("--version\n", complete("--v", 1));
}

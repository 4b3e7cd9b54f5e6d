// pgmtool as a user runs it: output, exit codes, help.
#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

RUN_RESULT run_tool(const std::string& arguments)
{
    return run_command(std::string(PGMTOOL_PATH) + " " + arguments);
}

} // namespace

TEST(Pgmtool, CrcKindsOverTheCheckDigits)
{
    TEMP_DIR dir;
    write_file(dir.file("digits"), "123456789");
    const std::pair<const char*, const char*> expected[] = {
        {"crc16", "0x4B37\n"}, {"x25", "0x906E\n"}, {"kermit", "0x2189\n"}, {"crc32", "0xCBF43926\n"}, {"CRC32", "0xCBF43926\n"}};
    for (const auto& kind : expected) {
        RUN_RESULT result = run_tool("crc " + dir.file("digits") + " --kind=" + kind.first);
        EXPECT_EQ(0, result.exit_code) << kind.first;
        EXPECT_EQ(kind.second, result.output) << kind.first;
    }
    write_file(dir.file("empty"), "");
    EXPECT_EQ("0x0000\n", run_tool("crc " + dir.file("empty") + " --kind=x25").output);
    EXPECT_EQ("0x00000000\n", run_tool("crc " + dir.file("empty") + " --kind=crc32").output);
    EXPECT_EQ("0xFFFF\n", run_tool("crc " + dir.file("empty") + " --kind=crc16").output);
}

TEST(Pgmtool, CrcOfALargeFileMatchesTheLibrary)
{
    TEMP_DIR dir;
    std::string content;
    for (int i = 0; i < (3 << 20) + 7; ++i)
        content += char(BYTE((unsigned(i) * 7919u) >> 3));
    write_file(dir.file("big"), content);
    DWORD crc = ~PGM_COMMON::lsb_calculate_crc32(reinterpret_cast<const BYTE*>(content.data()), 0,
                                                 DWORD(content.size() * 8), 0xFFFFFFFF, 0xEDB88320, false, true);
    char expected[16];
    std::snprintf(expected, sizeof(expected), "0x%08X\n", unsigned(crc));
    EXPECT_EQ(expected, run_tool("crc " + dir.file("big") + " --kind=crc32").output);
}

TEST(Pgmtool, BadInputGivesOneMessageAndAnExitCode)
{
    TEMP_DIR dir;
    RUN_RESULT missing = run_tool("crc " + dir.file("none") + " --kind=crc32");
    EXPECT_EQ(2, missing.exit_code);
    EXPECT_EQ("Error: Can't open " + dir.file("none") + ": No such file or directory\n", missing.output);

    // Special files could be endless; "-" reads standard input instead.
    for (const std::string& special : {dir.path(), std::string("/dev/zero")}) {
        RUN_RESULT refused = run_command("timeout 20 " + std::string(PGMTOOL_PATH) + " crc " + special + " --kind=crc32");
        EXPECT_EQ(2, refused.exit_code) << special;
        EXPECT_EQ("Error: Can't open " + special + ": not a regular file\n", refused.output);
    }
    EXPECT_EQ("0xCBF43926\n", run_command("printf 123456789 | " + std::string(PGMTOOL_PATH) + " crc - --kind=crc32").output);

    RUN_RESULT unknown = run_tool("frobnicate");
    EXPECT_EQ(1, unknown.exit_code);
    EXPECT_EQ(0u, unknown.output.find("Error: Unknown command \"frobnicate\"\n"));

    RUN_RESULT option = run_tool("crc x --bogus");
    EXPECT_EQ(1, option.exit_code);
    EXPECT_EQ(0u, option.output.find("Error: Argument: bogus (bogus) is not supported\n"));

    RUN_RESULT kind = run_tool("crc " + dir.path() + " --kind=md5");
    EXPECT_EQ(2, kind.exit_code);
    EXPECT_EQ("Error: Unknown CRC kind \"md5\" (crc16, x25, kermit or crc32)\n", kind.output);

    RUN_RESULT files = run_tool("crc --kind=crc32");
    EXPECT_EQ(1, files.exit_code);
    EXPECT_EQ(0u, files.output.find("Error: crc expects 1 file argument(s) but found 0\n"));

    RUN_RESULT ini = run_tool("crc x --ini=KEY");
    EXPECT_EQ(1, ini.exit_code);
    EXPECT_EQ(0u, ini.output.find("Error: Internal INI must follow format --ini=<ini string>=<ini value> but found "
                                  "\"KEY\"\n"));

    RUN_RESULT no_value = run_tool("crc x --kind");
    EXPECT_EQ(1, no_value.exit_code);
    EXPECT_EQ(0u, no_value.output.find(
                      "Error: INT and STR argument expected to have \"=\" between argument and value: kind\n"));
}

TEST(Pgmtool, NumbersOutOfRangeAreCommandLineErrors)
{
    // The parser alone would keep the low 32 bits: 4294967297 would count 1.
    for (const char* count : {"4294967297", "2147483648", "-2147483649", "0x100000000"}) {
        RUN_RESULT result = run_tool(std::string("random --count=") + count);
        EXPECT_EQ(1, result.exit_code) << count;
        EXPECT_EQ(0u, result.output.find(std::string("Error: --count=") + count +
                                         " is out of range (-2147483648 to 2147483647)\n"))
            << result.output;
    }
    EXPECT_EQ(0u, run_tool("random --count=-2147483648").output.find("Error: --count must be at least 1"));
    RUN_RESULT two = run_tool("random --COUNT=0x2"); // in range, in any of the parser's forms
    EXPECT_EQ(0, two.exit_code);
    EXPECT_EQ(2, std::count(two.output.begin(), two.output.end(), '\n'));
}

TEST(Pgmtool, ResultsThatCannotBeWrittenFailTheRun)
{
    TEMP_DIR dir;
    write_file(dir.file("data"), "123456789");
    write_file(dir.file("fw.hex"), hex_record(0, 0, {1, 2, 3}) + "\n" + hex_record(0, 1, {}) + "\n");
    ASSERT_EQ(0, run_tool("zip --create " + dir.file("a.zip") + " " + dir.file("data")).exit_code);
    const std::string commands[] = {"version",
                                    "sha " + dir.file("data"),
                                    "hmac " + dir.file("data") + " --key=00",
                                    "drbg --entropy=" + std::string(48, '1') + " --bytes=4",
                                    "random",
                                    "crc " + dir.file("data") + " --kind=crc16",
                                    "zip --list " + dir.file("a.zip"),
                                    "hexinfo " + dir.file("fw.hex")};
    for (const std::string& command : commands) {
        EXPECT_EQ(0, run_tool(command + " > /dev/null").exit_code) << command;
        RUN_RESULT full = run_command("{ " + std::string(PGMTOOL_PATH) + " " + command + " > /dev/full; }");
        EXPECT_EQ(2, full.exit_code) << command;
        EXPECT_EQ("Error: Can't write standard output: No space left on device\n", full.output) << command;
    }
}

TEST(Pgmtool, HelpListsCommandsAndArguments)
{
    RUN_RESULT top = run_tool("--help");
    EXPECT_EQ(0, top.exit_code);
    for (const char* word : {"*********** Usage ***********", "version", "crc", "trace"})
        EXPECT_NE(std::string::npos, top.output.find(word)) << word;

    RUN_RESULT crc = run_tool("crc --help");
    EXPECT_EQ(0, crc.exit_code);
    EXPECT_NE(std::string::npos, crc.output.find("List of STRING arguments:\n\n   1) kind () : crc16, x25, kermit or crc32"));
    EXPECT_NE(std::string::npos, crc.output.find("pgmtool crc FILE --kind=K"));

    EXPECT_EQ(1, run_tool("").exit_code);
    RUN_RESULT version = run_tool("version");
    EXPECT_EQ(0, version.exit_code);
    EXPECT_EQ(0u, version.output.find("pgmtool "));
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
    EXPECT_EQ(0, run_command(env + tool + " trace --add=second --group=extra --ini=PGM_ENABLE_EXTRA_DEBUG=on")
                     .exit_code);
    EXPECT_EQ(0, run_command(env + tool + " trace --add=quiet --group=extra").exit_code); // switch off
    EXPECT_EQ(0, run_command(tool + " trace --add=trace-off").exit_code);                  // trace off
    RUN_RESULT shown = run_command(tool + " trace");
    EXPECT_EQ(0, shown.exit_code);
    EXPECT_EQ("PGMTOOL: hello\nEXTRA: second\n", shown.output);

    // A damaged file is reported, and kept aside when the next line comes.
    std::string good = read_file(dir.file("programmer.dbg"));
    std::string damaged = good;
    damaged[good.size() / 2] = char(damaged[good.size() / 2] ^ 1);
    write_file(dir.file("programmer.dbg"), damaged);
    RUN_RESULT reported = run_command(tool + " trace");
    EXPECT_EQ(2, reported.exit_code);
    EXPECT_EQ("\nError detected\nError: The trace file " + dir.file("programmer.dbg") + " is damaged\n",
              reported.output);
    EXPECT_EQ(0, run_command(env + tool + " trace --add=after").exit_code);
    EXPECT_EQ(damaged, read_file(dir.file("programmer.dbg.damaged")));
    EXPECT_EQ("PGMTOOL: after\n", run_command(tool + " trace").output);

    // A FIFO of that name is neither waited on nor replaced.
    std::filesystem::remove(dir.file("programmer.dbg"));
    ASSERT_EQ(0, run_command("mkfifo " + dir.file("programmer.dbg")).exit_code);
    RUN_RESULT fifo = run_command("timeout 20 " + tool + " trace");
    EXPECT_EQ(2, fifo.exit_code);
    EXPECT_EQ("Error: The trace file " + dir.file("programmer.dbg") + " is not a regular file\n", fifo.output);
    EXPECT_EQ(0, run_command("timeout 20 env " + env + tool + " trace --add=dropped").exit_code);
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("programmer.dbg")));

    RUN_RESULT bad_level = run_command(tool + " trace --add=x --level=101");
    EXPECT_EQ(2, bad_level.exit_code);
    EXPECT_EQ("Error: --level must lie between 0 and 100, not 101\n", bad_level.output);
}

// The file commands of pgmtool as a user runs them: output files, results,
// messages naming the file and line, standard input and output as "-",
// and outputs that never destroy an input.
#include "test_support.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

size_t entry_count(const TEMP_DIR& dir)
{
    auto entries = std::filesystem::directory_iterator(dir.path());
    return size_t(std::distance(begin(entries), end(entries)));
}

const char* const MIF = "-- 4 words of 4 bits\nWIDTH=4;\nDEPTH=4;\nADDRESS_RADIX=UNS;\nDATA_RADIX=HEX;\n"
                        "CONTENT BEGIN\n  0 : 1;\n  [1..2] : A; -- a range\n  3 : F;\nEND;\n";

// The input files of the tests, in a new folder.
void write_inputs(const TEMP_DIR& dir)
{
    // Blocks 0x10-0x15 (two adjacent records), 0x20 and, after an extended linear address, 0x10000-0x10001.
    write_file(dir.file("gapped.hex"), ":040010001122334442\n:0200140055662F\n:010020007768\n"
                                       ":020000040001F9\n:020000008899DD\n:00000001FF\n");
    write_file(dir.file("empty_end.hex"), ":01000000AB54\n:020000040002F8\n:00000001FF\n");
    write_file(dir.file("eof.hex"), ":00000001FF\n");
    write_file(dir.file("empty.txt"), "");
    write_file(dir.file("run.hex"), ":0400000001020304F2\n:0100040005F6\n:00000001FF\n");
    // Bytes at 0 and at 1 GiB, and at 0 and at 4 GiB - 1: tiny files, large images.
    write_file(dir.file("span.hex"), ":0100000001FE\n:020000044000BA\n:0100000002FD\n:00000001FF\n");
    write_file(dir.file("top.hex"), ":0100000001FE\n:02000004FFFFFC\n:01FFFF0002FF\n:00000001FF\n");
    // Line 2 leaves a gap, which closes the first block; line 3 has a wrong checksum.
    write_file(dir.file("bad.hex"), ":02000000AABB99\n:01002000CC13\n:01002100DD00\n:00000001FF\n");
    write_file(dir.file("rom.mif"), MIF);
    write_file(dir.file("mem.txt"), "# coefficients\n0x3C\nb10100101  // binary\n\n200\n");
    write_file(dir.file("wide.txt"), "0x1234\n5\nb0000000100000010\n");
    write_file(dir.file("short.txt"), "0x3C\n0x5\n");
    write_file(dir.file("binary.txt"), "b10\nb101\n");
    write_file(dir.file("over.txt"), "200\n// 300 would not fit\n300\n");
    write_file(dir.file("in.dat"), "04030201\n// a comment line\n08070605  # the second word\n");
    write_file(dir.file("mixed.dat"), "04030201\n0605\n08070605\n");
    write_file(dir.file("in.rbf"), "\x01\x02\x03\x04\x05");
    write_file(dir.file("hex.icd"), "// rows\nF00F\n0FF0\n");
    write_file(dir.file("bits.icd"), "10Z0\n01\n");
}

const std::string BAD_SUM = "bad.hex:3: error: Checksum on line 3 does not match expected checksum\n";

} // namespace

TEST(PgmtoolFiles, HexinfoListsRangesAndBlocks)
{
    TEMP_DIR dir;
    write_inputs(dir);
    // 0xFFF0-0xFFFF and, after an extended linear address, 0x10000-0x10001: two blocks, one range.
    write_file(dir.file("follow.hex"), hex_record(0xFFF0, 0, std::vector<BYTE>(16, 1)) + "\n" +
                                           hex_record(0, 4, {0, 1}) + "\n" + hex_record(0, 0, {2, 3}) + "\n" +
                                           hex_record(0, 1, {}) + "\n");
    const std::string gapped = "start       end         size\n"
                               "0x00000010  0x00000015  0x00000006\n"
                               "0x00000020  0x00000020  0x00000001\n"
                               "0x00010000  0x00010001  0x00000002\n"
                               "3 ranges, 9 bytes of data (3 blocks)\n";
    const std::string gapped_blocks = "block  start       end         size\n"
                                      "    1  0x00000010  0x00000015  0x00000006\n"
                                      "    2  0x00000020  0x00000020  0x00000001\n"
                                      "    3  0x00010000  0x00010001  0x00000002\n"
                                      "3 blocks, 9 bytes of data\n";
    expect_pgmtool({{"hexinfo gapped.hex", 0, gapped, ""},
                    {"hexinfo - < gapped.hex", 0, gapped, ""},
                    {"hexinfo gapped.hex --blocks", 0, gapped_blocks, ""},
                    {"hexinfo follow.hex", 0,
                     "start       end         size\n"
                     "0x0000FFF0  0x00010001  0x00000012\n"
                     "1 range, 18 bytes of data (2 blocks)\n",
                     ""},
                    {"hexinfo empty_end.hex", 0,
                     "start       end         size\n"
                     "0x00000000  0x00000000  0x00000001\n"
                     "1 range, 1 byte of data (2 blocks)\n",
                     ""},
                    {"hexinfo empty_end.hex --blocks", 0,
                     "block  start       end         size\n"
                     "    1  0x00000000  0x00000000  0x00000001\n"
                     "    2  0x00020000  (empty)\n"
                     "2 blocks, 1 byte of data\n",
                     ""},
                    {"hexinfo eof.hex", 0, "no data\n", ""},
                    {"hexinfo eof.hex --blocks", 0,
                     "block  start       end         size\n"
                     "    1  0x00000000  (empty)\n"
                     "1 block, no data\n",
                     ""},
                    {"hexinfo bad.hex", 2, "", BAD_SUM},
                    {"hexinfo - < bad.hex", 2, "", "<stdin>:3: error: Checksum on line 3 does not match expected "
                                                   "checksum\n"}},
                   dir.path());
}

TEST(PgmtoolFiles, ConversionsWriteExactBytesOrNothing)
{
    TEMP_DIR dir;
    write_inputs(dir);
    std::string gapped_image(0x10002 - 0x10, '\0');
    gapped_image.replace(0, 6, "\x11\x22\x33\x44\x55\x66");
    gapped_image[0x10] = '\x77';
    gapped_image.replace(0xFFF0, 2, "\x88\x99");
    const std::string too_large = ": error: the image would take ";
    const struct {
        const char* command; // writes out.bin on success
        std::string printed; // standard output, or standard error on failure
        std::string bytes;   // empty: the command fails with exit code 2
    } cases[] = {
        {"hex2bin gapped.hex out.bin", "lowest address 0x00000010, size 65522 bytes\n", gapped_image},
        {"hex2bin run.hex out.bin --continuous", "lowest address 0x00000000, size 5 bytes\n", "\1\2\3\4\5"},
        {"hex2bin gapped.hex out.bin --CONTINUOUS",
         "gapped.hex: error: the blocks do not form one run from address 0\n", ""},
        {"hex2bin eof.hex out.bin", "eof.hex: error: the file holds no data bytes\n", ""},
        // The image's size is known before it is made, and is limited.
        {"hex2bin span.hex out.bin",
         "span.hex" + too_large + "1073741825 bytes, more than --max-size allows (1073741824 bytes)\n", ""},
        {"hex2bin top.hex out.bin --max-size=3g",
         "top.hex" + too_large + "4294967296 bytes, more than --max-size allows (3221225472 bytes)\n", ""},
        {"hex2bin gapped.hex out.bin --max_size 64K", "lowest address 0x00000010, size 65522 bytes\n", gapped_image},
        {"hex2bin run.hex out.bin --continuous --max-size=4",
         "run.hex" + too_large + "5 bytes, more than --max-size allows (4 bytes)\n", ""},
        {"hex2bin bad.hex out.bin", BAD_SUM, ""},
        {"hex2bin bad.hex out.bin --continuous", BAD_SUM, ""},
        {"mif2bin rom.mif out.bin", "16 bits, 2 bytes\n", "\xA1\xFA"},
        {"mem2bin mem.txt out.bin", "width 8 bits, depth 3 words, size 3 bytes\n", "\x3C\xA5\xC8"},
        {"mem2bin mem.txt out.bin --depth=5", "width 8 bits, depth 5 words, size 5 bytes\n",
         std::string("\x3C\xA5\xC8\0\0", 5)},
        {"mem2bin mem.txt out.bin --depth 2", "width 8 bits, depth 2 words, size 2 bytes\n", "\x3C\xA5"},
        {"mem2bin wide.txt out.bin --width=16", "width 16 bits, depth 3 words, size 6 bytes\n",
         std::string("\x34\x12\x05\0\x02\x01", 6)},
        {"mem2bin short.txt out.bin",
         "short.txt:2: error: the hexadecimal word has 1 digit, but a word of 8 bits needs 2\n", ""},
        {"mem2bin binary.txt out.bin",
         "binary.txt:2: error: the binary word has 3 digits, but a word of 2 bits needs 2\n", ""},
        {"mem2bin over.txt out.bin --width=8",
         "over.txt: error: Line 3 of memory file over.txt holds a value of 9 bits, wider than its word of 8 bits\n",
         ""},
        {"dat2rbf in.dat out.bin", "8 bytes\n", "\1\2\3\4\5\6\7\x08"},
        {"dat2rbf empty.txt out.bin", "empty.txt: error: the file is empty\n", ""},
        {"dat2rbf mixed.dat out.bin",
         "mixed.dat:2: error: the line holds 2 bytes, the first line 4; only the last line may hold fewer\n", ""},
        {"rbf2dat in.rbf out.bin", "5 bytes, 2 lines\n", "04030201\n05\n"},
        {"rbf2dat in.rbf out.bin --bytes-per-line=2", "5 bytes, 3 lines\n", "0201\n0403\n05\n"},
        {"icd2bin hex.icd out.bin", "32 bits, 4 bytes\n", "\x0F\xF0\xF0\x0F"},
        {"icd2bin hex.icd out.bin --last-line-first", "32 bits, 4 bytes\n", "\xF0\x0F\x0F\xF0"},
        {"icd2bin bits.icd out.bin --binary --allow_z", "6 bits, 1 byte\n", "\x21"},
        {"icd2bin bits.icd out.bin --binary --allow-z --highest-bit-first", "6 bits, 1 byte\n", "\x18"},
        {"icd2bin bits.icd out.bin --binary", "bits.icd: error: Invalid char: Z\n", ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir.file("out.bin"));
        bool ok = !c.bytes.empty();
        expect_pgmtool({{c.command, ok ? 0 : 2, ok ? c.printed : "", ok ? "" : c.printed}}, dir.path());
        EXPECT_EQ(ok, std::filesystem::exists(dir.file("out.bin"))) << c.command;
        EXPECT_EQ(c.bytes, read_file(dir.file("out.bin"))) << c.command;
        if (!ok)
            continue;
        // The same through standard input and output; the results go to standard error then.
        std::vector<std::string> words =
            PGM_COMMON::split_string(c.command, " ", false, false, DWORD(-1), {}, "", false);
        std::string piped = words[0] + " - -";
        for (size_t i = 3; i < words.size(); ++i)
            piped += " " + words[i];
        expect_pgmtool({{piped + " < " + words[1], 0, c.bytes, c.printed}}, dir.path());
    }

    // A failed run leaves an older output file as it was, and no temporary file.
    size_t entries = entry_count(dir);
    write_file(dir.file("old.bin"), "old content");
    for (const char* command : {"hex2bin bad.hex old.bin", "mem2bin short.txt old.bin", "hexinfo bad.hex"})
        EXPECT_EQ(2, run_pgmtool(command, dir.path()).exit_code) << command;
    EXPECT_EQ("old content", read_file(dir.file("old.bin")));
    EXPECT_EQ(entries + 1, entry_count(dir));
}

TEST(PgmtoolFiles, DatFilesMadeByRbf2datReadBack)
{
    TEMP_DIR dir;
    for (int per_line : {1, 4, 7}) {
        for (int size : {1, per_line - 1, per_line + 1, 3 * per_line}) {
            if (size == 0)
                continue;
            std::string image;
            for (int i = 0; i < size; ++i)
                image += char(0x25 * (i + 1));
            write_file(dir.file("in.rbf"), image);
            const std::string run = "rbf2dat in.rbf out.dat --bytes-per-line=" + std::to_string(per_line) +
                                    " && " + PGMTOOL_PATH + " dat2rbf out.dat back.rbf";
            RUN_RESULT result = run_pgmtool(run, dir.path());
            EXPECT_EQ(0, result.exit_code) << run << "\n" << result.error;
            EXPECT_EQ(image, read_file(dir.file("back.rbf"))) << run;
        }
    }
    // Only the last line may be shorter.
    write_file(dir.file("short.dat"), "0201\n03\n0504\n");
    write_file(dir.file("long.dat"), "0201\n// c\n050403\n");
    const std::string fewer = ", the first line 2; only the last line may hold fewer\n";
    expect_pgmtool({{"dat2rbf short.dat o.rbf", 2, "", "short.dat:2: error: the line holds 1 byte" + fewer},
                    {"dat2rbf long.dat o.rbf", 2, "", "long.dat:3: error: the line holds 3 bytes" + fewer},
                    {"dat2rbf - o.rbf < long.dat", 2, "", "<stdin>:3: error: the line holds 3 bytes" + fewer}},
                   dir.path());
}

TEST(PgmtoolFiles, OutputsNeverDestroyAnInput)
{
    TEMP_DIR dir;
    write_inputs(dir);
    write_file(dir.file("data"), "data");
    ASSERT_EQ(0, run_pgmtool("zip --create a.zip data", dir.path()).exit_code);
    std::filesystem::create_hard_link(dir.file("run.hex"), dir.file("hard.bin"));
    std::filesystem::create_symlink("rom.mif", dir.file("soft.bin"));
    std::filesystem::create_directory(dir.file("folder"));
    const std::string zip = read_file(dir.file("a.zip"));
    const std::pair<const char*, const char*> refused[] = {
        {"hex2bin run.hex run.hex", "run.hex: error: the output is the same file as the input run.hex"},
        {"hex2bin run.hex hard.bin", "hard.bin: error: the output is the same file as the input run.hex"},
        {"mif2bin rom.mif rom.mif", "rom.mif: error: the output is the same file as the input rom.mif"},
        {"mif2bin rom.mif ./soft.bin", "./soft.bin: error: the output is the same file as the input rom.mif"},
        {"rbf2dat a.zip a.zip", "a.zip: error: the output is the same file as the input a.zip"},
        {"zip --create a.zip --append a.zip", "a.zip: error: the output is the same file as the input a.zip"},
        {"zip --create a.zip data ./a.zip", "a.zip: error: the output is the same file as the input ./a.zip"},
        {"xml rom.mif --encode=rom.mif", "rom.mif: error: the output is the same file as the input rom.mif"},
    };
    for (const auto& c : refused) {
        std::string command = std::string(c.first).substr(0, std::string(c.first).find(' '));
        expect_pgmtool({{c.first, 1, "", c.second + std::string("\nTry \"pgmtool ") + command +
                                             " --help\" for more information.\n"}},
                       dir.path());
    }
    EXPECT_EQ(zip, read_file(dir.file("a.zip")));
    EXPECT_EQ(MIF, read_file(dir.file("rom.mif")));
    EXPECT_EQ(read_file(dir.file("run.hex")), read_file(dir.file("hard.bin")));

    // Missing folders of an output are made; a folder is no output.
    expect_pgmtool({{"hex2bin run.hex new/deep/out.bin", 0, "lowest address 0x00000000, size 5 bytes\n", ""},
                    {"zip --create new/a.zip data", 0, "new/a.zip written with 1 member\n", ""},
                    {"rbf2dat in.rbf new/deeper/out.dat", 0, "5 bytes, 2 lines\n", ""},
                    {"hex2bin run.hex folder", 2, "", "folder: error: cannot write: Is a directory\n"},
                    {"hex2bin run.hex empty.txt/out.bin", 2, "lowest address 0x00000000, size 5 bytes\n",
                     "empty.txt/out.bin: error: cannot make its folder empty.txt: Not a directory\n"},
                    {"zip --create - data | " + std::string(PGMTOOL_PATH) + " zip --list -", 0,
                     run_pgmtool("zip --list a.zip", dir.path()).output, "<stdout> written with 1 member\n"}},
                   dir.path());
    EXPECT_EQ("\1\2\3\4\5", read_file(dir.file("new/deep/out.bin")));
    EXPECT_EQ(read_file(dir.file("a.zip")), read_file(dir.file("new/a.zip")));
    EXPECT_EQ("04030201\n05\n", read_file(dir.file("new/deeper/out.dat")));
}

// What an output name points at decides how it is written: a link's
// target is replaced, a device or FIFO is written straight through, and
// no temporary outlives a run that is killed or outgrows ulimit -f.
TEST(PgmtoolFiles, OutputsFollowWhatTheNamePointsAt)
{
    TEMP_DIR dir;
    write_inputs(dir);
    const std::string image = "\1\2\3\4\5", summary = "lowest address 0x00000000, size 5 bytes\n";
    std::filesystem::create_directory(dir.file("sub"));
    write_file(dir.file("sub/target.bin"), "old");
    std::filesystem::create_symlink("sub/target.bin", dir.file("link.bin"));
    ASSERT_EQ(0, run_command("mkfifo " + dir.file("fifo")).exit_code);
    expect_pgmtool({{"hex2bin run.hex link.bin", 0, summary, ""},
                    {"hex2bin run.hex /dev/null", 0, summary, ""},
                    {"hex2bin run.hex /dev/stdout > stdout.bin", 0, "", summary}},
                   dir.path());
    const std::string tool = " " PGMTOOL_PATH " hex2bin ";
    EXPECT_EQ(0, run_command("cd " + dir.path() + " && {" + tool + "run.hex fifo & cat fifo > fifo.bin; wait $!; }")
                     .exit_code);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.bin")));
    EXPECT_EQ(image, read_file(dir.file("sub/target.bin")));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(image, read_file(dir.file("stdout.bin")));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo")));
    EXPECT_EQ(image, read_file(dir.file("fifo.bin")));

    // A large image, killed while it is written or refused by ulimit -f:
    // the old output stays whole and nothing else is left.
    std::string text;
    for (DWORD address = 0; address < (DWORD(4) << 20); address += 32)
        text += hex_record(address & 0xFFFF, 0, std::vector<BYTE>(32, BYTE(address >> 5))) + "\n" +
                ((address & 0xFFFF) == 0xFFE0 ? hex_record(0, 4, {BYTE(0), BYTE((address + 32) >> 16)}) + "\n" : "");
    std::filesystem::create_directory(dir.file("out"));
    write_file(dir.file("out/big.hex"), text + ":00000001FF\n");
    write_file(dir.file("out/big.bin"), "old");
    // Killed at several moments: each time the folder holds the input and
    // the output, old or whole, and nothing else.
    RUN_RESULT killed = run_command("cd " + dir.file("out") + " && for delay in 0.005 0.01 0.02 0.03 0.05; do" + tool +
                                    "big.hex big.bin >/dev/null 2>&1 & sleep $delay; kill $! 2>/dev/null; wait; "
                                    "echo $(ls -A) $(stat -c %s big.bin); done");
    std::istringstream states(killed.output);
    int runs = 0;
    for (std::string state; std::getline(states, state); ++runs)
        EXPECT_TRUE(state == "big.bin big.hex 3" || state == "big.bin big.hex 4194304") << state;
    EXPECT_EQ(5, runs) << killed.output;
    RUN_RESULT limited = run_command("cd " + dir.file("out") + " && { ulimit -f 64;" + tool + "big.hex big.bin; }");
    EXPECT_EQ(2, limited.exit_code);
    EXPECT_NE(std::string::npos, limited.output.find("big.bin: error: cannot write: File too large")) << limited.output;
    EXPECT_EQ("big.bin big.hex\n", run_command("ls -A " + dir.file("out") + " | xargs").output);
    // An archive on standard output whose reader stops early leaves no spool.
    std::filesystem::create_directory(dir.file("spool"));
    run_command("cd " + dir.file("out") + " && TMPDIR=" + dir.file("spool") + " " PGMTOOL_PATH +
                " zip --create - big.hex | head -c 1 > /dev/null");
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("spool")));
}

TEST(PgmtoolFiles, MifMessagesNameTheFileAndLine)
{
    TEMP_DIR dir;
    write_file(dir.file("rom.mif"), MIF);
    std::string bad_mif = MIF;
    bad_mif.replace(bad_mif.find("3 : F"), 5, "3 : G");
    write_file(dir.file("bad.mif"), bad_mif);
    write_file(dir.file("big.mif"), "WIDTH=1;\nDEPTH=4194305;\nCONTENT BEGIN\nEND;\n");
    const std::string less = ": warning: Memory depth (2) in the Memory Initialization File \"";
    const std::string flash = "\" is less than the flash memory depth (4). Make sure the Memory Initialization File "
                              "contains the sufficient memory depth values for the flash memory.\n";
    const std::string invalid = " is not a valid Memory Initialization File\n";
    const std::string limit = " is above the limit of ";
    const std::string setting = " words (setting PGM_MIF_MAX_WORDS)\n";
    expect_pgmtool(
        {{"mif2bin rom.mif out.bin --required-size=4", 0, "16 bits, 2 bytes\n",
          "rom.mif" + less + dir.file("rom.mif") + flash},
         {"mif2bin - - --required-size=4 < rom.mif", 0, "\xA1\xFA", "<stdin>" + less + "<stdin>" + flash +
                                                                     "16 bits, 2 bytes\n"},
         {"mif2bin bad.mif bad.bin", 2, "",
          "bad.mif: error: Found invalid character in MIF file " + dir.file("bad.mif") +
              "\nbad.mif:9: error: a data word holds a character that is not a HEX digit\n"},
         // A file beyond the word limit is refused with the reason, which
         // names the setting that raises the limit.
         {"mif2bin big.mif bad.bin", 2, "", "big.mif: error: File " + dir.file("big.mif") + invalid +
                                               "big.mif:3: error: DEPTH 4194305" + limit + "4194304" + setting},
         {"mif2bin rom.mif bad.bin --ini PGM_MIF_MAX_WORDS=3", 2, "",
          "rom.mif: error: File " + dir.file("rom.mif") + invalid + "rom.mif:6: error: DEPTH 4" + limit + "3" +
              setting},
         {"mif2bin rom.mif out.bin --ini=PGM_MIF_MAX_WORDS=4", 0, "16 bits, 2 bytes\n", ""}},
        dir.path());
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.bin")));
    EXPECT_EQ("\xA1\xFA", read_file(dir.file("out.bin")));
}

TEST(PgmtoolFiles, IcdHexLinesWithOtherCharactersWarnOnce)
{
    // Each character that is no hexadecimal digit reads as four zero bits;
    // comments and blanks are no characters of a line.
    TEMP_DIR dir;
    write_file(dir.file("clean.icd"), "// rows\nF00F # hex\n0f f0\n");
    write_file(dir.file("other.icd"), "F00F\n\n0FG0 // G\nx0\x01Y\n");
    expect_pgmtool({{"icd2bin clean.icd out.bin", 0, "32 bits, 4 bytes\n", ""},
                    {"icd2bin other.icd out.bin --last-line-first", 0, "48 bits, 6 bytes\n",
                     "other.icd:3: warning: \"G\" is not a hexadecimal digit: read as four zero bits (4 such "
                     "characters on 2 lines)\n"},
                    {"icd2bin - out.bin < other.icd", 0, "48 bits, 6 bytes\n",
                     "<stdin>:3: warning: \"G\" is not a hexadecimal digit: read as four zero bits (4 such "
                     "characters on 2 lines)\n"}},
                   dir.path());
    EXPECT_EQ(std::string("\x0F\xF0\xF0\0\0\0", 6), read_file(dir.file("out.bin")));
    write_file(dir.file("one.icd"), "\x7F");
    expect_pgmtool({{"icd2bin one.icd out.bin", 0, "4 bits, 1 byte\n",
                     "one.icd:1: warning: \"\\x7F\" is not a hexadecimal digit: read as four zero bits (1 such "
                     "character on 1 line)\n"},
                    {"icd2bin other.icd out.bin --binary", 2, "", "other.icd: error: Invalid char: F\n"}},
                   dir.path());
}

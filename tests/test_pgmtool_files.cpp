// The file commands of pgmtool as a user runs them: output files, printed
// lines and exit codes.
#include "test_support.h"

#include <cstdio>
#include <filesystem>

namespace {

// Runs pgmtool in the folder, so that the files are named as given there.
RUN_RESULT run_tool(const TEMP_DIR& dir, const std::string& arguments)
{
    return run_command("cd " + dir.path() + " && " + PGMTOOL_PATH + " " + arguments);
}

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
    write_file(dir.file("over.txt"), "200\n// 300 would not fit\n300\n");
    write_file(dir.file("narrow.txt"), "b1\n5\n");
    write_file(dir.file("in.dat"), "04030201\n// a comment line\n08070605  # the second word\n");
    write_file(dir.file("in.rbf"), "\x01\x02\x03\x04\x05");
    write_file(dir.file("hex.icd"), "// rows\nF00F\n0FF0\n");
    write_file(dir.file("bits.icd"), "10Z0\n01\n");
}

const std::string BAD_SUM = "Info (17920): Checksum on line 3 does not match expected checksum\n"
                            "Error: bad.hex could not be read\n";

} // namespace

TEST(PgmtoolFiles, HexinfoListsTheBlocks)
{
    TEMP_DIR dir;
    write_inputs(dir);
    RUN_RESULT info = run_tool(dir, "hexinfo gapped.hex");
    EXPECT_EQ(0, info.exit_code);
    EXPECT_EQ("block  start       end         size\n"
              "    1  0x00000010  0x00000015  0x00000006\n"
              "    2  0x00000020  0x00000020  0x00000001\n"
              "    3  0x00010000  0x00010001  0x00000002\n"
              "3 blocks, 9 bytes of data\n",
              info.output);
    EXPECT_EQ("block  start       end         size\n"
              "    1  0x00000000  0x00000000  0x00000001\n"
              "    2  0x00020000  (empty)\n"
              "2 blocks, 1 byte of data\n",
              run_tool(dir, "hexinfo empty_end.hex").output);
    RUN_RESULT bad = run_tool(dir, "hexinfo bad.hex");
    EXPECT_EQ(2, bad.exit_code);
    EXPECT_EQ(BAD_SUM, bad.output);
}

TEST(PgmtoolFiles, ConversionsWriteExactBytesOrNothing)
{
    TEMP_DIR dir;
    write_inputs(dir);
    std::string gapped_image(0x10002 - 0x10, '\0');
    gapped_image.replace(0, 6, "\x11\x22\x33\x44\x55\x66");
    gapped_image[0x10] = '\x77';
    gapped_image.replace(0xFFF0, 2, "\x88\x99");
    const struct {
        const char* command; // writes out.bin on success
        std::string printed;
        std::string bytes; // empty: the command fails with exit code 2
    } cases[] = {
        {"hex2bin gapped.hex out.bin", "lowest address 0x00000010, size 65522 bytes\n", gapped_image},
        {"hex2bin run.hex out.bin --continuous", "lowest address 0x00000000, size 5 bytes\n", "\1\2\3\4\5"},
        {"hex2bin gapped.hex out.bin --CONTINUOUS",
         "Error: gapped.hex: the blocks do not form one run from address 0\n", ""},
        {"hex2bin eof.hex out.bin", "Error: eof.hex: the file holds no data bytes\n", ""},
        // The image's size is known before it is made, and is limited.
        {"hex2bin span.hex out.bin",
         "Error: span.hex: the image would take 1073741825 bytes, more than --max_size allows (1073741824 bytes)\n",
         ""},
        {"hex2bin top.hex out.bin --max_size=3g",
         "Error: top.hex: the image would take 4294967296 bytes, more than --max_size allows (3221225472 bytes)\n",
         ""},
        {"hex2bin gapped.hex out.bin --max_size=65521",
         "Error: gapped.hex: the image would take 65522 bytes, more than --max_size allows (65521 bytes)\n", ""},
        {"hex2bin gapped.hex out.bin --max_size=64K", "lowest address 0x00000010, size 65522 bytes\n", gapped_image},
        {"hex2bin run.hex out.bin --continuous --max_size=4",
         "Error: run.hex: the image would take 5 bytes, more than --max_size allows (4 bytes)\n", ""},
        {"hex2bin bad.hex out.bin", BAD_SUM, ""},
        {"hex2bin bad.hex out.bin --continuous", BAD_SUM, ""},
        {"mif2bin rom.mif out.bin", "16 bits, 2 bytes\n", "\xA1\xFA"},
        {"mem2bin mem.txt out.bin", "width 8 bits, depth 3 words, size 3 bytes\n", "\x3C\xA5\xC8"},
        {"mem2bin mem.txt out.bin --depth=5", "width 8 bits, depth 5 words, size 5 bytes\n",
         std::string("\x3C\xA5\xC8\0\0", 5)},
        {"mem2bin mem.txt out.bin --depth=2", "width 8 bits, depth 2 words, size 2 bytes\n", "\x3C\xA5"},
        {"mem2bin wide.txt out.bin --width=16", "width 16 bits, depth 3 words, size 6 bytes\n",
         std::string("\x34\x12\x05\0\x02\x01", 6)},
        {"mem2bin short.txt out.bin", "Error: ((width + 3)/4) == (line.size() - 2)\n", ""},
        {"mem2bin over.txt out.bin --width=8",
         "Error: Line 3 of memory file over.txt holds a value of 9 bits, wider than its word of 8 bits\n", ""},
        {"mem2bin narrow.txt out.bin",
         "Error: Line 2 of memory file narrow.txt holds a value of 3 bits, wider than its word of 1 bit\n", ""},
        {"dat2rbf in.dat out.bin", "8 bytes\n", "\1\2\3\4\5\6\7\x08"},
        {"dat2rbf empty.txt out.bin", "Error: empty.txt is empty\n", ""},
        {"rbf2dat in.rbf out.bin", "5 bytes, 2 lines\n", "04030201\n05\n"},
        {"rbf2dat in.rbf out.bin --bytes_per_line=2", "5 bytes, 3 lines\n", "0201\n0403\n05\n"},
        {"icd2bin hex.icd out.bin", "32 bits, 4 bytes\n", "\x0F\xF0\xF0\x0F"},
        {"icd2bin hex.icd out.bin --last_line_first", "32 bits, 4 bytes\n", "\xF0\x0F\x0F\xF0"},
        {"icd2bin bits.icd out.bin --binary --allow_z", "6 bits, 1 byte\n", "\x21"},
        {"icd2bin bits.icd out.bin --binary --allow_z --highest_bit_first", "6 bits, 1 byte\n", "\x18"},
        {"icd2bin bits.icd out.bin --binary", "Error: Invalid char: Z\n", ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir.file("out.bin"));
        RUN_RESULT result = run_tool(dir, c.command);
        EXPECT_EQ(c.bytes.empty() ? 2 : 0, result.exit_code) << c.command;
        EXPECT_EQ(c.printed, result.output) << c.command;
        EXPECT_EQ(!c.bytes.empty(), std::filesystem::exists(dir.file("out.bin"))) << c.command;
        EXPECT_EQ(c.bytes, read_file(dir.file("out.bin"))) << c.command;
    }

    // A failed run leaves an older output file as it was, and no temporary file.
    size_t entries = entry_count(dir);
    write_file(dir.file("old.bin"), "old content");
    for (const char* command : {"hex2bin bad.hex old.bin", "mem2bin short.txt old.bin", "hexinfo bad.hex"})
        EXPECT_EQ(2, run_tool(dir, command).exit_code) << command;
    EXPECT_EQ("old content", read_file(dir.file("old.bin")));
    EXPECT_EQ(entries + 1, entry_count(dir));
}

TEST(PgmtoolFiles, MifMessages)
{
    TEMP_DIR dir;
    write_file(dir.file("rom.mif"), MIF);
    RUN_RESULT sized = run_tool(dir, "mif2bin rom.mif out.bin --required_size=4");
    EXPECT_EQ(0, sized.exit_code);
    EXPECT_EQ(0u, sized.output.find("Warning (18094): Memory depth (2) in the Memory Initialization File \"" +
                                    dir.file("rom.mif") + "\" is less than the flash memory depth (4)."));
    EXPECT_EQ("\xA1\xFA", read_file(dir.file("out.bin")));

    std::string bad_mif = MIF;
    bad_mif.replace(bad_mif.find("3 : F"), 5, "3 : G");
    write_file(dir.file("bad.mif"), bad_mif);
    RUN_RESULT bad = run_tool(dir, "mif2bin bad.mif bad.bin");
    EXPECT_EQ(2, bad.exit_code);
    EXPECT_EQ("Info (17924): Found invalid character in MIF file " + dir.file("bad.mif") +
                  "\nError: bad.mif could not be read\n",
              bad.output);
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.bin")));

    // A file beyond the word limit is refused with the reason, which names
    // the setting that raises the limit.
    write_file(dir.file("big.mif"), "WIDTH=1;\nDEPTH=4194305;\nCONTENT BEGIN\nEND;\n");
    const std::string invalid = " is not a valid Memory Initialization File\n";
    const std::string limit = " is above the limit of ";
    const std::string setting = " words (setting PGM_MIF_MAX_WORDS)\n";
    const std::pair<const char*, std::string> refused[] = {
        {"mif2bin big.mif bad.bin", "Info (17925): File " + dir.file("big.mif") + invalid +
                                        "Error: big.mif could not be read: line 3: DEPTH 4194305" + limit + "4194304" +
                                        setting},
        {"mif2bin rom.mif bad.bin --ini=PGM_MIF_MAX_WORDS=3", "Info (17925): File " + dir.file("rom.mif") + invalid +
                                                                  "Error: rom.mif could not be read: line 6: DEPTH 4" +
                                                                  limit + "3" + setting},
    };
    for (const auto& c : refused) {
        RUN_RESULT result = run_tool(dir, c.first);
        EXPECT_EQ(2, result.exit_code) << c.first;
        EXPECT_EQ(c.second, result.output) << c.first;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.bin")));
    EXPECT_EQ(0, run_tool(dir, "mif2bin rom.mif out.bin --ini=PGM_MIF_MAX_WORDS=4").exit_code);
}

TEST(PgmtoolFiles, MissingInputsUsageAndHelp)
{
    TEMP_DIR dir;
    std::filesystem::create_directory(dir.file("folder"));
    for (const char* command : {"hex2bin", "hexinfo", "mif2bin", "mem2bin", "dat2rbf", "rbf2dat", "icd2bin"}) {
        std::string output = std::string(command) == "hexinfo" ? "" : " out.bin";
        RUN_RESULT missing = run_tool(dir, command + (" missing" + output));
        EXPECT_EQ(2, missing.exit_code) << command;
        EXPECT_EQ("Error: Can't open missing: No such file or directory\n", missing.output) << command;
        RUN_RESULT folder = run_tool(dir, command + (" folder" + output));
        EXPECT_EQ(2, folder.exit_code) << command;
        EXPECT_EQ("Error: Can't open folder: not a regular file\n", folder.output) << command;

        RUN_RESULT count = run_tool(dir, std::string(command) + " a b c");
        EXPECT_EQ(1, count.exit_code) << command;
        EXPECT_EQ(0u, count.output.find(std::string("Error: ") + command + " expects")) << command;
        RUN_RESULT help = run_tool(dir, std::string(command) + " --help");
        EXPECT_EQ(0, help.exit_code) << command;
        EXPECT_NE(std::string::npos, help.output.find(std::string("pgmtool ") + command + " IN.")) << command;
    }
    EXPECT_EQ(1u, entry_count(dir));

    write_file(dir.file("in.rbf"), "\x01");
    const std::pair<const char*, const char*> usage[] = {
        {"rbf2dat in.rbf out.dat --bytes_per_line=0", "Error: --bytes_per_line must be at least 1, not 0\n"},
        {"mem2bin in.rbf out.bin --width=-8", "Error: --width must be at least 0, not -8\n"},
        {"mif2bin in.rbf out.bin --required_size=-1", "Error: --required_size must be at least 0, not -1\n"},
        {"hex2bin in.rbf out.bin --max_size=0",
         "Error: --max_size must be a number of bytes above 0, optionally with K, M or G, not \"0\"\n"},
        {"hex2bin in.rbf out.bin --max_size=2T",
         "Error: --max_size must be a number of bytes above 0, optionally with K, M or G, not \"2T\"\n"},
        {"hex2bin in.rbf out.bin --max_size=-1K",
         "Error: --max_size must be a number of bytes above 0, optionally with K, M or G, not \"-1K\"\n"},
    };
    for (const auto& line : usage) {
        RUN_RESULT result = run_tool(dir, line.first);
        EXPECT_EQ(1, result.exit_code) << line.first;
        EXPECT_EQ(line.second, result.output) << line.first;
    }
    RUN_RESULT no_folder = run_tool(dir, "rbf2dat in.rbf none/out.dat");
    EXPECT_EQ(2, no_folder.exit_code);
    EXPECT_EQ("Error: Can't write file none/out.dat: No such file or directory\n", no_folder.output);
}

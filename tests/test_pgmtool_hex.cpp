// pgmtool hex2bin as a flash image maker: the gap byte and the address
// range of the image, beside srec_cat and objcopy where they are installed.
#include "test_support.h"

#include <filesystem>

namespace {

// Blocks 0x10-0x15 (two adjacent records), 0x20 and, after an extended
// linear address, 0x10000-0x10001.
const char* const GAPPED = ":040010001122334442\n:0200140055662F\n:010020007768\n"
                           ":020000040001F9\n:020000008899DD\n:00000001FF\n";

// Runs hex2bin with the arguments on IN.hex into out.bin; the bytes written,
// or what it printed on standard error when it failed with the exit code.
struct HEX2BIN_CASE {
    std::string arguments;
    int exit_code;
    std::string result; // the image, standard error, or for exit code 1 the reason
};

void expect_hex2bin(const TEMP_DIR& dir, const std::vector<HEX2BIN_CASE>& cases)
{
    for (const HEX2BIN_CASE& c : cases) {
        std::filesystem::remove(dir.file("out.bin"));
        RUN_RESULT run = run_pgmtool("hex2bin IN.hex out.bin " + c.arguments, dir.path());
        EXPECT_EQ(c.exit_code, run.exit_code) << c.arguments;
        EXPECT_EQ(c.exit_code == 0 ? c.result : "", read_file(dir.file("out.bin"))) << c.arguments;
        std::string error = c.exit_code == 0 ? "" : c.result;
        if (c.exit_code == 1)
            error = "pgmtool: error: " + c.result + "\nTry \"pgmtool hex2bin --help\" for more information.\n";
        EXPECT_EQ(error, run.error) << c.arguments;
    }
}

std::string bytes(std::initializer_list<int> values)
{
    std::string text;
    for (int value : values)
        text += char(value);
    return text;
}

bool installed(const char* tool)
{
    return run_command(std::string("command -v ") + tool).exit_code == 0;
}

} // namespace

TEST(PgmtoolHex, FillStartAndEnd)
{
    TEMP_DIR dir;
    write_file(dir.file("IN.hex"), GAPPED);
    std::string erased(0x10002 - 0x10, '\xFF');
    erased.replace(0, 6, "\x11\x22\x33\x44\x55\x66");
    erased[0x10] = '\x77';
    erased.replace(0xFFF0, 2, "\x88\x99");
    const std::string forms = " (decimal, or hexadecimal after 0x), not \"";
    const std::string byte_value = "--fill must be a byte value, 0 to 255" + forms;
    expect_hex2bin(dir, {
        {"--fill=0xFF", 0, erased},
        {"--fill 255", 0, erased},
        // Data outside the range are cut, and the range is padded.
        {"--fill=0xff --start=0x12 --end=0x22",
         0, bytes({0x33, 0x44, 0x55, 0x66}) + std::string(10, '\xFF') + bytes({0x77, 0xFF})},
        {"--start=0x0E --end=0x12", 0, bytes({0, 0, 0x11, 0x22})},
        {"--start=65537", 0, bytes({0x99})},
        {"--end=0x12", 0, bytes({0x11, 0x22})},
        {"--start=0 --end=8 --fill=7", 0, std::string(8, '\7')},
        {"--start=0x10002", 2, "IN.hex: error: the file holds no data bytes at or above --start (0x00010002)\n"},
        {"--end=16", 2, "IN.hex: error: the file holds no data bytes below --end (0x00000010)\n"},
        {"--start=0 --end=0x40000001", 2,
         "IN.hex: error: the image would take 1073741825 bytes, more than --max-size allows (1073741824 bytes)\n"},
        {"--fill=256", 1, byte_value + "256\""},
        {"--fill=0x100", 1, byte_value + "0x100\""},
        {"--fill=ff", 1, byte_value + "ff\""},
        {"--fill=-1", 1, byte_value + "-1\""},
        // srec_cat and objcopy read a leading zero as octal: refused rather than read otherwise.
        {"--fill=010", 1, byte_value + "010\""},
        {"--start=0x100000000", 1,
         "--start must be an address, 0x0 to 0xFFFFFFFF" + forms + "0x100000000\""},
        {"--end=0", 1, "--end must be an address, 0x1 to 0x100000000" + forms + "0\""},
        {"--end=0x20 --start=0x20", 1, "--end (0x20) must be above --start (0x20)"},
    });

    // The command line is checked before the file is read.
    EXPECT_EQ(1, run_pgmtool("hex2bin nosuch.hex out.bin --end=0x100000001", dir.path()).exit_code);

    // A file of no data bytes gives an image only of a range given whole.
    write_file(dir.file("IN.hex"), ":00000001FF\n");
    expect_hex2bin(dir, {{"--start=0 --end=4 --fill=0xFF", 0, std::string(4, '\xFF')},
                         {"--end=4", 2, "IN.hex: error: the file holds no data bytes\n"}});
    // The last byte of the address space; a run from 0 padded at its end.
    write_file(dir.file("IN.hex"), ":0100000001FE\n:02000004FFFFFC\n:01FFFF0002FF\n:00000001FF\n");
    expect_hex2bin(dir, {{"--start=0xFFFFFFFF", 0, bytes({2})},
                         {"--start=0xFFFFFFFE --end=0x100000000 --fill=3", 0, bytes({3, 2})}});
    // Blocks out of address order, and a later block over an earlier one.
    write_file(dir.file("IN.hex"), hex_record(0x20, 0, {0xA}) + "\n" + hex_record(0x10, 0, {1, 2, 3, 4}) + "\n" +
                                       hex_record(0x10, 0, {9}) + "\n" + hex_record(0, 1, {}) + "\n");
    std::string reordered = bytes({9, 2, 3, 4}) + std::string(12, '\xFF') + bytes({0xA});
    expect_hex2bin(dir, {{"--fill=0xFF", 0, reordered}, {"--fill=0xFF --start=0x11", 0, reordered.substr(1)}});
    write_file(dir.file("IN.hex"), ":0400000001020304F2\n:0100040005F6\n:00000001FF\n");
    expect_hex2bin(dir, {{"--continuous --end=8 --fill=0xFF", 0, bytes({1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF})}});
    EXPECT_EQ(0, run_pgmtool("hex2bin IN.hex out.bin --start=2", dir.path()).exit_code);
    EXPECT_EQ("lowest address 0x00000002, size 3 bytes\n", run_pgmtool("hex2bin IN.hex - --start=2", dir.path()).error);
}

// The same images as srec_cat -crop/-fill and objcopy --gap-fill/--pad-to
// make, on a file of several segments in no order, with gaps.
TEST(PgmtoolHex, SameImagesAsSrecCatAndObjcopy)
{
    if (!installed("srec_cat") || !installed("objcopy"))
        GTEST_SKIP() << "srec_cat or objcopy is not installed (scripts/install-deps.sh installs them)";
    TEMP_DIR dir;
    std::string text = hex_record(0, 4, {0, 2}) + "\n";
    for (DWORD offset = 0xFF00; offset < 0x10000; offset += 0x20)
        text += hex_record(offset, 0, std::vector<BYTE>(0x20, BYTE(offset >> 5))) + "\n";
    text += hex_record(0, 4, {0, 3}) + "\n" + hex_record(0x10, 0, {0xA1, 0xA2, 0xA3}) + "\n";
    text += hex_record(0, 4, {0, 1}) + "\n" + hex_record(0x8000, 0, {0xB1, 0xB2}) + "\n";
    text += hex_record(0xFFFE, 0, {0xC1, 0xC2}) + "\n" + hex_record(0, 1, {});
    write_file(dir.file("IN.hex"), text + "\n");
    const struct {
        const char* range; // hex2bin's --start and --end
        std::string srec_cat;
    } cases[] = {
        {"--start=0x18000 --end=0x30013", "-crop 0x18000 0x30013 -fill 0xFF 0x18000 0x30013 -offset -0x18000"},
        {"--start=0x10000 --end=0x40000", "-crop 0x10000 0x40000 -fill 0xFF 0x10000 0x40000 -offset -0x10000"},
        {"--start=0x2FF10 --end=0x2FF20", "-crop 0x2FF10 0x2FF20 -fill 0xFF 0x2FF10 0x2FF20 -offset -0x2FF10"},
        {"--start=0x18001", "-crop 0x18001 0x30013 -fill 0xFF 0x18001 0x30013 -offset -0x18001"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(0, run_command("cd " + dir.path() + " && srec_cat IN.hex -intel " + c.srec_cat +
                                 " -o srec.bin -binary").exit_code)
            << c.srec_cat;
        ASSERT_EQ(0, run_pgmtool(std::string("hex2bin IN.hex out.bin --fill=0xFF ") + c.range, dir.path()).exit_code);
        EXPECT_EQ(read_file(dir.file("srec.bin")), read_file(dir.file("out.bin"))) << c.range;
    }
    for (const char* end : {"0x30013", "0x30100"}) {
        ASSERT_EQ(0, run_command("cd " + dir.path() + " && objcopy -I ihex -O binary --gap-fill 0xFF --pad-to " +
                                 end + " IN.hex objcopy.bin").exit_code);
        ASSERT_EQ(0, run_pgmtool(std::string("hex2bin IN.hex out.bin --fill=0xFF --end=") + end, dir.path()).exit_code);
        EXPECT_EQ(read_file(dir.file("objcopy.bin")), read_file(dir.file("out.bin"))) << end;
    }
}

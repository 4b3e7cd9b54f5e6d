// Whole-file input, the full-path streams and the bitstream converters.
#include "test_support.h"

#include <cctype>

#include <zlib.h>

namespace {

void write_gzip(const std::string& path, const std::string& content)
{
    gzFile file = gzopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    gzwrite(file, content.data(), unsigned(content.size()));
    gzclose(file);
}

std::string bin_file(const std::string& path)
{
    DWORD size = 1234;
    std::unique_ptr<BYTE[]> data(PGM_COMMON::pgm_open_input_bin_file(path, size));
    if (!data)
        return size == 0 ? "<null>" : "<null, size set>";
    EXPECT_EQ(0, data[size]);
    return std::string(reinterpret_cast<char*>(data.get()), size);
}

std::vector<BYTE> icd(const std::string& path, DWORD& bits, bool binary, bool first_line_first, bool lowest_first,
                      bool allow_z = false)
{
    std::unique_ptr<BYTE[]> data(
        PGM_COMMON::parse_icd_file(path, bits, binary, first_line_first, lowest_first, allow_z));
    return std::vector<BYTE>(data.get(), data.get() + (bits + 7) / 8);
}

} // namespace

TEST(InputFiles, TextLinesPlainAndCompressed)
{
    TEMP_DIR dir;
    std::vector<std::string> lines = {"stale"};
    EXPECT_FALSE(PGM_COMMON::pgm_open_input_file(dir.file("missing"), lines, 0, true));
    EXPECT_TRUE(lines.empty());

    write_file(dir.file("empty"), "");
    EXPECT_FALSE(PGM_COMMON::pgm_open_input_file(dir.file("empty"), lines, 0, false));
    EXPECT_TRUE(PGM_COMMON::pgm_open_input_file(dir.file("empty"), lines, 0, true));
    EXPECT_TRUE(lines.empty());

    write_file(dir.file("text"), "a\n\nb\r\nlast");
    EXPECT_TRUE(PGM_COMMON::pgm_open_input_file(dir.file("text"), lines, 0, false));
    EXPECT_EQ((std::vector<std::string>{"a", "b\r", "last"}), lines);
    EXPECT_TRUE(PGM_COMMON::pgm_open_input_file(dir.file("text"), lines, 0, false, true));
    EXPECT_EQ((std::vector<std::string>{"a", "", "b\r", "last"}), lines);
    // The protected forms read as their stored text lines.
    EXPECT_TRUE(PGM_COMMON::pgm_open_input_file(dir.file("text"), lines, 1, false));
    EXPECT_EQ(3u, lines.size());

    write_gzip(dir.file("text.gz"), "one\ntwo\n");
    EXPECT_TRUE(PGM_COMMON::pgm_open_input_file(dir.file("text.gz"), lines, 0, false));
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), lines);

    // Damaged compressed data are a failed read, not a shorter text.
    std::string compressed = read_file(dir.file("text.gz"));
    write_file(dir.file("cut.gz"), compressed.substr(0, compressed.size() - 6));
    EXPECT_FALSE(PGM_COMMON::pgm_open_input_file(dir.file("cut.gz"), lines, 0, false));
    EXPECT_TRUE(lines.empty());
}

TEST(InputFiles, WholeBinaryFilesPlainAndCompressed)
{
    TEMP_DIR dir;
    EXPECT_EQ("<null>", bin_file(dir.file("missing")));
    write_file(dir.file("empty"), "");
    EXPECT_EQ("<null>", bin_file(dir.file("empty")));
    std::string bytes("\x1f\x00\xff\r\n", 5);
    write_file(dir.file("plain"), bytes);
    EXPECT_EQ(bytes, bin_file(dir.file("plain")));

    // More than one chunk of decompressed data, and an exact multiple.
    std::string big;
    for (DWORD i = 0; i < 3 * PGM_COMMON::BUFFER_SIZE + 17; ++i)
        big += char(i * 7 / 3);
    write_gzip(dir.file("big.gz"), big);
    EXPECT_EQ(big, bin_file(dir.file("big.gz")));
    write_gzip(dir.file("exact.gz"), big.substr(0, 2 * PGM_COMMON::BUFFER_SIZE));
    EXPECT_EQ(big.substr(0, 2 * PGM_COMMON::BUFFER_SIZE), bin_file(dir.file("exact.gz")));

    std::string compressed = read_file(dir.file("big.gz"));
    write_file(dir.file("cut.gz"), compressed.substr(0, compressed.size() / 2));
    EXPECT_EQ("<null>", bin_file(dir.file("cut.gz")));
    write_gzip(dir.file("nothing.gz"), "");
    EXPECT_EQ("<null>", bin_file(dir.file("nothing.gz"))); // a bad user file, as an empty plain one
}

TEST(InputFiles, FullPathStreams)
{
    TEMP_DIR dir;
    std::brisol_ofstream out(dir.file("s.bin"), std::ios::out | std::ios::binary);
    out << "abc";
    out.close();
    std::brisol_ifstream in(dir.file("s.bin"), std::ios::in | std::ios::binary);
    std::string text;
    in >> text;
    EXPECT_EQ("abc", text);
    std::brisol_ifstream missing(dir.file("none"));
    EXPECT_TRUE(missing.fail());
    std::brisol_ifstream null_path(static_cast<const char*>(nullptr));
    EXPECT_TRUE(null_path.fail());
}

TEST(Bitstreams, DatFilesBothWays)
{
    TEMP_DIR dir;
    const BYTE data[] = {0x01, 0x02, 0x03, 0x04, 0xAB};
    PGM_COMMON::print_dat_file(dir.file("a.dat"), data, 4, 2, "made by test", true);
    EXPECT_EQ("0201\t// made by test\n0403\n", read_file(dir.file("a.dat")));
    PGM_COMMON::print_dat_file(dir.file("a.dat"), data, 5, 2, "", false);
    EXPECT_EQ("0201\t// made by test\n0403\n0201\n0403\nAB\n", read_file(dir.file("a.dat")));

    write_file(dir.file("b.dat"), "# header\n0201 // first\n\n  0403\r\n");
    DWORD size = 0;
    std::unique_ptr<BYTE[]> bytes(PGM_COMMON::convert_dat_to_rbf(dir.file("b.dat"), size));
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3, 4}), std::vector<BYTE>(bytes.get(), bytes.get() + size));

    // What print_dat_file writes reads back, a shorter last line included.
    for (DWORD per_line : {1u, 3u, 4u}) {
        for (DWORD count : {1u, per_line - 1, per_line + 1, 2 * per_line}) {
            if (count == 0)
                continue;
            std::vector<BYTE> image(count);
            for (DWORD i = 0; i < count; ++i)
                image[i] = BYTE(0x11 * (i + 1));
            PGM_COMMON::print_dat_file(dir.file("r.dat"), image.data(), count, per_line, "", true);
            bytes.reset(PGM_COMMON::convert_dat_to_rbf(dir.file("r.dat"), size));
            EXPECT_EQ(image, std::vector<BYTE>(bytes.get(), bytes.get() + size)) << count << " by " << per_line;
        }
    }

    struct CASE {
        const char* text;
        std::string error; // after "PATH:"
    };
    const std::string fewer = ", the first line 2; only the last line may hold fewer";
    const CASE cases[] = {
        {"// nothing\n", "Empty DAT file"},
        {"0201\n04G3\n", "2: the line is not a word of hexadecimal digits"},
        {"0201\n\n040302 # long\n05\n", "3: the line holds 3 bytes" + fewer},
        {"0201\n04\n0605\n", "2: the line holds 1 byte" + fewer},
        {"", "pgm_open_input_file(filepath.c_str(), input, 0, false)"},
    };
    for (const CASE& c : cases) {
        write_file(dir.file("c.dat"), c.text);
        bool located = std::isdigit(static_cast<unsigned char>(c.error[0]));
        EXPECT_INTERNAL_ERROR(PGM_COMMON::convert_dat_to_rbf(dir.file("c.dat"), size),
                              (located ? dir.file("c.dat") + ":" : "") + c.error);
    }
    EXPECT_INTERNAL_ERROR(PGM_COMMON::print_dat_file(stdout, data, 0, 2, ""),
                          "output != NULL && data != NULL && data_byte_size > 0 && byte_per_line > 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::print_dat_file("", data, 4, 2, "", true), "filepath.size() > 0");
    // A failed write leaves the old file as it was.
    EXPECT_INTERNAL_ERROR(PGM_COMMON::print_dat_file(dir.file("a.dat"), data, 4, 0, "", true),
                          "output != NULL && data != NULL && data_byte_size > 0 && byte_per_line > 0");
    EXPECT_EQ("0201\t// made by test\n0403\n0201\n0403\nAB\n", read_file(dir.file("a.dat")));
}

TEST(Bitstreams, BitMatrixText)
{
    TEMP_DIR dir;
    const std::string path = dir.file("m.txt");
    const BYTE data[] = {0x05, 0x03, 0xFF};
    // Rows of 3 bits from each 8-bit boundary; written last row first.
    PGM_COMMON::print_bin_text_file(path, data, 3, 3, 3, false, true, 8);
    EXPECT_EQ("111\n110\n101\n", read_file(path));
    PGM_COMMON::print_bin_text_file(path, data, 3, 3, 3, true, false, 8);
    EXPECT_EQ("101\n011\n111\n", read_file(path));
    PGM_COMMON::print_bin_text_file(path, data, 1, 2, 4, false, true, 1);
    EXPECT_EQ("0000\n1010\n", read_file(path));

    EXPECT_INTERNAL_ERROR(PGM_COMMON::print_bin_text_file(path, data, 1, 3, 4, false, true, 1),
                          "(bit + 7)/8 <= data_byte_size");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::print_bin_text_file(path, data, 3, 1, 1, false, true, 0), "alignment > 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::print_bin_text_file("", data, 3, 1, 1, false, true, 1), "filepath.size()");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::print_bin_text_file(path, nullptr, 3, 1, 1, false, true, 1),
                          "data != NULL && data_byte_size > 0");
    EXPECT_INTERNAL_ERROR(PGM_COMMON::print_bin_text_file(path, data, 3, 0, 1, false, true, 1), "row > 0 && col > 0");
    EXPECT_EQ("0000\n1010\n", read_file(path));
}

TEST(Bitstreams, LineEndsAndRawDeflate)
{
    TEMP_DIR dir;
    write_file(dir.file("t.txt"), "a\r\nb\rc\r\n");
    PGM_COMMON::standardize_text_file(dir.file("t.txt"));
    EXPECT_EQ("a\nb\rc\n", read_file(dir.file("t.txt")));
    PGM_COMMON::standardize_text_file(dir.file("missing.txt"));

    for (std::string input : {std::string("x"), std::string(100000, 'a') + "tail"}) {
        DWORD size = 0;
        std::unique_ptr<BYTE[]> packed(
            PGM_COMMON::zlib_compress(reinterpret_cast<const BYTE*>(input.data()), DWORD(input.size()), size, 4));
        ASSERT_TRUE(packed);
        ASSERT_GT(size, 4u);
        EXPECT_EQ(std::vector<BYTE>(4, 0), std::vector<BYTE>(packed.get() + size - 4, packed.get() + size));
        z_stream stream = {};
        ASSERT_EQ(Z_OK, inflateInit2(&stream, -15));
        std::string output(input.size() + 1, '\0');
        stream.next_in = packed.get();
        stream.avail_in = size - 4;
        stream.next_out = reinterpret_cast<BYTE*>(&output[0]);
        stream.avail_out = uInt(output.size());
        EXPECT_EQ(Z_STREAM_END, inflate(&stream, Z_FINISH));
        EXPECT_EQ(size - 4, stream.total_in);
        output.resize(stream.total_out);
        inflateEnd(&stream);
        EXPECT_EQ(input, output);
    }
    DWORD size = 0;
    EXPECT_INTERNAL_ERROR(PGM_COMMON::zlib_compress(nullptr, 3, size, 0), "data != NULL && data_size > 0");
}

TEST(Bitstreams, IcdBitRows)
{
    TEMP_DIR dir;
    const std::string path = dir.file("a.icd");
    write_file(path, "// rows\nA1\n\n3e # second\n");
    DWORD bits = 0;
    // Line bits in writing order: 1010 0001, then 0011 1110.
    EXPECT_EQ((std::vector<BYTE>{0x85, 0x7C}), icd(path, bits, false, true, true));
    EXPECT_EQ(16u, bits);
    EXPECT_EQ((std::vector<BYTE>{0x7C, 0x85}), icd(path, bits, false, false, true));
    EXPECT_EQ((std::vector<BYTE>{0xA1, 0x3E}), icd(path, bits, false, true, false));

    write_file(path, "10z\n1\n");
    EXPECT_EQ((std::vector<BYTE>{0x09}), icd(path, bits, true, true, true, true));
    EXPECT_EQ(4u, bits);
    EXPECT_INTERNAL_ERROR(icd(path, bits, true, true, true), "Invalid char: Z");
    write_file(path, "# nothing\n");
    EXPECT_INTERNAL_ERROR(icd(path, bits, true, true, true), "Invalid ICD input file");
    EXPECT_INTERNAL_ERROR(icd(dir.file("none"), bits, true, true, true),
                          "pgm_open_input_file(filepath.c_str(), input, 0, false)");
}

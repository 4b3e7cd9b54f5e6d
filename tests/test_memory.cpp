// Memory contents: memory initialisation files, flattened hexadecimal
// record files and text memory files.
#include "test_support.h"

#include <map>

namespace {

const std::string END_RECORD = ":00000001FF";

std::string mif(const std::string& header, const std::string& content)
{
    return header + "\nCONTENT BEGIN\n" + content + "\nEND;\n";
}

std::vector<BYTE> data_of(const PGMIO_MIF_READER& reader)
{
    if (!reader.get_data())
        return {};
    return std::vector<BYTE>(reader.get_data(), reader.get_data() + reader.get_byte_size());
}

std::vector<BYTE> hex_data(const std::string& path, DWORD& size, DWORD& lowest)
{
    std::unique_ptr<BYTE[]> data(PGM_COMMON::read_hex_data(path, size, lowest));
    return data ? std::vector<BYTE>(data.get(), data.get() + size) : std::vector<BYTE>{};
}

std::vector<BYTE> continuous(const std::string& path)
{
    DWORD size = 77;
    std::unique_ptr<BYTE[]> data(PGM_COMMON::read_continuous_hex_data(path, size));
    EXPECT_EQ(data == nullptr, size == 0);
    return data ? std::vector<BYTE>(data.get(), data.get() + size) : std::vector<BYTE>{};
}

std::vector<unsigned int> ids_of(const std::vector<MSG_RECORD>& messages)
{
    std::vector<unsigned int> ids;
    for (const MSG_RECORD& m : messages)
        ids.push_back(m.id);
    return ids;
}

std::vector<BYTE> memory(const std::string& path, DWORD& width, DWORD& depth)
{
    DWORD size = 0;
    std::unique_ptr<BYTE[]> data(PGM_COMMON::read_memory_file(path, width, depth, size));
    return std::vector<BYTE>(data.get(), data.get() + size);
}

} // namespace

TEST(MifReader, WordsPackLeastSignificantFirst)
{
    TEMP_DIR dir;
    const std::string path = dir.file("a.mif");
    write_file(path, mif("WIDTH=4; DEPTH=4; DATA_RADIX=HEX;", "0 : 1; 1 : 2 3; 3 : F;"));
    PGMIO_MIF_READER reader;
    reader.set_file(path);
    reader.set_required_size(4);
    bool ok = false;
    std::vector<MSG_RECORD> messages = issued_by([&] { ok = reader.read_mif_file(); });
    EXPECT_TRUE(ok);
    EXPECT_EQ(16u, reader.get_bit_size());
    EXPECT_EQ((std::vector<BYTE>{0x21, 0xF3}), data_of(reader));
    // A file shorter than required warns and still reads.
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(18094u, messages[0].id);
    EXPECT_EQ("Memory depth (2) in the Memory Initialization File \"" + path +
                  "\" is less than the flash memory depth (4). Make sure the Memory Initialization File contains the "
                  "sufficient memory depth values for the flash memory.",
              messages[0].text);

    // Copies share the array.
    PGMIO_MIF_READER copy = reader;
    EXPECT_EQ(reader.get_data(), copy.get_data());

    // Words of every radix, narrower digits than the width, and words far
    // wider than 64 bits.
    struct CASE {
        std::string header, content;
        std::vector<BYTE> bytes;
    };
    const CASE cases[] = {
        {"WIDTH=8; DEPTH=3; DATA_RADIX=BIN;", "0: 101; 2: 11111110;", {0x05, 0x00, 0xFE}},
        {"WIDTH=6; DEPTH=2; DATA_RADIX=OCT;", "0: 77 1;", {0x7F, 0x00}},
        {"WIDTH=8; DEPTH=2; DATA_RADIX=UNS;", "[0..1]: 200;", {200, 200}},
        {"WIDTH=8; DEPTH=2; DATA_RADIX=DEC;", "0: -1 5;", {0xFF, 0x05}},
        {"WIDTH=72; DEPTH=1; DATA_RADIX=HEX;", "0: 123456789ABCDEF0A5;",
         {0xA5, 0xF0, 0xDE, 0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12}},
    };
    for (const CASE& c : cases) {
        write_file(path, mif(c.header, c.content));
        reader.set_required_size(0);
        issued_by([&] { EXPECT_TRUE(reader.read_mif_file()) << c.header; });
        EXPECT_EQ(c.bytes, data_of(reader)) << c.header;
    }
    EXPECT_EQ(0x21, copy.get_data()[0]);
}

// Every failure issues its message, and get_error_text tells the line and
// the reason where the file's text is at fault.
TEST(MifReader, MessagesForBadFiles)
{
    TEMP_DIR dir;
    const std::string path = dir.file("b.mif");
    PGMIO_MIF_READER reader;
    reader.set_file(path);
    const std::string invalid = "17925:File " + path + " is not a valid Memory Initialization File";
    const std::string bad_char = "17924:Found invalid character in MIF file " + path;
    auto run = [&](const std::function<bool()>& read, bool expected, std::vector<std::string> texts,
                   const std::string& reason, char type = 'O') {
        bool ok = !expected;
        std::vector<MSG_RECORD> messages = issued_by([&] { ok = read(); });
        EXPECT_EQ(expected, ok);
        std::vector<std::string> seen;
        for (const MSG_RECORD& m : messages) {
            seen.push_back(std::to_string(m.id) + ":" + m.text);
            EXPECT_EQ(type, m.type);
        }
        EXPECT_EQ(texts, seen);
        EXPECT_EQ(reason, reader.get_error_text());
    };
    auto read = [&] { return reader.read_mif_file(); };
    auto check = [&] { return reader.can_read_mif_file(false); };
    auto check_as_warning = [&] { return reader.can_read_mif_file(true); };

    // A file that cannot be opened has no reason in its text.
    run(read, false, {invalid}, "");
    write_file(path, "WIDTH=8; DEPTH=2; CONTENT BEGIN 0 : 1;");
    run(read, false, {invalid}, "line 1: missing END");
    run(check_as_warning, false, {invalid}, "line 1: missing END", 'W');
    write_file(path, mif("WIDTH=8; DEPTH=2;", "0 : FF;\n1 : 1FF;"));
    run(read, false, {invalid}, "line 4: data word '1FF' is wider than WIDTH 8");

    // Every bad word is shown by a read; a check stops at the first. The
    // reason names the entry of the first.
    write_file(path, mif("WIDTH=8; DEPTH=4; DATA_RADIX=BIN;", "0: 1;\n[1..2]: 12;\n3: 102;"));
    const std::string not_binary = "line 4: a data word holds a character that is not a BIN digit";
    run(read, false, {bad_char, bad_char, bad_char}, not_binary);
    EXPECT_EQ(nullptr, reader.get_data());
    EXPECT_EQ(0u, reader.get_byte_size());
    run(check, false, {bad_char}, not_binary);
    run(check_as_warning, false, {bad_char}, not_binary, 'W');

    write_file(path, mif("WIDTH=8; DEPTH=4;", "0: 12;"));
    run(check, true, {}, "");
    run(read, true, {}, "");
}

TEST(HexData, FlattenedFromTheLowestAddress)
{
    TEMP_DIR dir;
    const std::string path = dir.file("a.hex");
    write_file(path, hex_record(0x100, 0, {1, 2}) + "\n" + hex_record(0x200, 0, {3, 4, 5}) + "\n" +
                         hex_record(0x100, 0, {9}) + "\n" + END_RECORD + "\n");
    DWORD size = 0, lowest = 0;
    std::vector<BYTE> data = hex_data(path, size, lowest);
    EXPECT_EQ(0x103u, size);
    EXPECT_EQ(0x100u, lowest);
    std::vector<BYTE> expected(0x103, 0);
    expected[0] = 9; // a later block at the same start wins
    expected[1] = 2;
    expected[0x100] = 3;
    expected[0x101] = 4;
    expected[0x102] = 5;
    EXPECT_EQ(expected, data);

    // Blocks with no bytes neither fail nor pad the image.
    write_file(path, hex_record(0x10, 0, {7}) + "\n" + hex_record(0, 4, {0, 5}) + "\n" + END_RECORD + "\n");
    EXPECT_EQ((std::vector<BYTE>{7}), hex_data(path, size, lowest));
    EXPECT_EQ(0x10u, lowest);

    // A block that ends at 4 GiB keeps its place; an image that would not
    // fit a 32-bit size is not made.
    const std::string top = hex_record(0, 4, {0xFF, 0xFF}) + "\n" +
                            hex_record(0xFFF0, 0, std::vector<BYTE>(16, 0xEE)) + "\n";
    write_file(path, top + END_RECORD + "\n");
    EXPECT_EQ(std::vector<BYTE>(16, 0xEE), hex_data(path, size, lowest));
    EXPECT_EQ(0xFFFFFFF0u, lowest);

    // Files that give no image give nothing, each with its reason: the
    // reader's message, or 17922 for a file without a usable image.
    const std::string none = dir.file("none.hex");
    const struct {
        std::string text;
        std::vector<unsigned int> ids;
    } cases[] = {
        {hex_record(0, 0, {1}) + "\n" + top + END_RECORD + "\n", {17922}}, // beyond a 32-bit size
        {":0100000001FF\n", {17920, 17922}},
        {hex_record(0, 4, {0, 1}) + "\n" + END_RECORD + "\n", {17922}}, // no data bytes
        {"", {17923}},
    };
    for (const auto& c : cases) {
        // An empty text stands for a missing file.
        std::string file = c.text.empty() ? none : path;
        write_file(path, c.text);
        lowest = 5;
        std::vector<MSG_RECORD> messages =
            issued_by([&] { EXPECT_EQ(std::vector<BYTE>{}, hex_data(file, size, lowest)); });
        EXPECT_EQ(0u, size);
        EXPECT_EQ(0xFFFFFFFFu, lowest);
        EXPECT_EQ(c.ids, ids_of(messages)) << c.text;
        EXPECT_NE(std::string::npos, messages.back().text.find(file)) << c.text;
    }
}

TEST(HexData, ContinuousRunsFromAddressZero)
{
    TEMP_DIR dir;
    const std::string path = dir.file("c.hex");
    auto linear = [](DWORD upper) { return hex_record(0, 4, {BYTE(upper >> 8), BYTE(upper)}) + "\n"; };
    std::vector<BYTE> full(0x10000, 0xA5);
    std::string text;
    for (DWORD offset = 0; offset < 0x10000; offset += 0x20)
        text += hex_record(offset, 0, std::vector<BYTE>(32, 0xA5)) + "\n";
    write_file(path, text + linear(1) + hex_record(0, 0, {1, 2}) + "\n" + linear(2) + END_RECORD + "\n");
    full.push_back(1);
    full.push_back(2);
    EXPECT_EQ(full, continuous(path));

    const std::string broken[] = {
        hex_record(0x10, 0, {1}) + "\n" + END_RECORD + "\n",
        hex_record(0, 0, {1}) + "\n" + linear(1) + hex_record(0, 0, {2}) + "\n" + END_RECORD + "\n",
        hex_record(0, 0, {1}) + "\n" + hex_record(4, 0, {2}) + "\n" + END_RECORD + "\n",
    };
    for (const std::string& file : broken) {
        write_file(path, file);
        std::vector<MSG_RECORD> messages = issued_by([&] { EXPECT_EQ(std::vector<BYTE>{}, continuous(path)); });
        EXPECT_EQ(std::vector<unsigned int>{17922}, ids_of(messages)) << file;
    }
    std::vector<MSG_RECORD> messages =
        issued_by([&] { EXPECT_EQ(std::vector<BYTE>{}, continuous(dir.file("none.hex"))); });
    EXPECT_EQ(std::vector<unsigned int>{17923}, ids_of(messages));
    EXPECT_EQ("Can't save or open file " + dir.file("none.hex"), messages.at(0).text);
}

// Lists of blocks as a caller may hand them in: blocks that overlap in any
// way, in any order. The image is each block painted over the ones before.
TEST(HexData, PiecesAndImageOfOverlappingBlocks)
{
    struct BLOCK_AT {
        DWORD segment_base, start, size;
    };
    const std::vector<std::vector<BLOCK_AT>> lists = {
        {{0, 0x10, 0x10}, {0, 0x18, 0x10}, {0, 0x14, 2}, {0x10000, 0x30, 0}},
        {{0, 0x20, 4}, {0, 0x10, 4}, {0, 0x14, 0xC}, {0, 0x00, 0x40}, {0, 0x08, 4}},
        {{0x100, 0, 8}, {0, 0x108, 8}, {0x200, 0, 1}, {0x1000, 0xFC, 4}},
    };
    for (size_t n = 0; n < lists.size(); ++n) {
        PGMIO_HEX_LIST list;
        std::map<QWORD, BYTE> painted;
        for (const BLOCK_AT& block : lists[n]) {
            BYTE* data = new BYTE[block.size + 1];
            list.push_back(new PGMIO_HEX{block.start, block.start + block.size - 1, block.segment_base, data});
            for (DWORD i = 0; i < block.size; ++i)
                painted[QWORD(block.segment_base) + block.start + i] = data[i] = BYTE(list.size() * 16 + i);
        }
        std::map<QWORD, BYTE> pieced;
        QWORD last_end = 0;
        for (const PGMIO_HEX_PIECE& piece : pgmio_hex_pieces(list)) {
            EXPECT_LE(last_end, piece.address) << n; // in address order, apart
            EXPECT_LT(0u, piece.size) << n;
            last_end = piece.address + piece.size;
            for (QWORD i = 0; i < piece.size; ++i)
                pieced[piece.address + i] = piece.data[i];
        }
        EXPECT_EQ(painted, pieced) << n;

        PGMIO_HEX_EXTENT extent = pgmio_hex_extent(list);
        ASSERT_EQ(painted.begin()->first, extent.lowest) << n;
        ASSERT_EQ(painted.rbegin()->first + 1 - extent.lowest, extent.size) << n;
        std::vector<BYTE> expected(extent.size, 0);
        for (const auto& byte : painted)
            expected[byte.first - extent.lowest] = byte.second;
        std::unique_ptr<BYTE[]> image = pgmio_flatten_hex_blocks(list, extent);
        EXPECT_EQ(expected, std::vector<BYTE>(image.get(), image.get() + extent.size)) << n;
        EXPECT_TRUE(list.empty());
    }
}

// A read that hands the bytes to a sink gives the blocks of a plain read,
// without their data, the same bytes block by block, and the same result
// and messages.
TEST(HexData, SinkGetsTheBytesOfEachBlock)
{
    TEMP_DIR dir;
    const std::string path = dir.file("s.hex");
    const std::string good = hex_record(0x10, 0, {1, 2}) + "\n" + hex_record(0x20, 0, {3}) + "\n" +
                             hex_record(0, 4, {0, 1}) + "\n" + hex_record(0x10, 0, {4, 5, 6}) + "\n" + END_RECORD;
    for (const std::string& text : {good + "\n", good.substr(0, good.size() - END_RECORD.size()),
                                     hex_record(0x10, 0, {1}) + "\n" + hex_record(0x30, 0, {2}) + "\n:0100400003BB\n"}) {
        write_file(path, text);
        auto read = [&](bool with_sink, std::vector<std::vector<DWORD>>& blocks, std::vector<BYTE>& bytes) {
            PGMIO_HEX_READER reader;
            reader.set_file(path);
            bool result = false;
            std::vector<MSG_RECORD> messages = issued_by([&] {
                result = with_sink ? reader.read_hex_file(false, false,
                                                          [&](const PGMIO_HEX& block, const BYTE* data) {
                                                              EXPECT_EQ(nullptr, block.data);
                                                              bytes.insert(bytes.end(), data,
                                                                           data + pgmio_hex_size(block));
                                                          })
                                   : reader.read_hex_file(false, false);
            });
            for (const PGMIO_HEX* block : *reader.get_hex_list()) {
                blocks.push_back({block->segment_base, block->start_address, block->end_address});
                if (!with_sink)
                    bytes.insert(bytes.end(), block->data, block->data + pgmio_hex_size(*block));
                EXPECT_EQ(with_sink, block->data == nullptr);
            }
            pgmio_delete_hex_blocks(*reader.get_hex_list());
            return std::make_pair(result, ids_of(messages));
        };
        std::vector<std::vector<DWORD>> plain_blocks, sink_blocks;
        std::vector<BYTE> plain_bytes, sink_bytes;
        EXPECT_EQ(read(false, plain_blocks, plain_bytes), read(true, sink_blocks, sink_bytes)) << text;
        EXPECT_EQ(plain_blocks, sink_blocks) << text;
        EXPECT_EQ(plain_bytes, sink_bytes) << text;
        EXPECT_FALSE(plain_blocks.empty()) << text;
    }
}

TEST(MemoryFile, OneWordPerLine)
{
    TEMP_DIR dir;
    const std::string path = dir.file("m.txt");
    write_file(path, "# words\n0x1A5 // first\nb000100001111\n\n  4095\n");
    DWORD width = 0, depth = 0;
    EXPECT_EQ((std::vector<BYTE>{0xA5, 0x01, 0x0F, 0x01, 0xFF, 0x0F}), memory(path, width, depth));
    EXPECT_EQ(12u, width);
    EXPECT_EQ(3u, depth);

    // A given depth cuts the file or pads it with zero words.
    width = 12;
    depth = 1;
    EXPECT_EQ((std::vector<BYTE>{0xA5, 0x01}), memory(path, width, depth));
    depth = 4;
    EXPECT_EQ((std::vector<BYTE>{0xA5, 0x01, 0x0F, 0x01, 0xFF, 0x0F, 0, 0}), memory(path, width, depth));

    // Values as wide as the word fit, whatever their form.
    write_file(path, "0x3F\n63\nb111111\n");
    width = 6;
    depth = 0;
    EXPECT_EQ((std::vector<BYTE>{0x3F, 0x3F, 0x3F}), memory(path, width, depth));

    struct CASE {
        const char* text;
        DWORD width;
        std::string error;
    };
    const std::string wider = "Line 3 of memory file " + path + " holds a value of ";
    const CASE cases[] = {
        {"0x1F\n0x2\n", 0, path + ":2: the hexadecimal word has 1 digit, but a word of 8 bits needs 2"},
        {"b101\n\nb11\n", 0, path + ":3: the binary word has 2 digits, but a word of 3 bits needs 3"},
        {"0x1\n", 12, path + ":1: the hexadecimal word has 1 digit, but a word of 12 bits needs 3"},
        {"5\n", 65, "width <= 64"},
        {"// only comments\n", 0, "line_count"},
        {"b\n", 0, "bit_size"},
        // A value wider than its word is no word of the file.
        {"# c\n\n300\n", 8, wider + "9 bits, wider than its word of 8 bits"},
        {"b1\n\n5\n", 0, wider + "3 bits, wider than its word of 1 bit"},
        {"0x3F\n// c\n0x40\n", 6, wider + "7 bits, wider than its word of 6 bits"},
        {"0\n1\n-1\n", 63, wider + "64 bits, wider than its word of 63 bits"},
    };
    for (const CASE& c : cases) {
        write_file(path, c.text);
        width = c.width;
        depth = 0;
        EXPECT_INTERNAL_ERROR(memory(path, width, depth), c.error);
    }
    width = depth = 0;
    EXPECT_INTERNAL_ERROR(memory(dir.file("none"), width, depth),
                          ("Fail to read memory file " + dir.file("none")).c_str());
}

// The hexadecimal record file reader: blocks, records, messages.
#include "test_support.h"

#include <filesystem>
#include <random>
#include <sstream>

namespace {

const std::string END_RECORD = ":00000001FF";

std::string linear(DWORD upper)
{
    return hex_record(0, 4, {BYTE(upper >> 8), BYTE(upper)});
}

std::string lines(const std::vector<std::string>& records)
{
    std::string text;
    for (const std::string& record : records)
        text += record + "\n";
    return text;
}

struct BLOCK {
    DWORD start, end, base;
    std::vector<BYTE> data;
    bool operator==(const BLOCK& o) const
    {
        return start == o.start && end == o.end && base == o.base && data == o.data;
    }
};

std::ostream& operator<<(std::ostream& out, const BLOCK& b)
{
    return out << "{" << std::hex << b.start << "," << b.end << "," << b.base << ", " << std::dec << b.data.size()
               << " bytes}";
}

// Reads text as a file; the blocks read, the result and the messages issued.
struct READ {
    bool ok = false;
    std::vector<BLOCK> blocks;
    std::vector<MSG_RECORD> messages;
};

READ read_hex(const std::string& text, bool reverse = false, bool as_warnings = false, DWORD required = 0)
{
    TEMP_DIR dir;
    write_file(dir.file("in.hex"), text);
    PGMIO_HEX_READER reader;
    reader.set_file(dir.file("in.hex"));
    reader.set_required_size(required);
    READ result;
    result.messages = issued_by([&] { result.ok = reader.read_hex_file(reverse, as_warnings); });
    if (reader.get_hex_list()) {
        for (PGMIO_HEX* b : *reader.get_hex_list()) {
            DWORD length = pgmio_hex_size(*b);
            result.blocks.push_back({b->start_address, b->end_address, b->segment_base,
                                     std::vector<BYTE>(b->data, b->data + length)});
        }
        pgmio_delete_hex_blocks(*reader.get_hex_list());
    }
    return result;
}

std::string hex(DWORD value)
{
    std::ostringstream text;
    text << std::uppercase << std::hex << value;
    return text.str();
}

std::string texts(const std::vector<MSG_RECORD>& messages)
{
    std::string all;
    for (const MSG_RECORD& m : messages)
        all += std::to_string(m.id) + m.type + ":" + m.text + "\n";
    return all;
}

} // namespace

TEST(HexReader, BlocksFollowAddressesAndExtendedRecords)
{
    READ r = read_hex(lines({hex_record(0x100, 0, {1, 2}), hex_record(0x102, 0, {3}), hex_record(0x200, 0, {4}),
                             linear(0x0800), hex_record(0x203, 0, {5, 6}), hex_record(0, 2, {0x12, 0x34}),
                             hex_record(0x10, 0, {7}), END_RECORD}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("", texts(r.messages));
    std::vector<BLOCK> expected = {{0x100, 0x102, 0, {1, 2, 3}},
                                   {0x200, 0x200, 0, {4}},
                                   {0x203, 0x204, 0x08000000, {5, 6}},
                                   {0x10, 0x10, 0x12340, {7}}};
    EXPECT_EQ(expected, r.blocks);

    // Lower-case digits, blanks anywhere, CR LF line ends; text before the
    // colon skips the line (and still counts as a line).
    r = read_hex("junk :0100000001FE\r\n : 01 0010 00 ab 44\t\r\n:00000001ff\r\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ((std::vector<BLOCK>{{0x10, 0x10, 0, {0xAB}}}), r.blocks);

    // An extended address record ends the block even when the data go on
    // at the same absolute address; blocks are not merged.
    r = read_hex(lines({hex_record(0xFFFF, 0, {1}), linear(1), hex_record(0, 0, {2}), END_RECORD}));
    EXPECT_EQ(2u, r.blocks.size());

    // Offsets run on past 0xFFFF within one block.
    r = read_hex(lines({hex_record(0xFFF0, 0, std::vector<BYTE>(32, 9)), END_RECORD}));
    ASSERT_EQ(1u, r.blocks.size());
    EXPECT_EQ(0x1000Fu, r.blocks[0].end);
}

TEST(HexReader, EmptyBlocksAndFileEnds)
{
    // Two extended records in a row leave no block between them; an
    // end-of-file record straight after one closes an empty block.
    READ r = read_hex(lines({hex_record(0, 0, {1}), linear(1), linear(2), END_RECORD}));
    EXPECT_TRUE(r.ok);
    std::vector<BLOCK> expected = {{0, 0, 0, {1}}, {0, 0xFFFFFFFF, 0x20000, {}}};
    EXPECT_EQ(expected, r.blocks);

    // A file without an end-of-file record keeps its last block.
    r = read_hex(lines({hex_record(0, 0, {1}), hex_record(8, 0, {2, 3})}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ((std::vector<BLOCK>{{0, 0, 0, {1}}, {8, 9, 0, {2, 3}}}), r.blocks);

    // A record of no bytes at a new address starts an empty block.
    r = read_hex(lines({hex_record(0, 0, {1}), hex_record(0x10, 0, {}), END_RECORD}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ((std::vector<BLOCK>{{0, 0, 0, {1}}, {0x10, 0xF, 0, {}}}), r.blocks);

    // Nothing after the end-of-file record is read.
    r = read_hex(lines({hex_record(0, 0, {1}), END_RECORD, ":zz"}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(1u, r.blocks.size());
}

TEST(HexReader, BitReversalKeepsTheChecksumOfTheFile)
{
    READ r = read_hex(lines({hex_record(0, 0, {0x01, 0x0F, 0xA0}), END_RECORD}), true);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ((std::vector<BYTE>{0x80, 0xF0, 0x05}), r.blocks.at(0).data);
}

TEST(HexReader, MessagesForBrokenFiles)
{
    struct CASE {
        std::string text;
        std::string messages;
    };
    const std::string invalid = " is not a valid Hexadecimal (Orvan-Format) File\n";
    // A gap closes the first block, so the list is not empty when line 3 fails.
    const std::string closed = lines({hex_record(0, 0, {1}), hex_record(8, 0, {2})});
    std::string bad_sum = hex_record(0x10, 0, {1, 2});
    bad_sum.back() = bad_sum.back() == '0' ? '1' : '0';
    const CASE cases[] = {
        {"", "17922O:File IN" + invalid},
        {"no records here\n", "17922O:File IN" + invalid},
        {lines({hex_record(0, 0, {1}), "", bad_sum, END_RECORD}),
         "17920O:Checksum on line 3 does not match expected checksum\n"},
        // A failure before any block was closed names its line, then says
        // that the file gave no block.
        {lines({bad_sum}), "17920O:Checksum on line 1 does not match expected checksum\n17922O:File IN" + invalid},
        {lines({hex_record(0, 0, {1}), ":0100"}),
         "17920O:Checksum on line 2 does not match expected checksum\n17922O:File IN" + invalid},
        // A record of the wrong length for its count is malformed.
        {closed + lines({":0200000001FD", END_RECORD}),
         "17920O:Checksum on line 3 does not match expected checksum\n"},
        {closed + lines({":", END_RECORD}),
         "17920O:Checksum on line 3 does not match expected checksum\n"},
        // Unknown record types fail their sum.
        {closed + lines({":0000000AF6", END_RECORD}),
         "17920O:Checksum on line 3 does not match expected checksum\n"},
        // A line of 1023 characters is read (text is skipped); a longer one stops the read.
        {closed + lines({std::string(1023, 'x'), END_RECORD}), ""},
        {closed + lines({std::string(1024, 'x'), END_RECORD}),
         "17920O:Checksum on line 3 does not match expected checksum\n"},
        // A record longer than 1023 characters stops the read.
        {closed + lines({hex_record(0, 0, {2}) + std::string(1100, '0'), END_RECORD}),
         "17920O:Checksum on line 3 does not match expected checksum\n"},
        // The second block's start comes first.
        {lines({hex_record(0x100, 0, {1, 2, 3, 4}), hex_record(0x102, 0, {5}), END_RECORD}),
         "17921O:Data in HEX File overlaps between data blocks at address 102 and address 100\n"},
        {lines({hex_record(0x102, 0, {1}), hex_record(0x100, 0, {1, 2, 3, 4}), END_RECORD}),
         "17921O:Data in HEX File overlaps between data blocks at address 100 and address 102\n"},
        // Of the earlier blocks, the first in the file is named.
        {lines({hex_record(0x108, 0, {1}), hex_record(0x100, 0, {1, 2, 3, 4}),
                hex_record(0xF0, 0, std::vector<BYTE>(0x20, 0)), END_RECORD}),
         "17921O:Data in HEX File overlaps between data blocks at address F0 and address 108\n"},
        // Blocks that begin at the same address are not reported.
        {lines({hex_record(0x100, 0, {1}), hex_record(0x200, 0, {1}), hex_record(0x100, 0, {1, 2}), END_RECORD}),
         ""},
    };
    for (const CASE& c : cases) {
        TEMP_DIR dir;
        write_file(dir.file("IN"), c.text);
        PGMIO_HEX_READER reader;
        reader.set_file(FIO_PATH("IN"));
        std::string cwd = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        bool ok = true;
        std::vector<MSG_RECORD> messages = issued_by([&] { ok = reader.read_hex_file(false, false); });
        std::filesystem::current_path(cwd);
        EXPECT_EQ(c.messages, texts(messages)) << c.text.substr(0, 80);
        EXPECT_EQ(c.messages.empty(), ok);
        if (reader.get_hex_list())
            pgmio_delete_hex_blocks(*reader.get_hex_list());
    }

    // A missing file is posted at once with the path as given.
    PGMIO_HEX_READER reader;
    reader.set_file(FIO_PATH("/no/such/file.hex"));
    std::vector<MSG_RECORD> messages = issued_by([&] { EXPECT_FALSE(reader.read_hex_file(false, false)); });
    EXPECT_EQ("17923E:Can't save or open file /no/such/file.hex\n", texts(messages));
    EXPECT_EQ(nullptr, reader.get_hex_list());
}

// Every field is read whole as hexadecimal digits, each record type has its
// data length, and data stay below 4 GiB; any other record stops the read
// at its line.
TEST(HexReader, RecordsWithForeignDigitsWrongLengthsOrBeyond4GiBStopTheRead)
{
    const std::string closed = lines({hex_record(0, 0, {1}), hex_record(8, 0, {2})});
    std::string letter_in_sum = hex_record(0x30, 0, {0xC3}); // checksum 0C
    letter_in_sum.replace(letter_in_sum.size() - 2, 2, "Cz");
    const std::string refused[] = {
        ":040000001Z2Z3Z4ZF2",    // letters for digits in the data
        ":04-0010001020304F4",    // a signed address
        ":00+01000F0",            // a signed address, no data
        ":0G00000000",            // a letter in the count
        letter_in_sum,            // a letter in the checksum
        ":0400000400010002F8",    // extended linear address of four bytes (summed as two)
        ":0400000200010002FA",    // extended segment address of four bytes (summed as two)
        ":020000030000FB",        // start segment address of two bytes
        ":020000050000F9",        // start linear address of two bytes
        ":01000001AA54",          // end of file with a byte
        linear(0xFFFF) + "\n" + hex_record(0xFFF1, 0, std::vector<BYTE>(16, 1)), // ends past 4 GiB
    };
    for (const std::string& record : refused) {
        READ r = read_hex(closed + lines({record, END_RECORD}));
        EXPECT_FALSE(r.ok) << record;
        std::string line = record.find('\n') == std::string::npos ? "3" : "4";
        EXPECT_EQ("17920O:Checksum on line " + line + " does not match expected checksum\n", texts(r.messages))
            << record;
    }
    // Data may end at 4 GiB exactly; the start records carry four bytes.
    READ r = read_hex(lines({linear(0xFFFF), hex_record(0xFFF0, 0, std::vector<BYTE>(16, 1)),
                             hex_record(0, 3, {1, 2, 3, 4}), hex_record(0, 5, {1, 2, 3, 4}), END_RECORD}));
    EXPECT_TRUE(r.ok) << texts(r.messages);
    EXPECT_EQ((std::vector<BLOCK>{{0xFFF0, 0xFFFF, 0xFFFF0000, std::vector<BYTE>(16, 1)}}), r.blocks);
}

TEST(HexReader, ErrorsAsWarningsAndDepthWarnings)
{
    std::string bad_sum = hex_record(0x10, 0, {1, 2});
    bad_sum.back() = bad_sum.back() == '0' ? '1' : '0';
    READ r = read_hex(lines({hex_record(0, 0, {1}), bad_sum}), false, true, 16);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(2u, r.messages.size());
    EXPECT_EQ("17920W:Checksum on line 2 does not match expected checksum\n", texts({r.messages[0]}));
    // The depth after a failed read is 0.
    EXPECT_EQ(18094u, r.messages[1].id);
    EXPECT_EQ('W', r.messages[1].type);
    EXPECT_EQ(0u, r.messages[1].text.find("Memory depth (0) in the Memory Initialization File \""));
    EXPECT_NE(std::string::npos, r.messages[1].text.find("is less than the flash memory depth (16)."));
    // A failure before any block was closed gives both errors as warnings.
    r = read_hex(lines({bad_sum}), false, true);
    EXPECT_EQ("17920W:Checksum on line 1 does not match expected checksum\n", texts({r.messages.at(0)}));
    EXPECT_EQ(17922u, r.messages.at(1).id);
    EXPECT_EQ('W', r.messages.at(1).type);

    // The depth is the highest end over the blocks, whatever their order.
    std::string text = lines({hex_record(0x20, 0, {1, 2}), hex_record(0x10, 0, {3}), END_RECORD});
    r = read_hex(text, false, false, 0x20);
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(1u, r.messages.size());
    EXPECT_EQ(18093u, r.messages[0].id);
    EXPECT_EQ(0u, r.messages[0].text.find("Memory depth (34) in the Memory Initialization File \""));
    EXPECT_TRUE(read_hex(text, false, false, 0x22).messages.empty());

    // A warning switched off in the message index is not shown.
    MSG_INDEX::get_default_index().suppress(18093);
    EXPECT_TRUE(read_hex(text, false, false, 0x20).messages.empty());
    MSG_INDEX::get_default_index().suppress(18093, false);
}

TEST(HexReader, CopiesShareTheListAndRereadsStartAfresh)
{
    TEMP_DIR dir;
    write_file(dir.file("a.hex"), lines({linear(0x10), hex_record(4, 0, {1}), END_RECORD}));
    write_file(dir.file("b.hex"), lines({hex_record(4, 0, {2}), END_RECORD}));
    PGMIO_HEX_READER reader;
    reader.set_file(dir.file("a.hex"));
    issued_by([&] { EXPECT_TRUE(reader.read_hex_file(false, false)); });
    PGMIO_HEX_LIST* first = reader.get_hex_list();
    {
        PGMIO_HEX_READER copy(reader);
        PGMIO_HEX_READER assigned;
        assigned = copy;
        EXPECT_EQ(first, assigned.get_hex_list());
        assigned.set_file(dir.file("b.hex"));
        issued_by([&] { EXPECT_TRUE(assigned.read_hex_file(false, false)); });
        // A second read starts outside any extended address.
        EXPECT_EQ(0u, assigned.get_hex_list()->at(0)->segment_base);
        pgmio_delete_hex_blocks(*assigned.get_hex_list());
    }
    // The first list outlives the copies.
    EXPECT_EQ(0x100000u, first->at(0)->segment_base);
    pgmio_delete_hex_blocks(*first);

    // A list handed in is released with the reader, once.
    PGMIO_HEX_READER holder;
    holder.set_hex_list(new PGMIO_HEX_LIST);
    holder.set_hex_list(holder.get_hex_list());
    PGMIO_HEX_READER other = holder;
}

// A list the caller has seen and a later read or set_hex_list replaced is
// the caller's to delete; the reader releases the lists it holds and those
// the caller never saw.
TEST(HexReader, ReplacedListsStayWithTheCaller)
{
    TEMP_DIR dir;
    write_file(dir.file("a.hex"), lines({hex_record(4, 0, {1}), END_RECORD}));
    auto delete_list = [](PGMIO_HEX_LIST* list) {
        pgmio_delete_hex_blocks(*list);
        delete list;
    };
    PGMIO_HEX_READER reader;
    reader.set_file(dir.file("a.hex"));
    auto read = [&] { issued_by([&] { EXPECT_TRUE(reader.read_hex_file(false, false)); }); };
    read();
    PGMIO_HEX_LIST* first = reader.get_hex_list();
    read();
    ASSERT_NE(first, reader.get_hex_list());
    EXPECT_EQ(1u, first->size());
    delete_list(first);
    // A list handed in goes back to the caller when a read replaces it.
    PGMIO_HEX_LIST* mine = new PGMIO_HEX_LIST;
    PGMIO_HEX_LIST* second = reader.get_hex_list();
    reader.set_hex_list(mine);
    delete_list(second);
    read();
    delete_list(mine);
    // Lists never looked at are the reader's, blocks and all.
    read();
    read();
    // While a copy still holds a list, it stays with the copies.
    PGMIO_HEX_LIST* shared = reader.get_hex_list();
    {
        PGMIO_HEX_READER copy = reader;
        read();
        EXPECT_EQ(shared, copy.get_hex_list());
        EXPECT_EQ(1u, shared->size());
        pgmio_delete_hex_blocks(*shared);
    }
    pgmio_delete_hex_blocks(*reader.get_hex_list());
}

TEST(HexReader, RecordFieldsAndTheirChecks)
{
    PGMIO_HEX_READER reader;
    std::string count, address, type, data, sum;
    const std::string line = ":0300300002337A1E";
    ASSERT_TRUE(reader.parse_hex_string(&line, &count, &address, &type, &data, &sum));
    EXPECT_EQ((std::vector<std::string>{"03", "0030", "00", "02337A", "1E"}),
              (std::vector<std::string>{count, address, type, data, sum}));
    for (const char* bad : {":", ":0", ":03", ":030030", ":0300300002337A", ":0300300002337A1E00"}) {
        std::string text = bad;
        EXPECT_FALSE(reader.parse_hex_string(&text, &count, &address, &type, &data, &sum)) << bad;
    }
    std::string text = ":0";
    reader.parse_hex_string(&text, &count, &address, &type, &data, &sum);
    EXPECT_EQ(std::string("0\0", 2), count);

    EXPECT_INTERNAL_ERROR(reader.parse_hex_string(nullptr, &count, &address, &type, &data, &sum),
                          "current_string != NULL");
    EXPECT_INTERNAL_ERROR(reader.parse_hex_string(&line, nullptr, &address, &type, &data, &sum),
                          "number_of_string != NULL");
    EXPECT_INTERNAL_ERROR(reader.parse_hex_string(&line, &count, nullptr, &type, &data, &sum),
                          "address_string != NULL");
    EXPECT_INTERNAL_ERROR(reader.parse_hex_string(&line, &count, &address, nullptr, &data, &sum),
                          "type_string != NULL");
    EXPECT_INTERNAL_ERROR(reader.parse_hex_string(&line, &count, &address, &type, nullptr, &sum),
                          "data_string != NULL");
    EXPECT_INTERNAL_ERROR(reader.parse_hex_string(&line, &count, &address, &type, &data, nullptr),
                          "checksum_string != NULL");

    BYTE out[3];
    std::string digits = "01a0FF";
    EXPECT_EQ(3u, reader.interpret_hex_line(digits, 3, out, true));
    EXPECT_EQ("", digits);
    EXPECT_EQ((std::vector<BYTE>{0x80, 0x05, 0xFF}), std::vector<BYTE>(out, out + 3));
    digits = "01";
    EXPECT_INTERNAL_ERROR(reader.interpret_hex_line(digits, 2, out, false), "data_string.size() >= 2");

    std::string blanks = " :\t01 00\r\n";
    reader.remove_extra_chars(blanks);
    EXPECT_EQ(":0100", blanks);
}

// Random files: the fast decoding of data records gives what the record
// functions give, and the overlap found is the first pair a pass over
// every earlier block would report.
TEST(HexReader, RandomFilesAgreeWithTheRecordFunctionsAndPlainOverlapPass)
{
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> records;
        int count = 1 + int(random() % 40);
        for (int i = 0; i < count; ++i) {
            if (random() % 8 == 0)
                records.push_back(linear(random() % 3));
            std::vector<BYTE> data(random() % 20);
            for (BYTE& b : data)
                b = BYTE(random());
            records.push_back(hex_record(DWORD(random() % 0x200), 0, data));
        }
        records.push_back(END_RECORD);
        READ r = read_hex(lines(records));

        // Decode every data record with the record functions.
        PGMIO_HEX_READER plain;
        std::vector<BYTE> expected_bytes, read_bytes;
        for (const std::string& record : records) {
            std::string n, a, t, d, s;
            ASSERT_TRUE(plain.parse_hex_string(&record, &n, &a, &t, &d, &s));
            if (t != "00")
                continue;
            std::vector<BYTE> bytes(d.size() / 2);
            plain.interpret_hex_line(d, DWORD(bytes.size()), bytes.data(), false);
            expected_bytes.insert(expected_bytes.end(), bytes.begin(), bytes.end());
        }
        if (!r.ok && !r.messages.empty() && r.messages[0].id != 17921)
            FAIL() << texts(r.messages);
        for (const BLOCK& b : r.blocks)
            read_bytes.insert(read_bytes.end(), b.data.begin(), b.data.end());
        EXPECT_EQ(expected_bytes, read_bytes);

        std::string expected;
        for (size_t i = 0; i < r.blocks.size() && expected.empty(); ++i) {
            DWORD si = r.blocks[i].base + r.blocks[i].start, ei = r.blocks[i].base + r.blocks[i].end + 1;
            for (size_t j = 0; j < i && expected.empty(); ++j) {
                DWORD sj = r.blocks[j].base + r.blocks[j].start, ej = r.blocks[j].base + r.blocks[j].end + 1;
                if ((sj < si && si < ej) || (si < sj && sj < ei))
                    expected = "17921O:Data in HEX File overlaps between data blocks at address " + hex(si) +
                               " and address " + hex(sj) + "\n";
            }
        }
        EXPECT_EQ(expected, texts(r.messages));
    }
}

TEST(HexReader, ManySmallBlocksWithGaps)
{
    std::string text;
    for (DWORD i = 0; i < 100000; ++i) {
        if (i % 4096 == 0)
            text += linear(i / 4096) + "\n";
        text += hex_record((i % 4096) * 16, 0, {BYTE(i), BYTE(i >> 8)}) + "\n";
    }
    READ r = read_hex(text + END_RECORD + "\n");
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(100000u, r.blocks.size());
    EXPECT_EQ((BLOCK{0x69F0, 0x69F1, 0x180000, {0x9F, 0x86}}), r.blocks[99999]);
}

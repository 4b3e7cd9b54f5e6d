// Files written by other tools: srec_cat and objcopy made the hexadecimal
// record files and memory initialisation files in tests/data/peer from
// image.bin (3000 random bytes):
//   srec_cat image.bin -binary -offset 0x1FF00 -o srec_linear.hex -intel
//   objcopy -I binary -O ihex --change-addresses 0x2FFF8 image.bin objcopy_segment.hex
//   srec_cat image.bin -binary -offset 0x100 image.bin -binary -offset 0x2000 -o srec_gaps.hex -intel -obs=32
//   srec_cat image.bin -binary -o srec_w8.mif -Memory_Initialization_File 8   (and 16)
#include "test_support.h"

namespace {

const std::string PEER = PGM_SOURCE_DIR "/tests/data/peer/";

std::vector<BYTE> image()
{
    return bytes_of(read_file(PEER + "image.bin"));
}

std::vector<BYTE> flattened(const std::string& name, DWORD& lowest)
{
    DWORD size = 0;
    std::unique_ptr<BYTE[]> data(PGM_COMMON::read_hex_data(PEER + name, size, lowest));
    return data ? std::vector<BYTE>(data.get(), data.get() + size) : std::vector<BYTE>{};
}

} // namespace

TEST(PeerFiles, HexRecordFilesOfSrecCatAndObjcopy)
{
    ASSERT_EQ(3000u, image().size());
    DWORD lowest = 0;
    // Extended linear address records (srec_cat).
    EXPECT_EQ(image(), flattened("srec_linear.hex", lowest));
    EXPECT_EQ(0x1FF00u, lowest);
    // Extended segment and start segment address records (objcopy).
    EXPECT_EQ(image(), flattened("objcopy_segment.hex", lowest));
    EXPECT_EQ(0x2FFF8u, lowest);

    const std::vector<BYTE> bytes = image();
    std::vector<BYTE> expected(0x2000 + 3000 - 0x100, 0);
    std::copy(bytes.begin(), bytes.end(), expected.begin());
    std::copy(bytes.begin(), bytes.end(), expected.begin() + 0x1F00);
    EXPECT_EQ(expected, flattened("srec_gaps.hex", lowest));
    EXPECT_EQ(0x100u, lowest);

    // The blocks break where the extended address changes.
    PGMIO_HEX_READER reader;
    reader.set_file(PEER + "srec_linear.hex");
    ASSERT_TRUE(reader.read_hex_file(false, false));
    std::vector<std::vector<DWORD>> blocks;
    for (const PGMIO_HEX* block : *reader.get_hex_list())
        blocks.push_back({block->segment_base, block->start_address, block->end_address});
    pgmio_delete_hex_blocks(*reader.get_hex_list());
    EXPECT_EQ((std::vector<std::vector<DWORD>>{{0x10000, 0xFF00, 0xFFFF}, {0x20000, 0, 3000 - 0x100 - 1}}), blocks);
}

TEST(PeerFiles, MemoryInitialisationFilesOfSrecCat)
{
    PGMIO_MIF_READER reader;
    reader.set_file(PEER + "srec_w8.mif");
    ASSERT_TRUE(reader.read_mif_file());
    EXPECT_EQ(image(), std::vector<BYTE>(reader.get_data(), reader.get_data() + reader.get_byte_size()));

    // srec_cat writes a 16-bit word's first byte as its high half; the
    // reader packs each word least significant bit first.
    reader.set_file(PEER + "srec_w16.mif");
    ASSERT_TRUE(reader.read_mif_file());
    std::vector<BYTE> swapped = image();
    for (size_t i = 0; i + 1 < swapped.size(); i += 2)
        std::swap(swapped[i], swapped[i + 1]);
    EXPECT_EQ(swapped, std::vector<BYTE>(reader.get_data(), reader.get_data() + reader.get_byte_size()));
    EXPECT_EQ(1500u * 16, reader.get_bit_size());
}

// Memory contents as flat byte arrays: a hexadecimal record file flattened
// from its lowest address or as one run from address 0, and a text memory
// file of one word per line.
#include "pgm/h/pgm_common.h"

#include "host/fio.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/h/pgmio_hex_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// The blocks of a hexadecimal record file, released with this object.
class HEX_BLOCKS {
public:
    // Reads the file; false when it is missing or the read fails.
    bool read(const std::string& filepath)
    {
        if (!FIO_FILE_SYSTEM::exists(filepath))
            return false;
        reader_.set_file(filepath);
        if (!reader_.read_hex_file(false, false))
            return false;
        PGM_CHECK_TEXT(reader_.get_hex_list() != NULL, "hex_list != NULL");
        return true;
    }
    ~HEX_BLOCKS() { release(); }

    // The blocks that hold bytes, in file order. An end-of-file record
    // straight after an extended address record closes a block with none.
    std::vector<PGMIO_HEX*> filled() const
    {
        std::vector<PGMIO_HEX*> blocks;
        for (PGMIO_HEX* block : *reader_.get_hex_list()) {
            if (length(*block) > 0)
                blocks.push_back(block);
        }
        return blocks;
    }

    // Drops a block's bytes once they are copied, so that a large image
    // is not held twice over while it is being flattened.
    void release_data(PGMIO_HEX& block)
    {
        released_ += length(block);
        delete[] block.data;
        block.data = nullptr;
        if (released_ >= RETURN_STEP) {
            mem_return_free_memory();
            released_ = 0;
        }
    }

    static DWORD length(const PGMIO_HEX& block) { return pgmio_hex_size(block); }
    static QWORD start(const PGMIO_HEX& block) { return QWORD(block.segment_base) + block.start_address; }

private:
    void release()
    {
        if (reader_.get_hex_list() != nullptr)
            pgmio_delete_hex_blocks(*reader_.get_hex_list());
    }

    static const QWORD RETURN_STEP = QWORD(8) << 20;

    PGMIO_HEX_READER reader_;
    QWORD released_ = 0; // bytes released since memory was last returned
};

// Sets to 0 the bytes of the image that no block covers.
void clear_gaps(std::vector<PGMIO_HEX*> blocks, QWORD lowest, BYTE* image)
{
    std::sort(blocks.begin(), blocks.end(), [](const PGMIO_HEX* a, const PGMIO_HEX* b) {
        return HEX_BLOCKS::start(*a) < HEX_BLOCKS::start(*b);
    });
    QWORD covered = lowest;
    for (const PGMIO_HEX* block : blocks) {
        QWORD start = HEX_BLOCKS::start(*block);
        if (start > covered)
            std::memset(image + (covered - lowest), 0, start - covered);
        covered = std::max(covered, start + HEX_BLOCKS::length(*block));
    }
}

} // namespace

BYTE* PGM_COMMON::read_hex_data(std::string filepath, DWORD& size, DWORD& lowest_address)
{
    size = 0;
    lowest_address = 0xFFFFFFFF;
    HEX_BLOCKS blocks;
    if (!blocks.read(filepath))
        return NULL;
    std::vector<PGMIO_HEX*> filled = blocks.filled();
    if (filled.empty())
        return NULL;
    // Absolute addresses in 64 bits: a block near the top of the address
    // space must not wrap round to the bottom.
    QWORD lowest = QWORD(-1);
    QWORD highest = 0;
    for (const PGMIO_HEX* block : filled) {
        lowest = std::min(lowest, HEX_BLOCKS::start(*block));
        highest = std::max(highest, HEX_BLOCKS::start(*block) + HEX_BLOCKS::length(*block) - 1);
    }
    PGM_CHECK_TEXT(highest >= lowest, "highest_addr >= base_addr");
    if (highest - lowest + 1 > QWORD(DWORD(-1)))
        return NULL;
    // Only the gaps are cleared: clearing the whole image first would
    // hold it in memory twice while the blocks are still there.
    std::unique_ptr<BYTE[]> data(new BYTE[highest - lowest + 1]);
    clear_gaps(filled, lowest, data.get());
    for (PGMIO_HEX* block : filled) {
        std::memcpy(&data[HEX_BLOCKS::start(*block) - lowest], block->data, HEX_BLOCKS::length(*block));
        blocks.release_data(*block);
    }
    size = DWORD(highest - lowest + 1);
    lowest_address = DWORD(lowest);
    return data.release();
}

BYTE* PGM_COMMON::read_continuous_hex_data(std::string filepath, DWORD& size)
{
    size = 0;
    HEX_BLOCKS blocks;
    if (!blocks.read(filepath))
        return NULL;
    QWORD file_size = 0;
    QWORD next_base = 0;
    std::vector<PGMIO_HEX*> filled = blocks.filled();
    for (const PGMIO_HEX* block : filled) {
        if (block->start_address != 0 || block->segment_base != next_base)
            return NULL;
        next_base = QWORD(block->segment_base) + block->end_address + 1;
        file_size += HEX_BLOCKS::length(*block);
    }
    if (file_size == 0 || file_size > QWORD(DWORD(-1)))
        return NULL;
    std::unique_ptr<BYTE[]> data(new BYTE[file_size]);
    PGM_CHECK(data != NULL);
    QWORD data_size = 0;
    for (const PGMIO_HEX* block : filled) {
        std::memcpy(&data[data_size], block->data, HEX_BLOCKS::length(*block));
        data_size += HEX_BLOCKS::length(*block);
    }
    PGM_CHECK(data_size == file_size);
    size = DWORD(file_size);
    return data.release();
}

namespace {

// One word of a memory file as bytes, least significant first, with its
// bit count.
struct MEMORY_WORD {
    std::unique_ptr<BYTE[]> bytes;
    QWORD bits;
};

MEMORY_WORD parse_memory_word(const std::string& line, DWORD& width)
{
    MEMORY_WORD word;
    if (line[0] == 'b') {
        DWORD binary_size = 0;
        word.bytes.reset(PGM_COMMON::convert_binary_string_to_byte_array(line.substr(1), binary_size, false));
        PGM_CHECK(binary_size);
        if (width == 0)
            width = binary_size;
        PGM_CHECK(width > 0);
        PGM_CHECK(width == binary_size);
        word.bits = binary_size;
    } else if (line.compare(0, 2, "0x") == 0) {
        if (width == 0)
            width = DWORD(4 * (line.size() - 2));
        PGM_CHECK(width > 0);
        PGM_CHECK(((width + 3)/4) == (line.size() - 2));
        DWORD byte_size = 0;
        word.bytes.reset(PGM_COMMON::convert_hex_string_to_byte_array(line.substr(2), DWORD(-1), &byte_size));
        word.bits = QWORD(byte_size) * 8;
    } else {
        QWORD value = PGM_COMMON::convert_string_to_qword(line);
        if (width == 0)
            width = 64;
        PGM_CHECK(width > 0);
        PGM_CHECK(width <= 64);
        word.bytes.reset(new BYTE[8]);
        for (int i = 0; i < 8; ++i)
            word.bytes[i] = BYTE(value >> (8 * i));
        word.bits = 64;
    }
    return word;
}

} // namespace

BYTE* PGM_COMMON::read_memory_file(std::string filepath, DWORD& width, DWORD& depth, DWORD& size)
{
    std::vector<std::string> input;
    if (!pgm_open_input_file(filepath, input, 0, false))
        PGM_FAIL("Fail to read memory file %s", filepath.c_str());
    std::vector<std::string> lines;
    for (const std::string& line : input) {
        std::string word = get_rid_white_space_and_comment(line, {"//", "#"});
        if (!word.empty())
            lines.push_back(word);
    }
    DWORD line_count = DWORD(lines.size());
    PGM_CHECK(line_count);
    if (depth == 0)
        depth = line_count;
    std::unique_ptr<BYTE[]> data;
    QWORD word_bytes = 0;
    for (DWORD i = 0; i < std::min(line_count, depth); ++i) {
        MEMORY_WORD word = parse_memory_word(lines[i], width);
        if (i == 0) {
            word_bytes = (QWORD(width) + 7) / 8;
            PGM_CHECK_TEXT(word_bytes * depth <= QWORD(DWORD(-1)), "Memory file size exceeds 32 bits");
            data.reset(new BYTE[word_bytes * depth]());
            size = DWORD(word_bytes * depth);
        }
        // Bit j of the word goes to bit j of its area, for the word's width.
        BYTE* area = &data[i * word_bytes];
        for (QWORD j = 0; j < width && j < word.bits; ++j) {
            if (word.bytes[j / 8] & (1u << (j % 8)))
                area[j / 8] |= BYTE(1u << (j % 8));
        }
    }
    return data.release();
}

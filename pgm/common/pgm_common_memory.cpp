// Memory contents as flat byte arrays: a hexadecimal record file flattened
// from its lowest address or as one run from address 0, and a text memory
// file of one word per line.
#include "pgm/h/pgm_common.h"

#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_common_catalogue.h"
#include "pgm/h/pgmio_hex_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// The blocks of a hexadecimal record file, released with this object.
class HEX_BLOCKS {
public:
    // Reads the file; false when the read fails, with the reader's message
    // (17923 for a file that is missing or cannot be opened).
    bool read(const std::string& filepath)
    {
        reader_.set_file(filepath);
        if (!reader_.read_hex_file(false, false))
            return false;
        PGM_CHECK_TEXT(reader_.get_hex_list() != NULL, "hex_list != NULL");
        return true;
    }
    ~HEX_BLOCKS()
    {
        if (reader_.get_hex_list() != nullptr)
            pgmio_delete_hex_blocks(*reader_.get_hex_list());
    }

    PGMIO_HEX_LIST& list() { return *reader_.get_hex_list(); }

private:
    PGMIO_HEX_READER reader_;
};

QWORD length(const PGMIO_HEX& block)
{
    return pgmio_hex_size(block);
}

QWORD start(const PGMIO_HEX& block)
{
    return QWORD(block.segment_base) + block.start_address;
}

// The blocks that hold bytes, in list order. An end-of-file record
// straight after an extended address record closes a block with none.
std::vector<PGMIO_HEX*> filled(const PGMIO_HEX_LIST& list)
{
    std::vector<PGMIO_HEX*> blocks;
    for (PGMIO_HEX* block : list) {
        if (length(*block) > 0)
            blocks.push_back(block);
    }
    return blocks;
}

// Sets to 0 the bytes of the image that no block covers.
void clear_gaps(std::vector<PGMIO_HEX*> blocks, QWORD lowest, BYTE* image)
{
    std::sort(blocks.begin(), blocks.end(),
              [](const PGMIO_HEX* a, const PGMIO_HEX* b) { return start(*a) < start(*b); });
    QWORD covered = lowest;
    for (const PGMIO_HEX* block : blocks) {
        if (start(*block) > covered)
            std::memset(image + (covered - lowest), 0, start(*block) - covered);
        covered = std::max(covered, start(*block) + length(*block));
    }
}

} // namespace

PGMIO_HEX_EXTENT pgmio_hex_extent(const PGMIO_HEX_LIST& list)
{
    QWORD lowest = QWORD(-1);
    QWORD end = 0;
    for (const PGMIO_HEX* block : filled(list)) {
        lowest = std::min(lowest, start(*block));
        end = std::max(end, start(*block) + length(*block));
    }
    return end == 0 ? PGMIO_HEX_EXTENT{0, 0} : PGMIO_HEX_EXTENT{lowest, end - lowest};
}

std::unique_ptr<BYTE[]> pgmio_flatten_hex_blocks(PGMIO_HEX_LIST& list, const PGMIO_HEX_EXTENT& extent)
{
    std::vector<PGMIO_HEX*> blocks = filled(list);
    std::unique_ptr<BYTE[]> image(new BYTE[extent.size]);
    // Only the gaps are cleared, and each block goes as soon as it is
    // copied: a large image is not held twice over.
    clear_gaps(blocks, extent.lowest, image.get());
    QWORD released = 0; // bytes released since memory was last returned
    for (PGMIO_HEX* block : blocks) {
        PGM_CHECK(start(*block) >= extent.lowest && start(*block) + length(*block) <= extent.lowest + extent.size);
        std::memcpy(&image[start(*block) - extent.lowest], block->data, length(*block));
        released += length(*block);
        delete[] block->data;
        block->data = nullptr;
        if (released >= (QWORD(8) << 20)) {
            mem_return_free_memory();
            released = 0;
        }
    }
    pgmio_delete_hex_blocks(list);
    return image;
}

QWORD pgmio_hex_run_size(const PGMIO_HEX_LIST& list)
{
    QWORD run_size = 0;
    for (const PGMIO_HEX* block : filled(list)) {
        if (block->start_address != 0 || block->segment_base != run_size)
            return 0;
        run_size += length(*block);
    }
    return run_size;
}

std::unique_ptr<BYTE[]> pgmio_join_hex_blocks(const PGMIO_HEX_LIST& list, QWORD run_size)
{
    std::unique_ptr<BYTE[]> data(new BYTE[run_size]);
    PGM_CHECK(data != NULL);
    QWORD data_size = 0;
    for (const PGMIO_HEX* block : filled(list)) {
        PGM_CHECK(data_size + length(*block) <= run_size);
        std::memcpy(&data[data_size], block->data, length(*block));
        data_size += length(*block);
    }
    PGM_CHECK(data_size == run_size);
    return data;
}

namespace {

// A file that reads without error and still gives no image: no data bytes,
// an image beyond a 32-bit size, or no run from address 0. The reader's
// message for a file that yields nothing, 17922, says so.
BYTE* no_image(const std::string& filepath)
{
    pgm_msg_issue(*pgm_msg_invalid_hex_file(filepath), false);
    return NULL;
}

} // namespace

BYTE* PGM_COMMON::read_hex_data(std::string filepath, DWORD& size, DWORD& lowest_address)
{
    size = 0;
    lowest_address = 0xFFFFFFFF;
    HEX_BLOCKS blocks;
    if (!blocks.read(filepath))
        return NULL;
    PGMIO_HEX_EXTENT extent = pgmio_hex_extent(blocks.list());
    // An image whose size does not fit 32 bits is not made.
    if (extent.size == 0 || extent.size > QWORD(DWORD(-1)))
        return no_image(filepath);
    std::unique_ptr<BYTE[]> data = pgmio_flatten_hex_blocks(blocks.list(), extent);
    size = DWORD(extent.size);
    lowest_address = DWORD(extent.lowest);
    return data.release();
}

BYTE* PGM_COMMON::read_continuous_hex_data(std::string filepath, DWORD& size)
{
    size = 0;
    HEX_BLOCKS blocks;
    if (!blocks.read(filepath))
        return NULL;
    QWORD file_size = pgmio_hex_run_size(blocks.list());
    if (file_size == 0 || file_size > QWORD(DWORD(-1)))
        return no_image(filepath);
    std::unique_ptr<BYTE[]> data = pgmio_join_hex_blocks(blocks.list(), file_size);
    size = DWORD(file_size);
    return data.release();
}

namespace {

// One word of a memory file as bytes, least significant first.
struct MEMORY_WORD {
    std::unique_ptr<BYTE[]> bytes;
    QWORD bits; // bits the bytes hold
};

// Bits of the word's value up to its highest set bit.
QWORD value_bits(const MEMORY_WORD& word)
{
    for (QWORD bit = word.bits; bit > 0; --bit) {
        if (word.bytes[(bit - 1) / 8] & (1u << ((bit - 1) % 8)))
            return bit;
    }
    return 0;
}

const char* plural(QWORD count)
{
    return count == 1 ? "" : "s";
}

// Refuses a word whose digits do not fit the word width, naming the file
// and the line.
[[noreturn]] void wrong_digit_count(const std::string& filepath, size_t number, const char* kind, QWORD digits,
                                    DWORD width, QWORD needed)
{
    PGM_FAIL("%s:%zu: the %s word has %llu digit%s, but a word of %u bit%s needs %llu", filepath.c_str(), number,
             kind, static_cast<unsigned long long>(digits), plural(digits), unsigned(width), plural(width),
             static_cast<unsigned long long>(needed));
}

MEMORY_WORD parse_memory_word(const std::string& line, DWORD& width, const std::string& filepath, size_t number)
{
    MEMORY_WORD word;
    if (line[0] == 'b') {
        DWORD binary_size = 0;
        word.bytes.reset(PGM_COMMON::convert_binary_string_to_byte_array(line.substr(1), binary_size, false));
        PGM_CHECK(binary_size);
        if (width == 0)
            width = binary_size;
        PGM_CHECK(width > 0);
        if (width != binary_size)
            wrong_digit_count(filepath, number, "binary", binary_size, width, width);
        word.bits = binary_size;
    } else if (line.compare(0, 2, "0x") == 0) {
        if (width == 0)
            width = DWORD(4 * (line.size() - 2));
        PGM_CHECK(width > 0);
        if ((width + 3) / 4 != line.size() - 2)
            wrong_digit_count(filepath, number, "hexadecimal", line.size() - 2, width, (width + 3) / 4);
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
    if (!pgm_open_input_file(filepath, input, 0, false, true))
        PGM_FAIL("Fail to read memory file %s", filepath.c_str());
    // The words with the numbers of their lines.
    std::vector<std::pair<std::string, size_t>> lines;
    for (size_t i = 0; i < input.size(); ++i) {
        std::string word = get_rid_white_space_and_comment(input[i], {"//", "#"});
        if (!word.empty())
            lines.emplace_back(word, i + 1);
    }
    DWORD line_count = DWORD(lines.size());
    PGM_CHECK(line_count);
    if (depth == 0)
        depth = line_count;
    std::unique_ptr<BYTE[]> data;
    QWORD word_bytes = 0;
    for (DWORD i = 0; i < std::min(line_count, depth); ++i) {
        MEMORY_WORD word = parse_memory_word(lines[i].first, width, filepath, lines[i].second);
        QWORD bits = value_bits(word);
        if (bits > width)
            PGM_FAIL("Line %zu of memory file %s holds a value of %llu bits, wider than its word of %u bit%s",
                     lines[i].second, filepath.c_str(), static_cast<unsigned long long>(bits), unsigned(width),
                     width == 1 ? "" : "s");
        if (i == 0) {
            word_bytes = (QWORD(width) + 7) / 8;
            PGM_CHECK_TEXT(word_bytes * depth <= QWORD(DWORD(-1)), "Memory file size exceeds 32 bits");
            data.reset(new BYTE[word_bytes * depth]());
            size = DWORD(word_bytes * depth);
        }
        // The value fits the width: its bytes go to the word's area as they are.
        std::memcpy(&data[i * word_bytes], word.bytes.get(), std::min(word_bytes, (bits + 7) / 8));
    }
    return data.release();
}

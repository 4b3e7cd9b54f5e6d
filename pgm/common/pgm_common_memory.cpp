// Memory contents as flat byte arrays: a hexadecimal record file flattened
// from its lowest address or as one run from address 0, and a text memory
// file of one word per line.
#include "pgm/h/pgm_common.h"

#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_common_catalogue.h"
#include "pgm/common/pgm_file_read.h"
#include "pgm/h/pgmio_hex_reader.h"

#include <algorithm>
#include <cstring>
#include <map>
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

// The address ranges covered so far, adjacent ones merged: a few entries
// however many blocks follow on.
class COVERAGE {
public:
    // Calls part(address, size) for each stretch of [start, end) that is
    // not covered yet, in address order; then covers [start, end).
    template <class PART>
    void cover(QWORD start, QWORD end, PART part)
    {
        auto range = ranges_.upper_bound(start);
        if (range != ranges_.begin() && std::prev(range)->second >= start)
            --range;
        QWORD from = start;
        QWORD merged_start = start;
        QWORD merged_end = end;
        for (; range != ranges_.end() && range->first <= end; range = ranges_.erase(range)) {
            if (range->first > from)
                part(from, range->first - from);
            from = std::max(from, range->second);
            merged_start = std::min(merged_start, range->first);
            merged_end = std::max(merged_end, range->second);
        }
        if (from < end)
            part(from, end - from);
        ranges_[merged_start] = merged_end;
    }

    // Calls gap(address, size) for each stretch of [start, end) not covered.
    template <class GAP>
    void gaps(QWORD start, QWORD end, GAP gap) const
    {
        QWORD from = start;
        for (const auto& range : ranges_) {
            if (range.first > from && from < end)
                gap(from, std::min(range.first, end) - from);
            from = std::max(from, range.second);
        }
        if (from < end)
            gap(from, end - from);
    }

private:
    std::map<QWORD, QWORD> ranges_; // start, end (exclusive)
};

// Calls part(address, size) for each stretch of the block's bytes that no
// block met before covers. Going through a list from its end, a later
// block's bytes are met first and hide an earlier block's.
template <class PART>
void visible_parts(const PGMIO_HEX* block, COVERAGE& coverage, PART part)
{
    if (block != nullptr && length(*block) > 0)
        coverage.cover(start(*block), start(*block) + length(*block), part);
}

// The blocks that hold bytes by start address, those of one start in list
// order; true when no two of them share a byte, as in every list the
// reader gives without error but for blocks that begin at one address.
bool sorted_apart(const PGMIO_HEX_LIST& list, std::vector<PGMIO_HEX*>& blocks)
{
    blocks = filled(list);
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const PGMIO_HEX* a, const PGMIO_HEX* b) { return start(*a) < start(*b); });
    for (size_t i = 1; i < blocks.size(); ++i) {
        if (start(*blocks[i]) < start(*blocks[i - 1]) + length(*blocks[i - 1]))
            return false;
    }
    return true;
}

// Sets to 0 the bytes of the image between blocks in address order that
// share no byte.
void clear_gaps_between(const std::vector<PGMIO_HEX*>& sorted, const PGMIO_HEX_EXTENT& extent, BYTE* image)
{
    QWORD covered = extent.lowest; // the image is covered up to here
    for (const PGMIO_HEX* block : sorted) {
        std::memset(image + (covered - extent.lowest), 0, start(*block) - covered);
        covered = start(*block) + length(*block);
    }
    std::memset(image + (covered - extent.lowest), 0, extent.lowest + extent.size - covered);
}

// Sets to 0 the bytes of the image that the coverage leaves out.
void clear_gaps(const COVERAGE& coverage, const PGMIO_HEX_EXTENT& extent, BYTE* image)
{
    coverage.gaps(extent.lowest, extent.lowest + extent.size,
                  [&](QWORD address, QWORD size) { std::memset(image + (address - extent.lowest), 0, size); });
}

// Memory handed back to the system after this many bytes of blocks went.
const QWORD RELEASE_STEP = QWORD(8) << 20;

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

std::vector<PGMIO_HEX_PIECE> pgmio_hex_pieces(const PGMIO_HEX_LIST& list)
{
    std::vector<PGMIO_HEX_PIECE> pieces;
    std::vector<PGMIO_HEX*> sorted;
    if (sorted_apart(list, sorted)) {
        for (const PGMIO_HEX* block : sorted)
            pieces.push_back({start(*block), block->data, length(*block)});
        return pieces;
    }
    // Blocks that overlap: the stretches of each that later blocks leave.
    COVERAGE coverage;
    for (size_t i = list.size(); i-- > 0;) {
        const PGMIO_HEX* block = list[i];
        visible_parts(block, coverage, [&](QWORD address, QWORD size) {
            const BYTE* data = block->data ? block->data + (address - start(*block)) : nullptr;
            pieces.push_back({address, data, size});
        });
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const PGMIO_HEX_PIECE& a, const PGMIO_HEX_PIECE& b) { return a.address < b.address; });
    return pieces;
}

// The blocks are copied from the end of the list, and each is deleted as
// soon as it is copied: the image grows as the blocks go, so a large image
// is not held twice over. The blocks were allocated in list order, so
// deleting them the other way round leaves free memory in a few large
// pieces, which go back to the system in a few calls.
std::unique_ptr<BYTE[]> pgmio_flatten_hex_blocks(PGMIO_HEX_LIST& list, const PGMIO_HEX_EXTENT& extent)
{
    std::vector<PGMIO_HEX*> sorted;
    const bool apart = sorted_apart(list, sorted);
    for (const PGMIO_HEX* block : sorted)
        PGM_CHECK(start(*block) >= extent.lowest && start(*block) + length(*block) <= extent.lowest + extent.size);
    std::unique_ptr<BYTE[]> image(new BYTE[extent.size]);
    // Blocks apart are copied whole, and the gaps between them are known
    // now; the stretches of blocks that overlap are found as they are met.
    COVERAGE coverage;
    if (apart)
        clear_gaps_between(sorted, extent, image.get());
    QWORD released = 0; // bytes of blocks deleted since memory was last handed back
    for (size_t i = list.size(); i-- > 0;) {
        std::unique_ptr<PGMIO_HEX> block(list[i]);
        list[i] = nullptr;
        std::unique_ptr<BYTE[]> data(block ? block->data : nullptr);
        if (apart && block && length(*block) > 0)
            std::memcpy(&image[start(*block) - extent.lowest], data.get(), length(*block));
        else if (!apart)
            visible_parts(block.get(), coverage, [&](QWORD address, QWORD size) {
                std::memcpy(&image[address - extent.lowest], &data[address - start(*block)], size);
            });
        released += block ? length(*block) : 0;
        data.reset();
        block.reset();
        if (released >= RELEASE_STEP) {
            mem_return_free_memory();
            released = 0;
        }
    }
    if (!apart)
        clear_gaps(coverage, extent, image.get());
    list.clear();
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
    const std::vector<PGM_NUMBERED_LINE> lines = pgm_data_lines(input);
    DWORD line_count = DWORD(lines.size());
    PGM_CHECK(line_count);
    if (depth == 0)
        depth = line_count;
    std::unique_ptr<BYTE[]> data;
    QWORD word_bytes = 0;
    for (DWORD i = 0; i < std::min(line_count, depth); ++i) {
        MEMORY_WORD word = parse_memory_word(lines[i].text, width, filepath, lines[i].number);
        QWORD bits = value_bits(word);
        if (bits > width)
            PGM_FAIL("Line %zu of memory file %s holds a value of %llu bits, wider than its word of %u bit%s",
                     lines[i].number, filepath.c_str(), static_cast<unsigned long long>(bits), unsigned(width),
                     plural(width));
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

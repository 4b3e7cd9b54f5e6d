// Hexadecimal record files: the reader, its flattening and the run from
// address 0, on damaged and forged files.
#include "fuzz_support.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Flattening spans from the lowest to the highest address; a tiny forged
// file can span 4 GiB, which is the caller's to allow, not the fuzzer's.
const QWORD FLATTEN_LIMIT = QWORD(16) << 20;

// The image of the list painted block by block, a later block over an
// earlier one: what the pieces must give.
std::vector<BYTE> painted(const PGMIO_HEX_LIST& list, const PGMIO_HEX_EXTENT& extent)
{
    std::vector<BYTE> image(size_t(extent.size), 0);
    for (const PGMIO_HEX* block : list) {
        QWORD at = QWORD(block->segment_base) + block->start_address - extent.lowest;
        if (block->data && pgmio_hex_size(*block) > 0)
            std::memcpy(image.data() + at, block->data, pgmio_hex_size(*block));
    }
    return image;
}

// Reads the file once plainly and once handing the bytes to a sink; both
// must give the same result and bytes, and the pieces the painted image.
void compare_reads(const std::string& path, bool reverse_bits)
{
    PGMIO_HEX_READER plain, sunk;
    plain.set_file(path);
    sunk.set_file(path);
    bool plain_ok = plain.read_hex_file(reverse_bits, true);
    std::vector<BYTE> streamed;
    bool sunk_ok = sunk.read_hex_file(reverse_bits, true, [&](const PGMIO_HEX& block, const BYTE* bytes) {
        streamed.insert(streamed.end(), bytes, bytes + pgmio_hex_size(block));
    });
    if (plain_ok != sunk_ok)
        std::abort();
    const PGMIO_HEX_LIST* list = plain.get_hex_list();
    if (!list)
        return;
    std::vector<BYTE> joined;
    for (const PGMIO_HEX* block : *list)
        if (block->data)
            joined.insert(joined.end(), block->data, block->data + pgmio_hex_size(*block));
    if (plain_ok && joined != streamed)
        std::abort();
    PGMIO_HEX_EXTENT extent = pgmio_hex_extent(*list);
    if (extent.size <= FLATTEN_LIMIT) {
        std::vector<BYTE> image = painted(*list, extent);
        for (const PGMIO_HEX_PIECE& piece : pgmio_hex_pieces(*list))
            if (piece.address < extent.lowest || piece.address + piece.size > extent.lowest + extent.size ||
                std::memcmp(image.data() + (piece.address - extent.lowest), piece.data, size_t(piece.size)) != 0)
                std::abort();
    }
    pgmio_delete_hex_blocks(*plain.get_hex_list());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz_input_file(data, size, ".hex");
    if (path.empty())
        return 0;
    bool flatten = false;
    fuzz_run([&] {
        PGMIO_HEX_READER reader;
        reader.set_file(path);
        reader.set_required_size(size > 0 ? data[0] : 0);
        reader.read_hex_file(size > 1 && (data[1] & 1), size > 1 && (data[1] & 2));
        PGMIO_HEX_READER copy = reader;
        if (copy.get_hex_list()) {
            flatten = pgmio_hex_extent(*copy.get_hex_list()).size <= FLATTEN_LIMIT;
            pgmio_delete_hex_blocks(*copy.get_hex_list());
        }
    });
    fuzz_run([&] { compare_reads(path, size > 1 && (data[1] & 1)); });
    if (!flatten)
        return 0;
    fuzz_run([&] {
        DWORD image_size = 0, lowest = 0;
        std::unique_ptr<BYTE[]> image(PGM_COMMON::read_hex_data(path, image_size, lowest));
        std::unique_ptr<BYTE[]> run(PGM_COMMON::read_continuous_hex_data(path, image_size));
    });
    return 0;
}

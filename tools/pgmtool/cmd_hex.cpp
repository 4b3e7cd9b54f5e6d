// pgmtool hex2bin and hexinfo: a hexadecimal record file as one binary
// image, and as the list of its blocks.
#include "pgmtool_frame.h"

#include <cstdio>
#include <memory>

namespace {

// True when a message other than a warning was issued since the last call.
bool error_message_issued()
{
    for (const MSG_RECORD& record : msg_take_issued()) {
        if (record.type != 'W')
            return true;
    }
    return false;
}

void release_blocks(PGMIO_HEX_LIST* list)
{
    pgmio_delete_hex_blocks(*list);
}

} // namespace

int pgmtool_hex2bin(int argc, const char** argv)
{
    bool continuous = false;
    PGMTOOL_ARGS args("hex2bin", {"pgmtool hex2bin IN.hex OUT.bin [--continuous]",
                                  "Writes the data of a hexadecimal record file as one binary image that starts",
                                  "at the file's lowest address; gaps between the blocks become zero bytes.",
                                  "With --continuous the blocks must run on from address 0 without a gap."});
    args.flag("continuous", continuous, "The blocks must form one run from address 0");
    int parsed = args.parse(argc, argv, 2, 2);
    if (parsed >= 0)
        return parsed;
    const std::string& input = args.files()[0];
    pgmtool_check_input(input);

    error_message_issued(); // forget anything issued before
    DWORD size = 0, lowest = 0;
    std::unique_ptr<BYTE[]> image(continuous ? PGM_COMMON::read_continuous_hex_data(input, size)
                                             : PGM_COMMON::read_hex_data(input, size, lowest));
    if (!image) {
        // The library has shown why a file could not be read; a file that was
        // read has no data or blocks that do not run on.
        if (error_message_issued())
            throw PGMTOOL_FAILURE(input + " could not be read");
        if (continuous)
            throw PGMTOOL_FAILURE(input + ": the blocks do not form one run from address 0");
        throw PGMTOOL_FAILURE(input + ": the file holds no data bytes, or they span more than 4 GiB");
    }
    pgmtool_write_output(args.files()[1], image.get(), size);
    std::printf("lowest address 0x%08X, size %s\n", unsigned(lowest), pgmtool_amount(size, "byte").c_str());
    return PGMTOOL_OK;
}

int pgmtool_hexinfo(int argc, const char** argv)
{
    PGMTOOL_ARGS args("hexinfo", {"pgmtool hexinfo IN.hex",
                                  "Lists the blocks of a hexadecimal record file in file order: the absolute",
                                  "address of the first and of the last byte and the size, in hexadecimal."});
    int parsed = args.parse(argc, argv, 1, 1);
    if (parsed >= 0)
        return parsed;
    const std::string& input = args.files()[0];
    pgmtool_check_input(input);

    PGMIO_HEX_READER reader;
    reader.set_file(input);
    bool read = reader.read_hex_file(false, false);
    // The blocks are ours, read or not; the reader keeps the list object.
    std::unique_ptr<PGMIO_HEX_LIST, void (*)(PGMIO_HEX_LIST*)> blocks(reader.get_hex_list(), release_blocks);
    if (!read || !blocks)
        throw PGMTOOL_FAILURE(input + " could not be read");

    std::printf("block  start       end         size\n");
    QWORD total = 0;
    for (size_t i = 0; i < blocks->size(); ++i) {
        const PGMIO_HEX& block = *(*blocks)[i];
        DWORD start = block.segment_base + block.start_address;
        DWORD size = pgmio_hex_size(block);
        if (size == 0) {
            std::printf("%5zu  0x%08X  (empty)\n", i + 1, unsigned(start));
            continue;
        }
        std::printf("%5zu  0x%08X  0x%08X  0x%08X\n", i + 1, unsigned(start),
                    unsigned(block.segment_base + block.end_address), unsigned(size));
        total += size;
    }
    std::printf("%s, %s of data\n", pgmtool_amount(blocks->size(), "block").c_str(),
                pgmtool_amount(total, "byte").c_str());
    return PGMTOOL_OK;
}

// pgmtool hex2bin and hexinfo: a hexadecimal record file as one binary
// image, and as the list of its blocks.
#include "pgmtool_frame.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace {

// The blocks of a hexadecimal record file, released with this object.
class HEX_FILE {
public:
    // Reads the file; throws when it cannot be read, after the reader has
    // said why.
    explicit HEX_FILE(const std::string& input)
    {
        reader_.set_file(input);
        try {
            pgmtool_reading(input, {"hexadecimal record file", {}},
                            [this] { return reader_.read_hex_file(false, false) && reader_.get_hex_list(); });
        } catch (...) {
            release();
            throw;
        }
    }
    ~HEX_FILE() { release(); }
    HEX_FILE(const HEX_FILE&) = delete;
    HEX_FILE& operator=(const HEX_FILE&) = delete;

    PGMIO_HEX_LIST& blocks() { return *reader_.get_hex_list(); }

private:
    // The blocks are ours, read or not; the reader keeps the list object.
    void release()
    {
        if (reader_.get_hex_list())
            pgmio_delete_hex_blocks(*reader_.get_hex_list());
    }

    PGMIO_HEX_READER reader_;
};

const char* const DEFAULT_MAX_SIZE = "1G";

// A number of bytes with an optional K, M or G (2^10, 2^20, 2^30); false
// when the text is not one, or is 0.
bool parse_size(std::string text, QWORD& size)
{
    size_t shift = 0;
    char last = text.empty() ? '\0' : char(std::toupper((unsigned char)text.back()));
    size_t suffix = last == '\0' ? std::string::npos : std::string("KMG").find(last);
    if (suffix != std::string::npos) {
        shift = 10 * (suffix + 1);
        text.pop_back();
    }
    bool ok = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    size = ok ? PGM_COMMON::convert_string_to_qword(text, true, &ok) : 0;
    if (!ok || size == 0 || size > (QWORD(-1) >> shift))
        return false;
    size <<= shift;
    return true;
}

} // namespace

int pgmtool_hex2bin(int argc, const char** argv)
{
    bool continuous = false;
    std::string max_size_text = DEFAULT_MAX_SIZE;
    PGMTOOL_ARGS args("hex2bin", {"hex2bin IN.hex OUT.bin [--continuous] [--max-size=N]"},
                      {"Writes the data of a hexadecimal record file as one binary image that starts at",
                       "the file's lowest address; gaps between the blocks become zero bytes. The size",
                       "is printed before the image is made; a larger one than --max-size is refused."},
                      "pgmtool hex2bin fw.hex fw.bin --max-size=16M");
    args.flag("continuous", continuous, "The blocks must form one run from address 0");
    args.text("max_size=N", max_size_text, "Largest image in bytes, or with K, M or G (2^10, 2^20, 2^30)");
    if (!args.parse(argc, argv, 2, 2))
        return PGMTOOL_OK;
    QWORD max_size = 0;
    if (!parse_size(max_size_text, max_size))
        throw PGMTOOL_USAGE("--max-size must be a number of bytes above 0, optionally with K, M or G, not \"" +
                            max_size_text + "\"");
    const std::string input = args.input(args.files()[0]);
    const std::string& output = args.output(args.files()[1]);

    HEX_FILE file(input);
    PGMIO_HEX_LIST& blocks = file.blocks();
    PGMIO_HEX_EXTENT extent = continuous ? PGMIO_HEX_EXTENT{0, pgmio_hex_run_size(blocks)}
                                         : pgmio_hex_extent(blocks);
    if (extent.size == 0 && continuous)
        throw PGMTOOL_FAILURE(input, "the blocks do not form one run from address 0");
    if (extent.size == 0)
        throw PGMTOOL_FAILURE(input, "the file holds no data bytes");
    if (extent.size > max_size)
        throw PGMTOOL_FAILURE(input, "the image would take " + pgmtool_amount(extent.size, "byte") +
                                         ", more than --max-size allows (" + pgmtool_amount(max_size, "byte") + ")");
    // The size is told before the image is made, which may take a while.
    args.summary("lowest address 0x%08llX, size %s", static_cast<unsigned long long>(extent.lowest),
                 pgmtool_amount(extent.size, "byte").c_str());
    std::unique_ptr<BYTE[]> image = continuous ? pgmio_join_hex_blocks(blocks, extent.size)
                                               : pgmio_flatten_hex_blocks(blocks, extent);
    pgmtool_write_output(output, image.get(), size_t(extent.size));
    return PGMTOOL_OK;
}

int pgmtool_hexinfo(int argc, const char** argv)
{
    PGMTOOL_ARGS args("hexinfo", {"hexinfo IN.hex"},
                      {"Lists the blocks of a hexadecimal record file in file order: the absolute",
                       "address of the first and of the last byte and the size, in hexadecimal."},
                      "pgmtool hexinfo fw.hex");
    if (!args.parse(argc, argv, 1, 1))
        return PGMTOOL_OK;
    HEX_FILE file(args.input(args.files()[0]));
    const PGMIO_HEX_LIST& blocks = file.blocks();

    std::printf("block  start       end         size\n");
    QWORD total = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const PGMIO_HEX& block = *blocks[i];
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
    std::printf("%s, %s of data\n", pgmtool_amount(blocks.size(), "block").c_str(),
                pgmtool_amount(total, "byte").c_str());
    return PGMTOOL_OK;
}

// pgmtool hex2bin and hexinfo: a hexadecimal record file as one binary
// image, and as the list of its blocks.
#include "pgmtool_frame.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>

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

// A number as srec_cat and objcopy users write one: decimal, or hexadecimal
// after "0x"; no greater than limit. False for any other text, and for a
// decimal with a leading zero, which those tools read as octal.
bool parse_number(const std::string& text, QWORD limit, QWORD& value)
{
    bool hexadecimal = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hexadecimal ? text.substr(2) : text;
    const char* allowed = hexadecimal ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos ||
        (!hexadecimal && digits.size() > 1 && digits[0] == '0'))
        return false;
    bool ok = false;
    value = PGM_COMMON::convert_string_to_qword(hexadecimal ? "0x" + digits : digits, true, &ok);
    return ok && value <= limit;
}

// "0x" and the value in at least digits hexadecimal digits.
std::string hex_number(QWORD value, int digits = 1)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

// A number option; empty text is an option not given.
struct NUMBER_OPTION {
    const char* name;  // "fill"
    std::string text;
    QWORD lowest, highest;
    const char* what;  // "a byte value"
    QWORD value = 0;   // set by check

    bool given() const { return !text.empty(); }
    // Sets value; throws PGMTOOL_USAGE when the text given is no number of the range.
    void check()
    {
        if (!given() || (parse_number(text, highest, value) && value >= lowest))
            return;
        // Bytes in decimal, addresses in hexadecimal.
        std::string range = highest < 256 ? std::to_string(lowest) + " to " + std::to_string(highest)
                                          : hex_number(lowest) + " to " + hex_number(highest);
        throw PGMTOOL_USAGE(std::string("--") + name + " must be " + what + ", " + range +
                            " (decimal, or hexadecimal after 0x), not \"" + text + "\"");
    }
};

// The address range of the image and its gap byte, from the command line
// and the extent of the file's data.
struct IMAGE_RANGE {
    QWORD start, end; // end exclusive
    BYTE fill;
};

IMAGE_RANGE image_range(const NUMBER_OPTION& start, const NUMBER_OPTION& end, const PGMIO_HEX_EXTENT& extent,
                        const std::string& input)
{
    // Without data, only a range given whole makes an image (of fill bytes).
    if (extent.size == 0 && !(start.given() && end.given()))
        throw PGMTOOL_FAILURE(input, "the file holds no data bytes");
    IMAGE_RANGE range{start.given() ? start.value : extent.lowest,
                      end.given() ? end.value : extent.lowest + extent.size, 0};
    if (range.end > range.start)
        return range;
    if (start.given())
        throw PGMTOOL_FAILURE(input, "the file holds no data bytes at or above --start (" + hex_number(range.start, 8) +
                                         ")");
    throw PGMTOOL_FAILURE(input, "the file holds no data bytes below --end (" + hex_number(range.end, 8) + ")");
}

// Writes the image of the range: the pieces' bytes where they lie, the
// fill byte elsewhere. The image is never held whole: the bytes go from
// the blocks to the output.
void write_image(const std::string& output_path, const std::vector<PGMIO_HEX_PIECE>& pieces,
                 const IMAGE_RANGE& range)
{
    PGMTOOL_OUTPUT output(output_path);
    PGMTOOL_PROGRESS progress("Writing " + (output_path == "-" ? std::string("<stdout>") : output_path),
                              range.end - range.start);
    const std::vector<BYTE> filler(size_t(std::min<QWORD>(range.end - range.start, QWORD(1) << 20)), range.fill);
    QWORD at = range.start; // the image is written up to here
    auto put = [&](const BYTE* data, QWORD size) {
        output.write(data, size_t(size));
        progress.advance(size);
        at += size;
    };
    auto fill_to = [&](QWORD address) {
        while (at < address && output.stream())
            put(filler.data(), std::min<QWORD>(address - at, filler.size()));
    };
    for (const PGMIO_HEX_PIECE& piece : pieces) {
        QWORD from = std::max(piece.address, range.start);
        QWORD to = std::min(piece.address + piece.size, range.end);
        if (from >= to)
            continue;
        fill_to(from);
        put(piece.data + (from - piece.address), to - from);
    }
    fill_to(range.end);
    output.commit();
}

} // namespace

int pgmtool_hex2bin(int argc, const char** argv)
{
    bool continuous = false;
    std::string max_size_text = DEFAULT_MAX_SIZE;
    NUMBER_OPTION fill{"fill", "", 0, 255, "a byte value"};
    NUMBER_OPTION start{"start", "", 0, 0xFFFFFFFF, "an address"};
    NUMBER_OPTION end{"end", "", 1, QWORD(1) << 32, "an address"};
    PGMTOOL_ARGS args(
        "hex2bin", {"hex2bin IN.hex OUT.bin [--fill=BYTE] [--start=ADDR] [--end=ADDR] [--continuous] [--max-size=N]"},
        {"Writes the data of a hexadecimal record file as one binary image, from the file's",
         "lowest address to its highest, or from --start up to (not including) --end: data",
         "outside are cut, and gaps become the --fill byte (as srec_cat -crop and -fill do).",
         "Numbers are decimal, or hexadecimal after 0x. The size is printed before the image",
         "is written; a larger one than --max-size is refused."},
        "pgmtool hex2bin fw.hex fw.bin --fill=0xFF --start=0x08000000 --end=0x08100000");
    args.text("fill=BYTE", fill.text, "Byte for the gaps, 0 to 255 (default 0; erased flash reads 0xFF)");
    args.text("start=ADDR", start.text, "First address of the image (default the lowest address of the data)");
    args.text("end=ADDR", end.text, "Address after the image (default one past the highest address of the data)");
    args.flag("continuous", continuous, "The blocks must form one run from address 0");
    args.text("max_size=N", max_size_text, "Largest image in bytes, or with K, M or G (2^10, 2^20, 2^30)");
    if (!args.parse(argc, argv, 2, 2))
        return PGMTOOL_OK;
    QWORD max_size = 0;
    if (!parse_size(max_size_text, max_size))
        throw PGMTOOL_USAGE("--max-size must be a number of bytes above 0, optionally with K, M or G, not \"" +
                            max_size_text + "\"");
    for (NUMBER_OPTION* option : {&fill, &start, &end})
        option->check();
    if (start.given() && end.given() && end.value <= start.value)
        throw PGMTOOL_USAGE("--end (" + end.text + ") must be above --start (" + start.text + ")");
    const std::string input = args.input(args.files()[0]);
    const std::string& output = args.output(args.files()[1]);

    HEX_FILE file(input);
    PGMIO_HEX_LIST& blocks = file.blocks();
    PGMIO_HEX_EXTENT extent = continuous ? PGMIO_HEX_EXTENT{0, pgmio_hex_run_size(blocks)}
                                         : pgmio_hex_extent(blocks);
    if (extent.size == 0 && continuous)
        throw PGMTOOL_FAILURE(input, "the blocks do not form one run from address 0");
    IMAGE_RANGE range = image_range(start, end, extent, input);
    range.fill = BYTE(fill.value);
    QWORD size = range.end - range.start;
    if (size > max_size)
        throw PGMTOOL_FAILURE(input, "the image would take " + pgmtool_amount(size, "byte") +
                                         ", more than --max-size allows (" + pgmtool_amount(max_size, "byte") + ")");
    // The size is told before the image is written, which may take a while.
    args.summary("lowest address 0x%08llX, size %s", static_cast<unsigned long long>(range.start),
                 pgmtool_amount(size, "byte").c_str());
    write_image(output, pgmio_hex_pieces(blocks), range);
    return PGMTOOL_OK;
}

namespace {

// The blocks as the reader gave them, in file order.
void print_blocks(const PGMIO_HEX_LIST& blocks)
{
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
    std::printf("%s, %s\n", pgmtool_amount(blocks.size(), "block").c_str(),
                total == 0 ? "no data" : (pgmtool_amount(total, "byte") + " of data").c_str());
}

// The addresses that hold data, as srec_info gives them: bytes that follow
// on are one range, whichever blocks they came in.
void print_ranges(const PGMIO_HEX_LIST& blocks)
{
    struct RANGE {
        QWORD start, end; // end exclusive
    };
    std::vector<RANGE> ranges;
    QWORD total = 0;
    for (const PGMIO_HEX_PIECE& piece : pgmio_hex_pieces(blocks)) {
        if (!ranges.empty() && ranges.back().end == piece.address)
            ranges.back().end += piece.size;
        else
            ranges.push_back({piece.address, piece.address + piece.size});
        total += piece.size;
    }
    if (ranges.empty()) {
        std::printf("no data\n");
        return;
    }
    std::printf("start       end         size\n");
    for (const RANGE& range : ranges)
        std::printf("%s  %s  %s\n", hex_number(range.start, 8).c_str(), hex_number(range.end - 1, 8).c_str(),
                    hex_number(range.end - range.start, 8).c_str());
    std::printf("%s, %s of data (%s)\n", pgmtool_amount(ranges.size(), "range").c_str(),
                pgmtool_amount(total, "byte").c_str(), pgmtool_amount(blocks.size(), "block").c_str());
}

} // namespace

int pgmtool_hexinfo(int argc, const char** argv)
{
    bool list_blocks = false;
    PGMTOOL_ARGS args("hexinfo", {"hexinfo IN.hex [--blocks]"},
                      {"Lists the address ranges that hold data, as srec_info does: bytes that follow on",
                       "are one range. With --blocks, lists the reader's blocks in file order instead (a",
                       "block ends at every extended address record). Addresses of the first and of the",
                       "last byte, and sizes, in hexadecimal."},
                      "pgmtool hexinfo fw.hex");
    args.flag("blocks", list_blocks, "List the blocks in file order");
    if (!args.parse(argc, argv, 1, 1))
        return PGMTOOL_OK;
    HEX_FILE file(args.input(args.files()[0]));
    if (list_blocks)
        print_blocks(file.blocks());
    else
        print_ranges(file.blocks());
    return PGMTOOL_OK;
}

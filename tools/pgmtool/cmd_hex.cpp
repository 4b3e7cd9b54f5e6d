// pgmtool hex2bin and hexinfo: a hexadecimal record file as one binary
// image, and as the list of its blocks.
#include "pgmtool_frame.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sys/stat.h>
#include <memory>
#include <vector>

namespace {

// The blocks of a hexadecimal record file, released with this object.
class HEX_FILE {
public:
    // Reads the file; throws when it cannot be read, after the reader has
    // said why. With a sink, the blocks' bytes go there and not into the
    // blocks.
    explicit HEX_FILE(const std::string& input, const PGMIO_HEX_SINK* sink = nullptr)
    {
        reader_.set_file(input);
        try {
            pgmtool_reading(input, {"hexadecimal record file", {}}, [this, sink] {
                bool read = sink ? reader_.read_hex_file(false, false, *sink) : reader_.read_hex_file(false, false);
                return read && reader_.get_hex_list();
            });
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

// An image being written from its first address on: bytes put at the
// current address, or fill bytes up to an address.
class IMAGE_WRITER {
public:
    // total: the image's size for the progress shown, 0 when not known.
    IMAGE_WRITER(const std::string& path, QWORD start, BYTE fill, QWORD total)
        : output_(path), progress_("Writing " + (path == "-" ? std::string("<stdout>") : path), total), at_(start),
          filler_(FILL_PIECE, fill)
    {
    }

    QWORD at() const { return at_; }
    void put(const BYTE* data, QWORD size)
    {
        output_.write(data, size_t(size));
        progress_.advance(size);
        at_ += size;
    }
    void fill_to(QWORD address)
    {
        while (at_ < address && output_.stream())
            put(filler_.data(), std::min<QWORD>(address - at_, filler_.size()));
    }
    void commit() { output_.commit(); }

private:
    static const size_t FILL_PIECE = size_t(64) << 10;

    PGMTOOL_OUTPUT output_;
    PGMTOOL_PROGRESS progress_;
    QWORD at_;                 // the image is written up to here
    std::vector<BYTE> filler_; // fill bytes to write from
};

// Writes the image of the range: the pieces' bytes where they lie, the
// fill byte elsewhere.
void write_image(const std::string& path, const std::vector<PGMIO_HEX_PIECE>& pieces, const IMAGE_RANGE& range)
{
    IMAGE_WRITER image(path, range.start, range.fill, range.end - range.start);
    for (const PGMIO_HEX_PIECE& piece : pieces) {
        QWORD from = std::max(piece.address, range.start);
        QWORD to = std::min(piece.address + piece.size, range.end);
        if (from >= to)
            continue;
        image.fill_to(from);
        image.put(piece.data + (from - piece.address), to - from);
    }
    image.fill_to(range.end);
    image.commit();
}

// The image written while the file is read, block by block as the reader
// closes them, so that the file's bytes are never held all at once. This
// holds while each block lies past the bytes written before it, as in files
// written in address order. At the first that does not (one below or over
// an earlier block), or one that would make the image larger than allowed,
// the stream gives up, and the image is to be made from the blocks held.
class STREAMED_IMAGE {
public:
    STREAMED_IMAGE(const std::string& path, const NUMBER_OPTION& start, const NUMBER_OPTION& end, BYTE fill,
                   QWORD max_size)
        : path_(path), start_(start), low_(start.given() ? start.value : 0),
          high_(end.given() ? end.value : QWORD(1) << 32), fill_(fill), max_size_(max_size)
    {
    }

    void take(const PGMIO_HEX& block, const BYTE* bytes)
    {
        QWORD address = QWORD(block.segment_base) + block.start_address;
        QWORD from = std::max(address, low_);
        QWORD to = std::min(address + pgmio_hex_size(block), high_);
        if (gave_up_ || from >= to)
            return;
        if (!image_ && !begin(start_.given() ? start_.value : from)) {
            give_up(); // the failure is told when the image is made after all
            return;
        }
        if (from < image_->at() || to - origin_ > max_size_) {
            give_up();
            return;
        }
        image_->fill_to(from);
        image_->put(bytes + (from - address), to - from);
    }

    // True when the image of the range is being written; otherwise what
    // was written is dropped.
    bool holds(const IMAGE_RANGE& range)
    {
        if (image_ && origin_ != range.start)
            give_up();
        return !gave_up_;
    }

    void finish(const IMAGE_RANGE& range)
    {
        if (!image_)
            image_ = std::make_unique<IMAGE_WRITER>(path_, range.start, fill_, 0);
        image_->fill_to(range.end);
        image_->commit();
    }

private:
    // Makes the output, for an image from origin on; false when it fails.
    bool begin(QWORD origin)
    {
        try {
            image_ = std::make_unique<IMAGE_WRITER>(path_, origin, fill_, 0);
        } catch (const PGMTOOL_FAILURE&) {
            return false;
        }
        origin_ = origin;
        return true;
    }

    void give_up()
    {
        gave_up_ = true;
        image_.reset(); // nothing is left of the output
    }

    std::string path_;
    const NUMBER_OPTION& start_;
    QWORD low_, high_;                     // the range given, or the whole address space
    BYTE fill_;
    QWORD max_size_;
    std::unique_ptr<IMAGE_WRITER> image_;  // made with the first bytes
    QWORD origin_ = 0;                     // the image's first address
    bool gave_up_ = false;
};

// True when an output can be written while the file is read: what was
// written may then still be dropped, as a new file can be and standard
// output, a device or a pipe cannot.
bool replaceable_output(const std::string& path)
{
    FIO_STAT record;
    return path != "-" && (!FIO_FILE_SYSTEM::status(path, record) || S_ISREG(record.st_mode));
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
         "Numbers are decimal, or hexadecimal after 0x. The size is printed once the file is",
         "read; a larger image than --max-size is refused."},
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

    std::unique_ptr<STREAMED_IMAGE> streamed;
    PGMIO_HEX_SINK sink = [&](const PGMIO_HEX& block, const BYTE* bytes) {
        streamed->take(block, bytes);
    };
    if (replaceable_output(output))
        streamed = std::make_unique<STREAMED_IMAGE>(output, start, end, BYTE(fill.value), max_size);
    auto file = std::make_unique<HEX_FILE>(input, streamed ? &sink : nullptr);
    PGMIO_HEX_LIST& blocks = file->blocks();
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
    // The size is told before the rest of the image is written, which may take a while.
    args.summary("lowest address 0x%08llX, size %s", static_cast<unsigned long long>(range.start),
                 pgmtool_amount(size, "byte").c_str());
    if (streamed && streamed->holds(range)) {
        streamed->finish(range);
        return PGMTOOL_OK;
    }
    if (streamed) {
        // The blocks came out of order: read again, holding them.
        streamed.reset();
        file.reset();
        file = std::make_unique<HEX_FILE>(input);
    }
    write_image(output, pgmio_hex_pieces(file->blocks()), range);
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
    // Only where the bytes lie counts: they are not kept.
    const PGMIO_HEX_SINK ignore = [](const PGMIO_HEX&, const BYTE*) {};
    HEX_FILE file(args.input(args.files()[0]), &ignore);
    if (list_blocks)
        print_blocks(file.blocks());
    else
        print_ranges(file.blocks());
    return PGMTOOL_OK;
}

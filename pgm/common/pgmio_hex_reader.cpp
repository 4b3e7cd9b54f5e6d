// Reader of hexadecimal record files: each line ":LLAAAATT<data>CC" is one
// record; data records go into contiguous blocks, extended segment and
// linear address records start new ones, and the end-of-file record ends
// the read. Record and checksum problems are catalogue messages.
#include "pgm/h/pgmio_hex_reader.h"

#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_common_catalogue.h"
#include "pgm/common/pgm_hex_digit.h"
#include "pgm/h/pgm_brisol_fstream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// Longest line read; longer ones are malformed records.
const size_t MAX_LINE = 1023;
// Bytes a block gathers at most: a block continues while the offsets of its
// records follow on, and a record's offset has four hexadecimal digits, so
// a block ends at most one record past offset 0xFFFF.
const size_t BLOCK_BUFFER_SIZE = 0x10100;

constexpr BYTE reverse_byte(BYTE value)
{
    BYTE result = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (value & (1u << bit))
            result = BYTE(result | (0x80u >> bit));
    }
    return result;
}

struct BYTE_TABLES {
    signed char hex[256];   // value of a hexadecimal digit, -1 for any other character
    BYTE reversed[256];     // each byte with its bit order reversed
    constexpr BYTE_TABLES() : hex(), reversed()
    {
        for (int c = 0; c < 256; ++c) {
            hex[c] = static_cast<signed char>(pgm_hex_digit_value(char(c)));
            reversed[c] = reverse_byte(BYTE(c));
        }
    }
};
constexpr BYTE_TABLES TABLES;

DWORD hex_field(const std::string& text)
{
    return DWORD(std::strtoul(text.c_str(), nullptr, 16));
}

bool all_hex_digits(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return TABLES.hex[(unsigned char)c] >= 0; });
}

// The data bytes a record of the type must carry; -1 for a data record,
// which carries its count, and for an unknown type, which fails its sum.
int record_length(const std::string& type)
{
    if (type == "01")
        return 0;
    if (type == "02" || type == "04")
        return 2;
    return type == "03" || type == "05" ? 4 : -1;
}

// True when count bytes at offset address of the segment end at or below
// 4 GiB, the top of the address space.
bool within_address_space(DWORD segment_base, DWORD address, DWORD count)
{
    return QWORD(segment_base) + address + count <= (QWORD(1) << 32);
}

// The value of every pair of characters read as two hexadecimal digits,
// or -1: one look-up per byte of data.
struct PAIR_TABLE {
    short value[65536];
    PAIR_TABLE()
    {
        for (int high = 0; high < 256; ++high) {
            for (int low = 0; low < 256; ++low) {
                int h = TABLES.hex[high], l = TABLES.hex[low];
                value[high << 8 | low] = short((h | l) < 0 ? -1 : h * 16 + l);
            }
        }
    }
};
const PAIR_TABLE PAIRS;

// The value of two hexadecimal digits, or -1.
inline int hex_byte(const char* text)
{
    return PAIRS.value[(unsigned char)text[0] << 8 | (unsigned char)text[1]];
}

bool is_extra_char(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::unique_ptr<PGMIO_HEX> new_block(DWORD start_address, DWORD segment_base)
{
    return std::unique_ptr<PGMIO_HEX>(new PGMIO_HEX{start_address, 0, segment_base, nullptr});
}

// Removes spaces, tabs, line feeds and carriage returns from a line in
// place; returns the new length. Most lines have none, or only a final
// carriage return, so those are looked for first.
size_t strip_extra_chars(char* line, size_t length)
{
    while (length > 0 && is_extra_char(line[length - 1]))
        --length;
    bool any = false;
    for (size_t i = 0; i < length; ++i)
        any |= (unsigned char)line[i] <= ' ';
    if (!any)
        return length;
    size_t kept = 0;
    for (size_t i = 0; i < length; ++i) {
        line[kept] = line[i];
        kept += is_extra_char(line[i]) ? 0 : 1;
    }
    return kept;
}

// The lines of a stream, read in large pieces. A line is what precedes a
// line feed, or the end of the stream; one of more than MAX_LINE
// characters is reported as too long.
class LINE_SOURCE {
public:
    explicit LINE_SOURCE(std::istream& input) : input_(input), buffer_(std::make_unique<char[]>(BUFFER_SIZE)) {}

    // False at the end of the stream; otherwise the next line, which the
    // caller may change in place until the next call.
    bool next(char*& line, size_t& length, bool& too_long)
    {
        fill();
        size_t available = end_ - begin_;
        if (available == 0)
            return false;
        line = buffer_.get() + begin_;
        const char* feed = static_cast<const char*>(std::memchr(line, '\n', std::min(available, MAX_LINE + 1)));
        too_long = feed == nullptr && available > MAX_LINE;
        length = feed ? size_t(feed - line) : std::min(available, MAX_LINE);
        begin_ += feed ? length + 1 : length;
        return true;
    }

    // True when reading failed, not just ended.
    bool failed() const { return input_.bad(); }

private:
    static const size_t BUFFER_SIZE = (size_t(1) << 16) + MAX_LINE + 1;

    // Keeps at least a longest line and its line feed in the buffer while
    // the stream has more.
    void fill()
    {
        if (end_ - begin_ > MAX_LINE || ended_)
            return;
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        input_.read(buffer_.get() + end_, std::streamsize(BUFFER_SIZE - end_));
        end_ += size_t(input_.gcount());
        ended_ = !input_;
    }

    std::istream& input_;
    std::unique_ptr<char[]> buffer_; // bytes read and not yet handed out, from begin_ to end_
    size_t begin_ = 0;
    size_t end_ = 0;
    bool ended_ = false;       // the stream has no more bytes
};

// The bytes of the block being gathered. A block's data array is handed
// out as it is when it is nearly full (a full 64 KiB segment is the common
// case), so most bytes are written once; other blocks get a copy of their
// exact size.
class BLOCK_BYTES {
public:
    BLOCK_BYTES() : bytes_(new BYTE[BLOCK_BUFFER_SIZE]), capacity_(BLOCK_BUFFER_SIZE) {}

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const BYTE* data() const { return bytes_.get(); }
    void clear() { size_ = 0; }

    void append(const BYTE* data, size_t count)
    {
        if (count == 0)
            return; // a record of no bytes may bring no array at all
        PGM_CHECK(size_ + count <= capacity_);
        std::memcpy(bytes_.get() + size_, data, count);
        size_ += count;
    }

    // The gathered bytes as a new array for a block; the buffer is left empty.
    std::unique_ptr<BYTE[]> take()
    {
        std::unique_ptr<BYTE[]> data;
        if (capacity_ - size_ <= HAND_OVER_SLACK) {
            data = std::move(bytes_);
            bytes_.reset(new BYTE[capacity_]);
        } else {
            data.reset(new BYTE[size_]);
            std::memcpy(data.get(), bytes_.get(), size_);
        }
        size_ = 0;
        return data;
    }

private:
    // Unused bytes a handed-out array may carry.
    static const size_t HAND_OVER_SLACK = 0x1100;

    std::unique_ptr<BYTE[]> bytes_; // capacity_ bytes, the first size_ gathered
    size_t capacity_;
    size_t size_ = 0;
};

} // namespace

void pgmio_delete_hex_blocks(PGMIO_HEX_LIST& list)
{
    for (PGMIO_HEX* block : list) {
        if (block != nullptr)
            delete[] block->data;
        delete block;
    }
    list.clear();
}

// The state of one read_hex_file pass.
class PGMIO_HEX_READER::READ_STATE {
public:
    READ_STATE(PGMIO_HEX_READER& reader, bool reverse_bits, const PGMIO_HEX_SINK* sink)
        : reader_(reader), reverse_bits_(reverse_bits), sink_(sink)
    {
    }

    // Reads the records of the stream into the reader's list; false, with
    // message 17920 for a bad record or 17923 posted for a failed read.
    bool read_all(std::istream& input, std::unique_ptr<MSG_O>& message);

private:
    // Acts on one line; false when reading must stop with message 17920.
    bool read_line(char* line, size_t length);
    void finish_without_end_record();
    bool read_fast_data_record(const char* line, size_t length, bool& sum_ok);
    bool read_record(const std::string& line);
    void begin_data_record(DWORD address);
    void extended_address_record(DWORD value, DWORD scale);
    void close_block();

    PGMIO_HEX_READER& reader_;
    bool reverse_bits_;
    const PGMIO_HEX_SINK* sink_;       // where closed blocks' bytes go; null: into the blocks
    std::unique_ptr<PGMIO_HEX> block_; // the block being gathered, not yet in the list
    bool new_block_pending_ = true;    // the next data record sets the block's start
    BLOCK_BYTES buffer_;               // the bytes of the block being gathered
    bool end_seen_ = false;            // the end-of-file record was read
    BYTE record_bytes_[255];           // the data of a fast-path record
};

bool PGMIO_HEX_READER::READ_STATE::read_all(std::istream& input, std::unique_ptr<MSG_O>& message)
{
    LINE_SOURCE lines(input);
    char* line = nullptr;
    size_t length = 0;
    bool too_long = false;
    int line_number = 0;
    while (!end_seen_ && lines.next(line, length, too_long)) {
        ++line_number;
        if (too_long || !read_line(line, length)) {
            message = pgm_msg_hex_checksum_error(line_number);
            return false;
        }
    }
    // A read that broke off is no shorter file.
    if (lines.failed()) {
        pgm_msg_file_io_error(std::string(reader_.file))->post();
        return false;
    }
    if (!end_seen_)
        finish_without_end_record();
    return true;
}

bool PGMIO_HEX_READER::READ_STATE::read_line(char* line, size_t length)
{
    reader_.checksum = 0;
    bool sum_ok = false;
    // Most lines are plain data records: tried as they stand first (a
    // final carriage return aside). A line with blanks inside fails the
    // fast path's checks before anything is done, and is tried again
    // once the blanks are gone.
    size_t plain = length;
    if (plain > 0 && line[plain - 1] == '\r')
        --plain;
    if (length > 0 && line[0] == ':' && read_fast_data_record(line, plain, sum_ok))
        return sum_ok;
    length = strip_extra_chars(line, length);
    if (length == 0 || line[0] != ':')
        return true;
    if (read_fast_data_record(line, length, sum_ok))
        return sum_ok;
    return read_record(std::string(line, length));
}

// A data record written in hexadecimal digits only, with the length its
// count asks for and within the address space, is decoded directly: true
// when the line was such a record, with sum_ok telling whether its
// checksum holds. The values are those of the field-by-field path, which
// takes every other line (and refuses the record when it is not of this
// form). Nothing is acted on until every digit has been checked.
bool PGMIO_HEX_READER::READ_STATE::read_fast_data_record(const char* line, size_t length, bool& sum_ok)
{
    if (length < 11 || line[7] != '0' || line[8] != '0')
        return false;
    int count = hex_byte(line + 1);
    if (count < 0 || length != size_t(11 + 2 * count))
        return false;
    int address_high = hex_byte(line + 3);
    int address_low = hex_byte(line + 5);
    int check = hex_byte(line + 9 + 2 * count);
    if ((address_high | address_low | check) < 0 ||
        !within_address_space(reader_.segment_base, DWORD(address_high * 256 + address_low), DWORD(count)))
        return false;
    BYTE* out = record_bytes_;
    int sum = count + address_high + address_low + check;
    int bad = 0;
    const char* digits = line + 9;
    for (int i = 0; i < count; ++i, digits += 2) {
        int value = hex_byte(digits);
        bad |= value;
        sum += value;
        out[i] = BYTE(value);
    }
    if (bad < 0)
        return false;
    if (reverse_bits_) {
        for (int i = 0; i < count; ++i)
            out[i] = TABLES.reversed[out[i]];
    }
    begin_data_record(DWORD(address_high * 256 + address_low));
    buffer_.append(out, size_t(count));
    reader_.checksum = DWORD(sum);
    reader_.current_address += DWORD(count);
    sum_ok = (sum & 0xFF) == 0;
    return true;
}

// A record field by field. parse_hex_string cuts the fields by their
// lengths only; the reader also needs every field to be hexadecimal digits
// (so that each converts whole), the data length of the record's type, and
// data that stay within the address space. Any other record stops the read.
bool PGMIO_HEX_READER::READ_STATE::read_record(const std::string& line)
{
    std::string count_text, address_text, type_text, data_text, checksum_text;
    if (!reader_.parse_hex_string(&line, &count_text, &address_text, &type_text, &data_text, &checksum_text))
        return false;
    for (const std::string* field : {&count_text, &address_text, &type_text, &data_text, &checksum_text}) {
        if (!all_hex_digits(*field))
            return false;
    }
    int length = record_length(type_text);
    if (length >= 0 && hex_field(count_text) != DWORD(length))
        return false;
    reader_.checksum += hex_field(type_text);
    if (type_text == "00") {
        DWORD address = hex_field(address_text);
        DWORD count = hex_field(count_text);
        if (!within_address_space(reader_.segment_base, address, count))
            return false;
        reader_.checksum += ((address >> 8) & 0xFF) + (address & 0xFF);
        begin_data_record(address);
        reader_.checksum += count;
        std::vector<BYTE> bytes(count);
        reader_.interpret_hex_line(data_text, count, bytes.data(), reverse_bits_);
        reader_.checksum += hex_field(checksum_text);
        buffer_.append(bytes.data(), bytes.size());
    } else if (type_text == "01") {
        if (!block_)
            block_ = new_block(0, 0);
        close_block();
        end_seen_ = true;
        reader_.checksum = 0;
    } else if (type_text == "02" || type_text == "04") {
        DWORD value = hex_field(data_text);
        reader_.checksum += 2 + ((value >> 8) & 0xFF) + (value & 0xFF) + hex_field(checksum_text);
        extended_address_record(value, type_text == "02" ? 16 : 65536);
    } else if (type_text == "03" || type_text == "05") {
        reader_.checksum = 0;
    }
    return (reader_.checksum & 0xFF) == 0;
}

// Starts a new block when the record does not continue the current one.
void PGMIO_HEX_READER::READ_STATE::begin_data_record(DWORD address)
{
    if (new_block_pending_) {
        if (!block_)
            block_ = new_block(0, 0);
        block_->start_address = address;
        reader_.current_address = address;
    } else if (address != reader_.current_address) {
        close_block();
        block_ = new_block(address, reader_.segment_base);
        buffer_.clear();
        reader_.current_address = address;
    }
    new_block_pending_ = false;
}

void PGMIO_HEX_READER::READ_STATE::extended_address_record(DWORD value, DWORD scale)
{
    if (!buffer_.empty())
        close_block();
    reader_.segment_base = value * scale;
    block_ = new_block(0, reader_.segment_base);
    buffer_.clear();
    reader_.current_address = 0;
    new_block_pending_ = true;
}

// Moves the block being gathered, with the buffered bytes, into the list.
// The list grows by the vector's own steps, so many blocks cost linear
// time; should it fail to grow, the block and its bytes are still owned here.
void PGMIO_HEX_READER::READ_STATE::close_block()
{
    block_->end_address = reader_.current_address - 1;
    if (sink_) {
        // The block stays without data; the buffer serves the next one.
        (*sink_)(*block_, buffer_.data());
        buffer_.clear();
        reader_.hex_list->push_back(block_.get());
        block_.release();
        return;
    }
    std::unique_ptr<BYTE[]> data = buffer_.take();
    reader_.hex_list->push_back(block_.get());
    block_->data = data.release();
    block_.release();
}

// A file that simply stops still delivers the bytes it gathered last.
void PGMIO_HEX_READER::READ_STATE::finish_without_end_record()
{
    if (block_ && !buffer_.empty())
        close_block();
}

// The lists that a reader and its copies hold: for each, how many of them
// hold it and whether the caller has seen it. The rules are in the header.
class PGMIO_HEX_READER::LIST_KEEPING {
public:
    // One more reader holds the list, which the keeping takes when it is new to it.
    void hold(PGMIO_HEX_LIST* list, bool seen)
    {
        if (list == nullptr)
            return;
        auto kept = find(list);
        if (kept == lists_.end()) {
            lists_.push_back({std::unique_ptr<PGMIO_HEX_LIST>(list), 0, false});
            kept = lists_.end() - 1;
        }
        ++kept->holders;
        kept->seen = kept->seen || seen;
    }

    void see(PGMIO_HEX_LIST* list)
    {
        auto kept = find(list);
        if (kept != lists_.end())
            kept->seen = true;
    }

    // One reader lets the list go: replaced when a read or set_hex_list
    // put another in its place, otherwise because the reader goes.
    void let_go(PGMIO_HEX_LIST* list, bool replaced)
    {
        auto kept = find(list);
        if (kept == lists_.end() || --kept->holders > 0)
            return;
        if (!kept->seen)
            pgmio_delete_hex_blocks(*kept->list);
        else if (replaced)
            kept->list.release(); // the caller's now
        lists_.erase(kept);
    }

private:
    struct KEPT {
        std::unique_ptr<PGMIO_HEX_LIST> list;
        unsigned holders; // readers whose current list it is
        bool seen;        // handed out by get_hex_list or in by set_hex_list
    };

    std::vector<KEPT>::iterator find(PGMIO_HEX_LIST* list)
    {
        return std::find_if(lists_.begin(), lists_.end(), [list](const KEPT& kept) { return kept.list.get() == list; });
    }

    std::vector<KEPT> lists_; // a few at a time: a list nobody holds leaves at once
};

PGMIO_HEX_READER::PGMIO_HEX_READER()
    : hex_list(nullptr), segment_base(0), current_address(0), absolute(false), checksum(0), required_size(0),
      lists_(std::make_shared<LIST_KEEPING>())
{
}

PGMIO_HEX_READER::PGMIO_HEX_READER(const PGMIO_HEX_READER& other)
    : file(other.file), hex_list(other.hex_list), segment_base(other.segment_base),
      current_address(other.current_address), absolute(other.absolute), checksum(other.checksum),
      required_size(other.required_size), lists_(other.lists_)
{
    lists_->hold(hex_list, false);
}

// The reader lets its list go as if it went, and holds the other's list.
PGMIO_HEX_READER& PGMIO_HEX_READER::operator=(const PGMIO_HEX_READER& other)
{
    if (this == &other)
        return *this;
    other.lists_->hold(other.hex_list, false);
    lists_->let_go(hex_list, false);
    file = other.file;
    hex_list = other.hex_list;
    segment_base = other.segment_base;
    current_address = other.current_address;
    absolute = other.absolute;
    checksum = other.checksum;
    required_size = other.required_size;
    lists_ = other.lists_;
    return *this;
}

PGMIO_HEX_READER::~PGMIO_HEX_READER()
{
    lists_->let_go(hex_list, false);
}

PGMIO_HEX_LIST* PGMIO_HEX_READER::get_hex_list() const
{
    lists_->see(hex_list);
    return hex_list;
}

void PGMIO_HEX_READER::set_hex_list(PGMIO_HEX_LIST* list)
{
    replace_list(list, true);
}

void PGMIO_HEX_READER::replace_list(PGMIO_HEX_LIST* list, bool seen)
{
    if (list == hex_list) {
        if (seen)
            lists_->see(list);
        return;
    }
    lists_->hold(list, seen);
    lists_->let_go(hex_list, true);
    hex_list = list;
}

void PGMIO_HEX_READER::remove_extra_chars(std::string& line)
{
    line.resize(strip_extra_chars(&line[0], line.size()));
}

bool PGMIO_HEX_READER::parse_hex_string(const std::string* current_string, std::string* number_of_string,
                                        std::string* address_string, std::string* type_string,
                                        std::string* data_string, std::string* checksum_string)
{
    PGM_CHECK(current_string != NULL);
    PGM_CHECK(number_of_string != NULL);
    PGM_CHECK(address_string != NULL);
    PGM_CHECK(type_string != NULL);
    PGM_CHECK(data_string != NULL);
    PGM_CHECK(checksum_string != NULL);
    if (current_string->size() <= 1)
        return false;
    std::string rest = current_string->substr(1);
    *number_of_string = rest.substr(0, 2);
    number_of_string->resize(2, '\0');
    QWORD count = hex_field(*number_of_string);
    rest.erase(0, 2);
    if (rest.empty())
        return false;
    *address_string = rest.substr(0, 4);
    rest.erase(0, 4);
    if (rest.empty())
        return false;
    *type_string = rest.substr(0, 2);
    rest.erase(0, 2);
    if (rest.size() != 2 * count + 2)
        return false;
    *data_string = rest.substr(0, rest.size() - 2);
    *checksum_string = rest.substr(rest.size() - 2);
    return true;
}

DWORD PGMIO_HEX_READER::interpret_hex_line(std::string& data_string, DWORD count, BYTE* output, bool reverse_bits)
{
    size_t position = 0;
    for (DWORD i = 0; i < count; ++i, position += 2) {
        PGM_CHECK_TEXT(data_string.size() - position >= 2, "data_string.size() >= 2");
        BYTE value = BYTE(std::strtoul(data_string.substr(position, 2).c_str(), nullptr, 16));
        checksum += value;
        output[i] = reverse_bits ? TABLES.reversed[value] : value;
    }
    data_string.erase(0, position);
    current_address += count;
    return count;
}

namespace {

// Finds the first pair of blocks, in list order, of which one starts
// strictly inside the other: for the first such block i, the earliest
// block j before it. Blocks that start at the same address are no pair.
//
// Before block i no pair exists among the earlier blocks, so of the blocks
// that start below block i only those with the greatest such start can
// contain it: an earlier-starting block that did would contain their start
// too. Each block is thus checked against one group and one range of
// starts in an ordered index, and the groups are searched entry by entry
// only once a pair is known to exist.
class OVERLAP_FINDER {
public:
    // True when block i overlaps an earlier one; j receives the earliest.
    bool check(size_t i, DWORD start, DWORD end, size_t& j)
    {
        auto below = groups_.lower_bound(start);
        bool contained = below != groups_.begin() && start < std::prev(below)->second.max_end;
        auto inside = start == DWORD(-1) ? groups_.end() : groups_.lower_bound(start + 1);
        bool contains = inside != groups_.end() && inside->first < end;
        if (contained)
            earliest(std::prev(below)->second, start, j);
        for (; contains && inside != groups_.end() && inside->first < end; ++inside)
            earliest(inside->second, 0, j);
        GROUP& group = groups_[start];
        group.entries.push_back({i, end});
        group.max_end = std::max(group.max_end, end);
        return contained || contains;
    }

private:
    struct ENTRY {
        size_t index; // position in the list
        DWORD end;    // absolute end, exclusive
    };
    struct GROUP {
        std::vector<ENTRY> entries; // the blocks that start here, in list order
        DWORD max_end = 0;          // the greatest end among them
    };

    // Lowers j to the first entry of the group that ends beyond limit.
    static void earliest(const GROUP& group, DWORD limit, size_t& j)
    {
        for (const ENTRY& entry : group.entries) {
            if (limit < entry.end) {
                j = std::min(j, entry.index);
                return;
            }
        }
    }

    std::map<DWORD, GROUP> groups_; // earlier blocks by absolute start
};

DWORD absolute_start(const PGMIO_HEX& block)
{
    return block.segment_base + block.start_address;
}

DWORD absolute_end(const PGMIO_HEX& block)
{
    return absolute_start(block) + pgmio_hex_size(block);
}

// Message 17921 for the first overlapping pair; null when there is none.
std::unique_ptr<MSG_O> find_overlap(const PGMIO_HEX_LIST& list)
{
    OVERLAP_FINDER finder;
    for (size_t i = 0; i < list.size(); ++i) {
        size_t j = list.size();
        if (finder.check(i, absolute_start(*list[i]), absolute_end(*list[i]), j))
            return pgm_msg_hex_overlap_error(absolute_start(*list[i]), absolute_start(*list[j]));
    }
    return nullptr;
}

// The file's memory depth: the highest end over its blocks.
DWORD memory_depth_of(const PGMIO_HEX_LIST& list)
{
    DWORD depth = 0;
    for (const PGMIO_HEX* block : list)
        depth = std::max(depth, absolute_end(*block));
    return depth;
}

} // namespace

bool PGMIO_HEX_READER::read_hex_file(bool reverse_bits, bool errors_as_warnings)
{
    return read_file(reverse_bits, errors_as_warnings, nullptr);
}

bool PGMIO_HEX_READER::read_hex_file(bool reverse_bits, bool errors_as_warnings, const PGMIO_HEX_SINK& sink)
{
    return read_file(reverse_bits, errors_as_warnings, &sink);
}

bool PGMIO_HEX_READER::read_file(bool reverse_bits, bool errors_as_warnings, const PGMIO_HEX_SINK* sink)
{
    std::string full_path = file.fullpath();
    if (!FIO_FILE_SYSTEM::exists(full_path)) {
        pgm_msg_file_io_error(std::string(file))->post();
        return false;
    }
    std::brisol_ifstream input(full_path.c_str(), std::ios::in | std::ios::binary);
    if (!input.is_open()) {
        pgm_msg_file_io_error(std::string(file))->post();
        return false;
    }
    replace_list(new PGMIO_HEX_LIST, false);
    // Every read starts outside any extended address.
    segment_base = 0;
    current_address = 0;

    std::unique_ptr<MSG_O> message;
    bool error = !READ_STATE(*this, reverse_bits, sink).read_all(input, message);
    if (hex_list->empty()) {
        // The record that stopped the read still tells where; 17922 then
        // says what the file as a whole is, as callers expect.
        if (message)
            pgm_msg_issue(*message, errors_as_warnings);
        message = pgm_msg_invalid_hex_file(std::string(file));
        error = true;
    }
    DWORD memory_depth = 0;
    if (!error) {
        memory_depth = memory_depth_of(*hex_list);
        message = find_overlap(*hex_list);
        error = message != nullptr;
    }
    if (message)
        pgm_msg_issue(*message, errors_as_warnings);
    pgm_post_depth_warnings(memory_depth, required_size, full_path);
    return !error;
}

// Whole-file input (text lines and bytes, plain or gzip-compressed), the
// full-path file streams, and the converters between the bitstream forms:
// DAT text, raw images, bit-matrix text, ICD bit rows and raw deflate.
#include "pgm/h/pgm_brisol_fstream.h"
#include "pgm/h/pgm_common.h"

#include "host/fio.h"
#include "host/mem.h"
#include "host/vxl.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_file_read.h"
#include "pgm/common/pgm_hex_digit.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include <zlib.h>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// The comment markers of the text bitstream forms.
const std::vector<std::string> BITSTREAM_COMMENTS = {"//", "#"};

std::string full_path_of(const char* path)
{
    return fio_narrow_path(fio_get_unc_full_path(FIO_PATH(path)));
}

// The size of an existing file; false when it is missing or its status fails.
bool file_size_of(const std::string& filepath, QWORD& size)
{
    FIO_STAT record;
    if (!FIO_FILE_SYSTEM::status(filepath, record))
        return false;
    size = QWORD(record.st_size);
    return true;
}

// The data lines of a DAT or ICD file. numbers, when given, receives the
// number in the file of each line kept.
std::vector<std::string> read_bitstream_lines(const std::string& filepath, std::vector<size_t>* numbers = nullptr)
{
    std::vector<std::string> input;
    // Blank lines are kept, so that each line keeps its number.
    PGM_CHECK_TEXT(PGM_COMMON::pgm_open_input_file(filepath.c_str(), input, 0, false, true),
                   "pgm_open_input_file(filepath.c_str(), input, 0, false)");
    std::vector<std::string> lines;
    for (PGM_NUMBERED_LINE& line : pgm_data_lines(input)) {
        lines.push_back(std::move(line.text));
        if (numbers != nullptr)
            numbers->push_back(line.number);
    }
    return lines;
}

} // namespace

std::vector<PGM_NUMBERED_LINE> pgm_data_lines(const std::vector<std::string>& input)
{
    std::vector<PGM_NUMBERED_LINE> lines;
    for (size_t i = 0; i < input.size(); ++i) {
        std::string data = PGM_COMMON::get_rid_white_space_and_comment(input[i], BITSTREAM_COMMENTS);
        if (!data.empty())
            lines.push_back({std::move(data), i + 1});
    }
    return lines;
}

void std::brisol_ifstream::open(const char* path, ios_base::openmode mode)
{
    if (path == nullptr) {
        setstate(ios_base::failbit);
        return;
    }
    basic_ifstream<char>::open(full_path_of(path), mode);
}

void std::brisol_ofstream::open(const char* path, ios_base::openmode mode)
{
    if (path == nullptr) {
        setstate(ios_base::failbit);
        return;
    }
    basic_ofstream<char>::open(full_path_of(path), mode);
}

bool PGM_COMMON::pgm_open_input_file(std::string filepath, std::vector<std::string>& lines, BYTE protection_mode,
                                     bool allow_empty, bool keep_empty_lines)
{
    lines.clear();
    QWORD file_size = 0;
    if (!file_size_of(filepath, file_size) || (file_size == 0 && !allow_empty))
        return false;
    // The protected forms of the suite are stored as plain or gzip text here.
    (void)protection_mode;
    VXL_ZIFSTREAM stream(filepath.c_str(), 1, nullptr, 16);
    if (!stream.is_open() || !stream.good() || stream.last_error() != VXL_ZSTREAM_OK)
        return false;
    std::string line;
    while (std::getline(stream, line) && stream.last_error() == VXL_ZSTREAM_OK) {
        if (!line.empty() || keep_empty_lines)
            lines.push_back(line);
    }
    // Damaged compressed data end the text early: that is a failed read,
    // not a shorter file.
    bool result = stream.last_error() == VXL_ZSTREAM_OK;
    stream.close();
    if (!result)
        lines.clear();
    return result;
}

namespace {

// The bytes of a file read to its end, with a final 0; null when it cannot
// be read or holds DWORD(-1) bytes or more.
BYTE* read_plain_to_end(std::istream& input, DWORD& size)
{
    std::vector<BYTE> content;
    while (input) {
        size_t filled = content.size();
        content.resize(filled + PGM_COMMON::BUFFER_SIZE);
        input.read(reinterpret_cast<char*>(&content[filled]), PGM_COMMON::BUFFER_SIZE);
        content.resize(filled + size_t(input.gcount()));
        if (content.size() >= QWORD(DWORD(-1)))
            return nullptr;
    }
    if (input.bad())
        return nullptr;
    std::unique_ptr<BYTE[]> data(new BYTE[content.size() + 1]);
    std::copy(content.begin(), content.end(), data.get());
    data[content.size()] = 0;
    size = DWORD(content.size());
    return data.release();
}

} // namespace

BYTE* pgm_read_plain_file(const std::string& filepath, QWORD file_size, DWORD& size)
{
    std::brisol_ifstream input(filepath, std::ios::in | std::ios::binary);
    if (!input.good())
        return nullptr;
    // A status size of 0 does not say that a file is empty: the files of
    // /proc and the like tell their size only by their end.
    if (file_size == 0)
        return read_plain_to_end(input, size);
    std::unique_ptr<BYTE[]> data(new BYTE[file_size + 1]);
    input.read(reinterpret_cast<char*>(data.get()), std::streamsize(file_size));
    if (QWORD(input.gcount()) != file_size)
        return nullptr;
    data[file_size] = 0;
    size = DWORD(file_size);
    return data.release();
}

namespace {

// The decompressed bytes of a gzip file, with a final 0; null when the
// compressed data are damaged, decompress to nothing (as an empty plain
// file gives null) or beyond a 32-bit size.
BYTE* read_compressed_file(VXL_ZIFSTREAM& zfile, DWORD& size)
{
    PGM_CHECK(zfile);
    std::vector<BYTE> content;
    while (zfile && zfile.last_error() == VXL_ZSTREAM_OK) {
        size_t filled = content.size();
        content.resize(filled + PGM_COMMON::BUFFER_SIZE);
        zfile.read(reinterpret_cast<char*>(&content[filled]), PGM_COMMON::BUFFER_SIZE);
        PGM_CHECK_TEXT(!zfile || DWORD(zfile.gcount()) == PGM_COMMON::BUFFER_SIZE,
                       "DWORD(zfile.gcount()) == BUFFER_SIZE");
        content.resize(filled + size_t(zfile.gcount()));
        if (content.size() >= QWORD(DWORD(-1)))
            return nullptr;
    }
    if (zfile.last_error() != VXL_ZSTREAM_OK)
        return nullptr;
    if (content.empty())
        return nullptr;
    std::unique_ptr<BYTE[]> data(new BYTE[content.size() + 1]);
    std::memcpy(data.get(), content.data(), content.size());
    data[content.size()] = 0;
    size = DWORD(content.size());
    return data.release();
}

} // namespace

BYTE* PGM_COMMON::pgm_open_input_bin_file(std::string filepath, DWORD& size)
{
    size = 0;
    QWORD file_size = 0;
    if (!file_size_of(filepath, file_size) || file_size < 1)
        return nullptr;
    VXL_ZIFSTREAM zfile(filepath.c_str(), 1, nullptr, 16);
    if (!zfile.is_open())
        return nullptr;
    if (zfile.is_compressed())
        return read_compressed_file(zfile, size);
    zfile.close();
    // The array's size travels in 32 bits.
    if (file_size >= QWORD(DWORD(-1)))
        return nullptr;
    return pgm_read_plain_file(filepath, file_size, size);
}

BYTE* PGM_COMMON::convert_dat_to_rbf(std::string filepath, DWORD& size)
{
    std::vector<BYTE> content;
    DWORD file_byte_size = 0;
    std::vector<size_t> numbers;
    const std::vector<std::string> lines = read_bitstream_lines(filepath, &numbers);
    for (size_t i = 0; i < lines.size(); ++i) {
        bool status = false;
        DWORD current_byte_size = 0;
        std::unique_ptr<BYTE[]> bytes(
            convert_hex_string_to_byte_array(lines[i], DWORD(-1), &current_byte_size, true, &status));
        if (!status || current_byte_size == 0)
            PGM_FAIL("%s:%zu: the line is not a word of hexadecimal digits", filepath.c_str(), numbers[i]);
        // Every word has the size of the first; the last may be shorter, as
        // when the file's bytes do not fill it (print_dat_file writes so).
        bool last = i + 1 == lines.size();
        if (i > 0 && (current_byte_size > file_byte_size || (current_byte_size < file_byte_size && !last)))
            PGM_FAIL("%s:%zu: the line holds %u byte%s, the first line %u; only the last line may hold fewer",
                     filepath.c_str(), numbers[i], unsigned(current_byte_size), current_byte_size == 1 ? "" : "s",
                     unsigned(file_byte_size));
        if (i == 0)
            file_byte_size = current_byte_size;
        content.insert(content.end(), bytes.get(), bytes.get() + current_byte_size);
        PGM_CHECK_TEXT(content.size() < QWORD(DWORD(-1)), "Invalid DAT file size");
    }
    if (content.empty())
        PGM_FAIL("Empty DAT file");
    std::unique_ptr<BYTE[]> data(new BYTE[content.size()]);
    std::memcpy(data.get(), content.data(), content.size());
    size = DWORD(content.size());
    return data.release();
}

void PGM_COMMON::print_dat_file(FILE* output, const BYTE* data, DWORD data_byte_size, DWORD byte_per_line,
                                std::string comment)
{
    PGM_CHECK(output != NULL && data != NULL && data_byte_size > 0 && byte_per_line > 0);
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string line;
    bool first_line = true;
    for (DWORD i = 0; i < data_byte_size; ++i) {
        const char digits[2] = {DIGITS[data[i] >> 4], DIGITS[data[i] & 0xF]};
        line.insert(0, digits, 2);
        if ((i + 1) % byte_per_line != 0 && i + 1 != data_byte_size)
            continue;
        if (first_line && !comment.empty())
            line += "\t// " + comment;
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), output);
        line.clear();
        first_line = false;
    }
}

namespace {

// Starts a replacement of filepath: with append, the old content is copied
// in first. The target changes only when the caller commits.
std::unique_ptr<FIO_ATOMIC_FILE> open_replacement(const std::string& filepath, bool append)
{
    auto file = std::make_unique<FIO_ATOMIC_FILE>(filepath);
    if (!append || file->stream() == nullptr || file->direct() || !FIO_FILE_SYSTEM::exists(filepath))
        return file;
    // An old file that cannot be read whole must not be replaced by the
    // new lines alone.
    std::brisol_ifstream old(filepath, std::ios::in | std::ios::binary);
    std::vector<char> piece(1 << 16);
    while (old.read(piece.data(), std::streamsize(piece.size())) || old.gcount() > 0)
        file->write(piece.data(), size_t(old.gcount()));
    if (!old.is_open() || old.bad())
        PGM_FAIL("Not able to read file: %s", filepath.c_str());
    return file;
}

void commit_replacement(FIO_ATOMIC_FILE& file, const std::string& filepath)
{
    if (!file.commit())
        PGM_FAIL("Not able to write file: %s (%s)", filepath.c_str(), file.reason().c_str());
}

} // namespace

void PGM_COMMON::print_dat_file(std::string filepath, const BYTE* data, DWORD data_byte_size, DWORD byte_per_line,
                                std::string comment, bool overwrite)
{
    PGM_CHECK(filepath.size() > 0);
    std::unique_ptr<FIO_ATOMIC_FILE> output = open_replacement(filepath, !overwrite);
    print_dat_file(output->stream(), data, data_byte_size, byte_per_line, comment);
    commit_replacement(*output, filepath);
}

namespace {

// One row of the bit matrix: col bits from bit on, advancing bit.
std::string bin_text_row(const BYTE* data, DWORD data_byte_size, QWORD& bit, DWORD col, bool left_to_right)
{
    std::string row;
    row.reserve(col);
    for (DWORD c = 0; c < col; ++c) {
        // The bit about to be read must lie inside the data.
        QWORD bit_end = bit + 1;
        PGM_CHECK_TEXT((bit_end + 7) / 8 <= data_byte_size, "(bit + 7)/8 <= data_byte_size");
        row += ((data[bit / 8] >> (bit % 8)) & 1) ? '1' : '0';
        ++bit;
    }
    if (!left_to_right)
        std::reverse(row.begin(), row.end());
    return row;
}

} // namespace

void PGM_COMMON::print_bin_text_file(std::string filepath, const BYTE* data, DWORD data_byte_size, DWORD row,
                                     DWORD col, bool reverse_row, bool left_to_right, DWORD alignment)
{
    PGM_CHECK(filepath.size());
    PGM_CHECK(data != NULL && data_byte_size > 0);
    PGM_CHECK(row > 0 && col > 0);
    PGM_CHECK(alignment > 0);
    FIO_ATOMIC_FILE file(filepath);
    FILE* output = file.stream();
    PGM_CHECK(output != NULL);
    std::vector<std::string> rows;
    QWORD bit = 0;
    for (DWORD r = 0; r < row; ++r) {
        rows.push_back(bin_text_row(data, data_byte_size, bit, col, left_to_right) + "\n");
        bit = ((bit - 1 + alignment) / alignment) * alignment;
    }
    // The rows are written last first, unless the reverse flag turns that
    // back into the order they were made in.
    if (!reverse_row)
        std::reverse(rows.begin(), rows.end());
    for (const std::string& text : rows)
        file.write(text.data(), text.size());
    commit_replacement(file, filepath);
}

void PGM_COMMON::standardize_text_file(std::string filepath)
{
    DWORD size = 0;
    std::unique_ptr<BYTE[]> data(pgm_open_input_bin_file(filepath, size));
    if (!data || size == 0)
        return;
    std::string text;
    text.reserve(size);
    bool replaced = false;
    for (DWORD i = 0; i < size; ++i) {
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') {
            replaced = true;
            continue;
        }
        text += char(data[i]);
    }
    if (!replaced)
        return;
    FIO_ATOMIC_FILE output(filepath);
    PGM_CHECK_TEXT(output.stream() != nullptr, "output.good()");
    output.write(text.data(), text.size());
    PGM_CHECK_TEXT(output.commit(), "output.good()");
}

BYTE* PGM_COMMON::zlib_compress(const BYTE* data, DWORD data_size, DWORD& compressed_size, DWORD padding)
{
    PGM_CHECK(data != NULL && data_size > 0);
    compressed_size = 0;
    z_stream stream;
    std::memset(&stream, 0, sizeof(stream));
    if (deflateInit2(&stream, 9, Z_DEFLATED, -13, 8, Z_FIXED) != Z_OK)
        return nullptr;
    // One and a quarter times the input is too little for tiny inputs;
    // zlib's own bound always holds the finished stream.
    QWORD bound = std::max<QWORD>((QWORD(data_size) * 125 + 99) / 100, deflateBound(&stream, data_size));
    if (bound + padding >= QWORD(DWORD(-1))) {
        deflateEnd(&stream);
        PGM_FAIL("Compressed data size exceeds 32 bits");
    }
    std::unique_ptr<BYTE[]> compressed_data(new BYTE[bound + padding]());
    stream.next_in = const_cast<BYTE*>(data);
    stream.avail_in = data_size;
    stream.next_out = compressed_data.get();
    stream.avail_out = DWORD(bound);
    int err = deflate(&stream, Z_NO_FLUSH);
    if (err == Z_OK)
        err = deflate(&stream, Z_FINISH);
    QWORD total_out = stream.total_out;
    deflateEnd(&stream);
    PGM_CHECK_TEXT(err == Z_STREAM_END, "err == ZLIB_STREAM_END");
    PGM_CHECK_TEXT(total_out <= bound, "stream.total_out <= compressed_size");
    compressed_size = DWORD(total_out + padding);
    return compressed_data.release();
}

namespace {

// The bit count of one stripped ICD line; checks binary digits.
QWORD icd_line_bits(const std::string& line, bool binary, bool allow_z)
{
    if (!binary)
        return QWORD(line.size()) * 4;
    for (char c : line) {
        if (c != '0' && c != '1' && !(allow_z && c == 'Z'))
            PGM_FAIL("Invalid char: %c", c);
    }
    return line.size();
}

// The bits of one line in writing order: four per hexadecimal digit, most
// significant first, or one per binary digit.
std::vector<bool> icd_line_bit_values(const std::string& line, bool binary)
{
    std::vector<bool> bits;
    bits.reserve(binary ? line.size() : line.size() * 4);
    for (char c : line) {
        if (binary) {
            bits.push_back(c == '1');
            continue;
        }
        // Other characters count as a digit 0, as their four bits do.
        int value = std::max(pgm_hex_digit_value(c), 0);
        for (int b = 3; b >= 0; --b)
            bits.push_back((value >> b) & 1);
    }
    return bits;
}

} // namespace

BYTE* PGM_COMMON::parse_icd_file(std::string filepath, DWORD& bit_count, bool binary, bool first_line_first,
                                 bool lowest_bit_first, bool allow_z)
{
    bit_count = 0;
    std::vector<std::string> lines = read_bitstream_lines(filepath);
    std::vector<QWORD> line_info;
    QWORD total = 0;
    for (std::string& line : lines) {
        stl_toupper(line);
        line_info.push_back(icd_line_bits(line, binary, allow_z));
        total += line_info.back();
    }
    if (total == 0)
        PGM_FAIL("Invalid ICD input file");
    PGM_CHECK_TEXT(total <= QWORD(DWORD(-1)), "Invalid ICD input file");
    std::vector<std::vector<bool>> line_bits;
    for (const std::string& line : lines)
        line_bits.push_back(icd_line_bit_values(line, binary));
    size_t line_count = line_bits.size();
    PGM_CHECK(line_count == line_info.size());

    std::unique_ptr<BYTE[]> result(new BYTE[(total + 7) / 8]());
    QWORD line_bit = 0;
    for (size_t n = 0; n < line_count; ++n) {
        const std::vector<bool>& bits = line_bits[first_line_first ? n : line_count - 1 - n];
        // Bit 0 of a line is its first written bit.
        for (size_t k = 0; k < bits.size(); ++k) {
            size_t index = lowest_bit_first ? k : bits.size() - 1 - k;
            if (bits[index])
                result[line_bit / 8] |= BYTE(1u << (line_bit % 8));
            ++line_bit;
        }
    }
    PGM_CHECK_TEXT(total == line_bit, "bit_count == line_bit");
    bit_count = DWORD(total);
    return result.release();
}

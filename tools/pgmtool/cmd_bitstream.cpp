// pgmtool dat2rbf, rbf2dat and icd2bin: the text forms of a bitstream and
// its raw binary form.
#include "pgmtool_frame.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace {

// The input text file, checked: the library takes an empty text file for a
// caller's mistake, here it is the user's.
std::string text_input(PGMTOOL_ARGS& args)
{
    const std::string path = args.input(args.files()[0]);
    FIO_STAT record;
    if (FIO_FILE_SYSTEM::status(path, record) && record.st_size == 0)
        throw PGMTOOL_FAILURE(path, "the file is empty");
    return path;
}

// What the library's checks of a DAT file mean.
const PGMTOOL_CONTENT DAT_FILE = {
    "DAT file",
    {{"Invalid DAT file size", "the data take 4 GiB or more"}}};

const PGMTOOL_CONTENT ICD_FILE = {"ICD file", {{"Invalid ICD input file", "the data take 4 Gibit or more"}}};

} // namespace

int pgmtool_dat2rbf(int argc, const char** argv)
{
    PGMTOOL_ARGS args("dat2rbf", {"dat2rbf IN.dat OUT.rbf"},
                      {"Writes the words of a DAT file as binary, in file order. Each line holds one word",
                       "in hexadecimal, its last byte first; every word must have the same size.",
                       "\"//\" and \"#\" start comments."},
                      "pgmtool dat2rbf bitstream.dat bitstream.rbf");
    if (!args.parse(argc, argv, 2, 2))
        return PGMTOOL_OK;
    const std::string input = text_input(args);
    const std::string& output = args.output(args.files()[1]);
    DWORD size = 0;
    std::unique_ptr<BYTE[]> data;
    pgmtool_reading(input, DAT_FILE, [&] {
        data.reset(PGM_COMMON::convert_dat_to_rbf(input, size));
        return true;
    });
    pgmtool_write_output(output, data.get(), size);
    args.summary("%s", pgmtool_amount(size, "byte").c_str());
    return PGMTOOL_OK;
}

int pgmtool_rbf2dat(int argc, const char** argv)
{
    int bytes_per_line = 4;
    PGMTOOL_ARGS args("rbf2dat", {"rbf2dat IN.rbf OUT.dat [--bytes-per-line=N]"},
                      {"Writes a binary file (plain or gzip-compressed) as a DAT file: N bytes per line",
                       "in hexadecimal, the last byte of each line first."},
                      "pgmtool rbf2dat bitstream.rbf bitstream.dat --bytes-per-line=8");
    args.integer("bytes_per_line", bytes_per_line, "Bytes on each line");
    if (!args.parse(argc, argv, 2, 2))
        return PGMTOOL_OK;
    pgmtool_at_least("bytes_per_line", bytes_per_line, 1);
    const std::string input = args.input(args.files()[0]);
    const std::string& path = args.output(args.files()[1]);

    DWORD size = 0;
    std::unique_ptr<BYTE[]> data(PGM_COMMON::pgm_open_input_bin_file(input, size));
    if (!data || size == 0)
        throw PGMTOOL_FAILURE(input, "the file is empty, or its compressed data are damaged");
    PGMTOOL_OUTPUT output(path);
    if (output.stream())
        PGM_COMMON::print_dat_file(output.stream(), data.get(), size, DWORD(bytes_per_line), "");
    output.commit();
    DWORD lines = (size - 1) / DWORD(bytes_per_line) + 1;
    args.summary("%s, %s", pgmtool_amount(size, "byte").c_str(), pgmtool_amount(lines, "line").c_str());
    return PGMTOOL_OK;
}

int pgmtool_icd2bin(int argc, const char** argv)
{
    bool binary = false, last_line_first = false, highest_bit_first = false, allow_z = false;
    PGMTOOL_ARGS args("icd2bin", {"icd2bin IN.icd OUT.bin [--binary] [--last-line-first] [--highest-bit-first] "
                                  "[--allow-z]"},
                      {"Writes the rows of bits of an ICD file as packed bits: bit k of the result is bit",
                       "k % 8 of byte k / 8. Lines hold hexadecimal digits (4 bits each, most significant",
                       "first), or binary digits with --binary. Any other character on a hexadecimal line",
                       "is read as four zero bits, with a warning naming the first line that holds one."},
                      "pgmtool icd2bin pattern.icd pattern.bin --last-line-first");
    args.flag("binary", binary, "Lines hold binary digits 0 and 1, not hexadecimal digits");
    args.flag("last_line_first", last_line_first, "Take the rows from the last line to the first");
    args.flag("highest_bit_first", highest_bit_first, "Take the bits of each row from its last bit to its first");
    args.flag("allow_z", allow_z, "With --binary, accept Z as a clear bit");
    if (!args.parse(argc, argv, 2, 2))
        return PGMTOOL_OK;
    const std::string input = text_input(args);
    const std::string& output = args.output(args.files()[1]);
    DWORD bits = 0;
    std::unique_ptr<BYTE[]> data;
    pgmtool_reading(input, ICD_FILE, [&] {
        data.reset(PGM_COMMON::parse_icd_file(input, bits, binary, !last_line_first, !highest_bit_first, allow_z));
        return true;
    });
    // The library reads a character that is no hexadecimal digit as a digit
    // 0: the user hears of it once, at the first line holding one.
    std::vector<std::string> lines;
    if (!binary && PGM_COMMON::pgm_open_input_file(input, lines, 0, false, true)) {
        auto other = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) == 0; };
        long first = 0;
        size_t characters = 0, affected = 0;
        char shown[8] = "";
        for (size_t n = 0; n < lines.size(); ++n) {
            std::string row = PGM_COMMON::get_rid_white_space_and_comment(lines[n], {"//", "#"});
            size_t count = size_t(std::count_if(row.begin(), row.end(), other));
            if (count > 0 && first == 0) {
                first = long(n + 1);
                unsigned char c = static_cast<unsigned char>(*std::find_if(row.begin(), row.end(), other));
                std::snprintf(shown, sizeof shown, std::isprint(c) ? "%c" : "\\x%02X", c);
            }
            characters += count;
            affected += count > 0;
        }
        if (first > 0)
            pgmtool_diagnose(PGMTOOL_WARNING, input, first,
                             "\"" + std::string(shown) + "\" is not a hexadecimal digit: read as four zero bits (" +
                                 pgmtool_amount(characters, "such character") + " on " +
                                 pgmtool_amount(affected, "line") + ")");
    }
    DWORD size = DWORD((QWORD(bits) + 7) / 8);
    pgmtool_write_output(output, data.get(), size);
    args.summary("%s, %s", pgmtool_amount(bits, "bit").c_str(), pgmtool_amount(size, "byte").c_str());
    return PGMTOOL_OK;
}

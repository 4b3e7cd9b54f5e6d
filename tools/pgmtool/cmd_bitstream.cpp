// pgmtool dat2rbf, rbf2dat and icd2bin: the text forms of a bitstream and
// its raw binary form.
#include "pgmtool_frame.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

// The input text file, checked: the library takes an empty text file for a
// caller's mistake, here it is the user's.
const std::string& text_input(const PGMTOOL_ARGS& args)
{
    const std::string& path = args.files()[0];
    pgmtool_check_input(path);
    FIO_STAT record;
    if (FIO_FILE_SYSTEM::status(path, record) && record.st_size == 0)
        throw PGMTOOL_FAILURE(path + " is empty");
    return path;
}

} // namespace

int pgmtool_dat2rbf(int argc, const char** argv)
{
    PGMTOOL_ARGS args("dat2rbf", {"pgmtool dat2rbf IN.dat OUT.rbf",
                                  "Writes the words of a DAT file as binary, in file order. Each line holds one",
                                  "word in hexadecimal, its last byte first; every word must have the same size.",
                                  "\"//\" and \"#\" start comments."});
    int parsed = args.parse(argc, argv, 2, 2);
    if (parsed >= 0)
        return parsed;
    const std::string& input = text_input(args);
    DWORD size = 0;
    std::unique_ptr<BYTE[]> data(PGM_COMMON::convert_dat_to_rbf(input, size));
    pgmtool_write_output(args.files()[1], data.get(), size);
    std::printf("%s\n", pgmtool_amount(size, "byte").c_str());
    return PGMTOOL_OK;
}

int pgmtool_rbf2dat(int argc, const char** argv)
{
    int bytes_per_line = 4;
    PGMTOOL_ARGS args("rbf2dat", {"pgmtool rbf2dat IN.rbf OUT.dat [--bytes_per_line=N]",
                                  "Writes a binary file (plain or gzip-compressed) as a DAT file: N bytes per",
                                  "line in hexadecimal, the last byte of each line first."});
    args.integer("bytes_per_line", bytes_per_line, "Bytes on each line, 4 when not given");
    int parsed = args.parse(argc, argv, 2, 2);
    if (parsed >= 0)
        return parsed;
    if (!pgmtool_count_ok("bytes_per_line", bytes_per_line, 1))
        return PGMTOOL_USAGE_ERROR;
    const std::string& input = args.files()[0];
    pgmtool_check_input(input);

    DWORD size = 0;
    std::unique_ptr<BYTE[]> data(PGM_COMMON::pgm_open_input_bin_file(input, size));
    if (!data || size == 0)
        throw PGMTOOL_FAILURE(input + " is empty or could not be read");
    const std::string& path = args.files()[1];
    errno = 0;
    FIO_ATOMIC_FILE output(path);
    if (output.stream())
        PGM_COMMON::print_dat_file(output.stream(), data.get(), size, DWORD(bytes_per_line), "");
    pgmtool_commit_output(output, path);
    DWORD lines = (size - 1) / DWORD(bytes_per_line) + 1;
    std::printf("%s, %s\n", pgmtool_amount(size, "byte").c_str(), pgmtool_amount(lines, "line").c_str());
    return PGMTOOL_OK;
}

int pgmtool_icd2bin(int argc, const char** argv)
{
    bool binary = false, last_line_first = false, highest_bit_first = false, allow_z = false;
    PGMTOOL_ARGS args("icd2bin", {"pgmtool icd2bin IN.icd OUT.bin [--binary] [--last_line_first] "
                                  "[--highest_bit_first] [--allow_z]",
                                  "Writes the rows of bits of an ICD file as packed bits: bit k of the result",
                                  "is bit k % 8 of byte k / 8. Each line holds hexadecimal digits (4 bits each,",
                                  "most significant first), or binary digits with --binary. The rows are taken",
                                  "from the first line on and each row from its first bit on, unless told",
                                  "otherwise. \"//\" and \"#\" start comments."});
    args.flag("binary", binary, "Lines hold binary digits 0 and 1, not hexadecimal digits");
    args.flag("last_line_first", last_line_first, "Take the rows from the last line to the first");
    args.flag("highest_bit_first", highest_bit_first, "Take the bits of each row from its last bit to its first");
    args.flag("allow_z", allow_z, "With --binary, accept Z as a clear bit");
    int parsed = args.parse(argc, argv, 2, 2);
    if (parsed >= 0)
        return parsed;
    const std::string& input = text_input(args);
    DWORD bits = 0;
    std::unique_ptr<BYTE[]> data(
        PGM_COMMON::parse_icd_file(input, bits, binary, !last_line_first, !highest_bit_first, allow_z));
    DWORD size = DWORD((QWORD(bits) + 7) / 8);
    pgmtool_write_output(args.files()[1], data.get(), size);
    std::printf("%s, %s\n", pgmtool_amount(bits, "bit").c_str(), pgmtool_amount(size, "byte").c_str());
    return PGMTOOL_OK;
}

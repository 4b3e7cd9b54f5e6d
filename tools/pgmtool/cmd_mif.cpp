// pgmtool mif2bin and mem2bin: memory initialisation files and text
// memory files as binary memory contents.
#include "pgmtool_frame.h"

#include "host/mio.h"

#include <cstdio>
#include <memory>

namespace {

// Why the memory initialisation file library refuses a file ("line 2:
// DEPTH ... is above the limit ..."), asked only after the reader has
// issued message 17925, which does not say.
std::string mif_refusal(const std::string& path)
{
    bool refused = false;
    for (const MSG_RECORD& record : msg_take_issued())
        refused |= record.id == 17925;
    MIO_FILE file(true);
    file.set_file_type(1);
    file.set_file_name(FIO_PATH(path).fullpath());
    if (!refused || (file.can_proceed_with_read() && file.read_file(0, 0)))
        return "";
    return ": " + file.get_error_text();
}

} // namespace

int pgmtool_mif2bin(int argc, const char** argv)
{
    int required_size = 0;
    PGMTOOL_ARGS args("mif2bin", {"pgmtool mif2bin IN.mif OUT.bin [--required_size=N]",
                                  "Writes the words of a memory initialisation file as packed bits: word 0",
                                  "first, each word from its lowest bit; bit k of the data is bit k % 8 of",
                                  "byte k / 8. With --required_size=N a warning tells when the data are not",
                                  "N bytes. A file may declare at most 4194304 words unless the setting",
                                  "PGM_MIF_MAX_WORDS allows more (e.g. --ini=PGM_MIF_MAX_WORDS=16777216)."});
    args.integer("required_size", required_size, "Expected size of the data in bytes, 0 for no check");
    int parsed = args.parse(argc, argv, 2, 2);
    if (parsed >= 0)
        return parsed;
    if (!pgmtool_count_ok("required_size", required_size, 0))
        return PGMTOOL_USAGE_ERROR;
    const std::string& input = args.files()[0];
    pgmtool_check_input(input);

    msg_take_issued(); // forget anything issued before
    PGMIO_MIF_READER reader;
    reader.set_file(input);
    reader.set_required_size(DWORD(required_size));
    if (!reader.read_mif_file())
        throw PGMTOOL_FAILURE(input + " could not be read" + mif_refusal(input));
    pgmtool_write_output(args.files()[1], reader.get_data(), reader.get_byte_size());
    std::printf("%s, %s\n", pgmtool_amount(reader.get_bit_size(), "bit").c_str(),
                pgmtool_amount(reader.get_byte_size(), "byte").c_str());
    return PGMTOOL_OK;
}

int pgmtool_mem2bin(int argc, const char** argv)
{
    int width = 0, depth = 0;
    PGMTOOL_ARGS args("mem2bin", {"pgmtool mem2bin IN.txt OUT.bin [--width=N] [--depth=N]",
                                  "Writes a text memory file, one word per line, as bytes: each word takes",
                                  "(width + 7) / 8 bytes, lowest bit first. A line is \"b\" and binary digits,",
                                  "\"0x\" and hexadecimal digits, or a number; \"//\" and \"#\" start comments.",
                                  "Without --width the first word sets it; without --depth every word is read."});
    args.integer("width", width, "Bits per word, 0 to take it from the first word");
    args.integer("depth", depth, "Number of words, 0 for every word of the file");
    int parsed = args.parse(argc, argv, 2, 2);
    if (parsed >= 0)
        return parsed;
    if (!pgmtool_count_ok("width", width, 0) || !pgmtool_count_ok("depth", depth, 0))
        return PGMTOOL_USAGE_ERROR;
    const std::string& input = args.files()[0];
    pgmtool_check_input(input);

    DWORD word_width = DWORD(width), word_count = DWORD(depth), size = 0;
    std::unique_ptr<BYTE[]> data(PGM_COMMON::read_memory_file(input, word_width, word_count, size));
    pgmtool_write_output(args.files()[1], data.get(), size);
    std::printf("width %s, depth %s, size %s\n", pgmtool_amount(word_width, "bit").c_str(),
                pgmtool_amount(word_count, "word").c_str(), pgmtool_amount(size, "byte").c_str());
    return PGMTOOL_OK;
}

// pgmtool mif2bin and mem2bin: memory initialisation files and text
// memory files as binary memory contents.
#include "pgmtool_frame.h"

#include <cstdlib>
#include <memory>

namespace {

// Tells why the reader refused the file's text ("line 2: DEPTH ... is
// above the limit ..."), after the reader's own message, which does not
// say; nothing when there is no such reason.
void tell_mif_reason(const std::string& path, std::string reason)
{
    if (reason.empty())
        return;
    long line = 0;
    if (reason.compare(0, 5, "line ") == 0) {
        char* end = nullptr;
        line = std::strtol(reason.c_str() + 5, &end, 10);
        if (end != nullptr && end[0] == ':' && end[1] == ' ')
            reason.erase(0, size_t(end + 2 - reason.c_str()));
    }
    pgmtool_diagnose(PGMTOOL_ERROR, path, line, reason);
}

// What the library's checks of a text memory file mean.
const PGMTOOL_CONTENT MEMORY_FILE = {
    "text memory file",
    {{"width <= 64", "a decimal word is read as 64 bits, which --width must not exceed"},
     {"binary_size", "a binary word (\"b\") has no digits"},
     {"line_count", "the file holds no words"}}};

} // namespace

int pgmtool_mif2bin(int argc, const char** argv)
{
    int required_size = 0;
    PGMTOOL_ARGS args("mif2bin", {"mif2bin IN.mif OUT.bin [--required-size=N]"},
                      {"Writes the words of a memory initialisation file as packed bits: word 0 first,",
                       "each word from its lowest bit. A file may declare at most 4194304 words unless",
                       "the setting PGM_MIF_MAX_WORDS allows more (--ini=PGM_MIF_MAX_WORDS=16777216)."},
                      "pgmtool mif2bin rom.mif rom.bin --required-size=32");
    args.integer("required_size", required_size, "Expected size of the data in bytes (warns), 0 for no check");
    if (!args.parse(argc, argv, 2, 2))
        return PGMTOOL_OK;
    pgmtool_at_least("required_size", required_size, 0);
    const std::string input = args.input(args.files()[0]);
    const std::string& output = args.output(args.files()[1]);

    PGMIO_MIF_READER reader;
    reader.set_file(input);
    reader.set_required_size(DWORD(required_size));
    pgmtool_reading(input, {"memory initialisation file", {}}, [&] {
        bool read = reader.read_mif_file();
        if (!read)
            tell_mif_reason(input, reader.get_error_text());
        return read;
    });
    pgmtool_write_output(output, reader.get_data(), reader.get_byte_size());
    args.summary("%s, %s", pgmtool_amount(reader.get_bit_size(), "bit").c_str(),
                 pgmtool_amount(reader.get_byte_size(), "byte").c_str());
    return PGMTOOL_OK;
}

int pgmtool_mem2bin(int argc, const char** argv)
{
    int width = 0, depth = 0;
    PGMTOOL_ARGS args("mem2bin", {"mem2bin IN.txt OUT.bin [--width=N] [--depth=N]"},
                      {"Writes a text memory file, one word per line, as bytes: each word takes",
                       "(width + 7) / 8 bytes, lowest bit first. A line is \"b\" and binary digits, \"0x\"",
                       "and hexadecimal digits, or a number; \"//\" and \"#\" start comments."},
                      "pgmtool mem2bin coefficients.txt coefficients.bin --width=12");
    args.integer("width", width, "Bits per word, 0 to take it from the first word");
    args.integer("depth", depth, "Number of words, 0 for every word of the file");
    if (!args.parse(argc, argv, 2, 2))
        return PGMTOOL_OK;
    pgmtool_at_least("width", width, 0);
    pgmtool_at_least("depth", depth, 0);
    const std::string input = args.input(args.files()[0]);
    const std::string& output = args.output(args.files()[1]);

    DWORD word_width = DWORD(width), word_count = DWORD(depth), size = 0;
    std::unique_ptr<BYTE[]> data;
    pgmtool_reading(input, MEMORY_FILE, [&] {
        data.reset(PGM_COMMON::read_memory_file(input, word_width, word_count, size));
        return true;
    });
    pgmtool_write_output(output, data.get(), size);
    args.summary("width %s, depth %s, size %s", pgmtool_amount(word_width, "bit").c_str(),
                 pgmtool_amount(word_count, "word").c_str(), pgmtool_amount(size, "byte").c_str());
    return PGMTOOL_OK;
}

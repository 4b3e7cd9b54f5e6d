// Reading programming files: a hexadecimal record file flattened to an
// image, the block reader alone, and a memory initialisation file, over
// files written once per run in the forms tools write them.
#include "pgm/h/pgm_common_export.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace {

const DWORD IMAGE_SIZE = 16U << 20;
const DWORD MIF_WORDS = 1U << 20;
const DWORD SMALL_BLOCKS = 50000;
const size_t DECIMAL_DIGITS = 2000000;

// The files written for this run, removed when it ends.
struct TEMP_FILES {
    std::vector<std::string> paths;
    ~TEMP_FILES()
    {
        for (const std::string& path : paths)
            std::remove(path.c_str());
    }
};

std::string temp_path(const char* name)
{
    static TEMP_FILES files;
    files.paths.push_back("/tmp/pgm_bench_" + std::to_string(getpid()) + "_" + name);
    return files.paths.back();
}

void append_byte(std::string& text, unsigned value)
{
    static const char digits[] = "0123456789ABCDEF";
    text += digits[(value >> 4) & 0xF];
    text += digits[value & 0xF];
}

// One record: count, address, type, data and checksum.
void append_record(std::string& text, DWORD address, unsigned type, const BYTE* data, unsigned count)
{
    unsigned sum = count + (address >> 8 & 0xFF) + (address & 0xFF) + type;
    text += ':';
    append_byte(text, count);
    append_byte(text, address >> 8);
    append_byte(text, address);
    append_byte(text, type);
    for (unsigned i = 0; i < count; ++i) {
        append_byte(text, data[i]);
        sum += data[i];
    }
    append_byte(text, (0x100 - (sum & 0xFF)) & 0xFF);
    text += '\n';
}

void write_text(const std::string& file, const std::string& text)
{
    FILE* out = std::fopen(file.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
}

// A random image as 32-byte records with an extended linear address record
// before every 64 KiB.
const std::string& hex_file()
{
    static const std::string path = [] {
        std::mt19937 random(3);
        std::vector<BYTE> image(IMAGE_SIZE);
        for (BYTE& b : image)
            b = BYTE(random());
        std::string text;
        for (DWORD offset = 0; offset < IMAGE_SIZE; offset += 32) {
            if (offset % 0x10000 == 0) {
                const BYTE upper[2] = {BYTE(offset >> 24), BYTE(offset >> 16)};
                append_record(text, 0, 4, upper, 2);
            }
            append_record(text, offset & 0xFFFF, 0, &image[offset], 32);
        }
        text += ":00000001FF\n";
        std::string file = temp_path("image.hex");
        write_text(file, text);
        return file;
    }();
    return path;
}

// Bytes as 8-bit words, one "address : word;" entry per line.
const std::string& mif_file()
{
    static const std::string path = [] {
        std::mt19937 random(4);
        std::string text = "WIDTH=8;\nDEPTH=" + std::to_string(MIF_WORDS) +
                           ";\n\nADDRESS_RADIX=HEX;\nDATA_RADIX=HEX;\n\nCONTENT BEGIN\n";
        char line[32];
        for (DWORD address = 0; address < MIF_WORDS; ++address) {
            std::snprintf(line, sizeof(line), "%06X : %02X;\n", address, unsigned(random() & 0xFF));
            text += line;
        }
        text += "END;\n";
        std::string file = temp_path("words.mif");
        write_text(file, text);
        return file;
    }();
    return path;
}

// One-byte blocks with a gap after each, 32768 of them in each 64 KiB
// segment: as many blocks as records.
const std::string& small_blocks_hex_file()
{
    static const std::string path = [] {
        std::string text;
        for (DWORD i = 0; i < SMALL_BLOCKS; ++i) {
            if (i % 0x8000 == 0) {
                const BYTE upper[2] = {0, BYTE(i / 0x8000)};
                append_record(text, 0, 4, upper, 2);
            }
            const BYTE data = BYTE(i);
            append_record(text, (i % 0x8000) * 2, 0, &data, 1);
        }
        text += ":00000001FF\n";
        std::string file = temp_path("blocks.hex");
        write_text(file, text);
        return file;
    }();
    return path;
}

// One decimal word of DECIMAL_DIGITS random digits, in a file just wide
// enough for it.
const std::string& decimal_mif_file()
{
    static const std::string path = [] {
        std::mt19937 random(5);
        std::string word(DECIMAL_DIGITS, '0');
        for (char& digit : word)
            digit = char('0' + random() % 10);
        word[0] = '9';
        // 2^WIDTH > 10^DECIMAL_DIGITS: WIDTH > DECIMAL_DIGITS x log2(10).
        std::string width = std::to_string(DECIMAL_DIGITS * 3322 / 1000 + 1);
        std::string file = temp_path("decimal.mif");
        write_text(file, "WIDTH=" + width + ";\nDEPTH=1;\nDATA_RADIX=DEC;\nCONTENT BEGIN\n0 : " + word + ";\nEND;\n");
        return file;
    }();
    return path;
}

long file_size(const std::string& path)
{
    FIO_STAT record;
    return FIO_FILE_SYSTEM::status(path, record) ? long(record.st_size) : 0;
}

void read_hex_data(benchmark::State& state)
{
    const std::string& path = hex_file();
    for (auto _ : state) {
        DWORD size = 0, lowest = 0;
        std::unique_ptr<BYTE[]> image(PGM_COMMON::read_hex_data(path, size, lowest));
        benchmark::DoNotOptimize(image.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file_size(path));
}

void hex_reader_blocks(benchmark::State& state)
{
    const std::string& path = hex_file();
    for (auto _ : state) {
        PGMIO_HEX_READER reader;
        reader.set_file(path);
        benchmark::DoNotOptimize(reader.read_hex_file(false, false));
        pgmio_delete_hex_blocks(*reader.get_hex_list());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file_size(path));
}

// Reading, checking for overlaps and flattening many small blocks.
void hex_small_blocks(benchmark::State& state)
{
    const std::string& path = small_blocks_hex_file();
    for (auto _ : state) {
        DWORD size = 0, lowest = 0;
        std::unique_ptr<BYTE[]> image(PGM_COMMON::read_hex_data(path, size, lowest));
        benchmark::DoNotOptimize(image.get());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * SMALL_BLOCKS);
}

// What pgmtool hex2bin asks of the library: the blocks, and the stretches
// of the image they give in address order (the image itself is never made).
void hex_image_pieces(benchmark::State& state)
{
    const std::string& path = state.range(0) == 0 ? hex_file() : small_blocks_hex_file();
    for (auto _ : state) {
        PGMIO_HEX_READER reader;
        reader.set_file(path);
        benchmark::DoNotOptimize(reader.read_hex_file(false, false));
        benchmark::DoNotOptimize(pgmio_hex_pieces(*reader.get_hex_list()).size());
        pgmio_delete_hex_blocks(*reader.get_hex_list());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file_size(path));
}

// What pgmtool hex2bin asks of the library when the blocks come in address
// order: their bytes handed over as they close, none held.
void hex_reader_sink(benchmark::State& state)
{
    const std::string& path = hex_file();
    for (auto _ : state) {
        PGMIO_HEX_READER reader;
        reader.set_file(path);
        QWORD bytes = 0;
        benchmark::DoNotOptimize(reader.read_hex_file(
            false, false, [&bytes](const PGMIO_HEX& block, const BYTE*) { bytes += pgmio_hex_size(block); }));
        benchmark::DoNotOptimize(bytes);
        pgmio_delete_hex_blocks(*reader.get_hex_list());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file_size(path));
}

void mif_long_decimal_word(benchmark::State& state)
{
    const std::string& path = decimal_mif_file();
    for (auto _ : state) {
        PGMIO_MIF_READER reader;
        reader.set_file(path);
        benchmark::DoNotOptimize(reader.read_mif_file());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file_size(path));
}

void mif_reader(benchmark::State& state)
{
    const std::string& path = mif_file();
    for (auto _ : state) {
        PGMIO_MIF_READER reader;
        reader.set_file(path);
        benchmark::DoNotOptimize(reader.read_mif_file());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * file_size(path));
}

} // namespace

BENCHMARK(read_hex_data)->Unit(benchmark::kMillisecond);
BENCHMARK(hex_reader_blocks)->Unit(benchmark::kMillisecond);
BENCHMARK(hex_small_blocks)->Unit(benchmark::kMillisecond);
// 0: 64 KiB blocks; 1: one-byte blocks.
BENCHMARK(hex_image_pieces)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(hex_reader_sink)->Unit(benchmark::kMillisecond);
BENCHMARK(mif_reader)->Unit(benchmark::kMillisecond);
BENCHMARK(mif_long_decimal_word)->Unit(benchmark::kMillisecond);

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
        FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
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
        FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
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
BENCHMARK(mif_reader)->Unit(benchmark::kMillisecond);

// Throughput of the CRC routines over a buffer of random bytes, beside
// zlib's crc32 and a plain one-bit-per-step loop. The readers of
// programming files are measured in bench_files.cpp.
#include "pgm/h/pgm_common_export.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

const std::vector<BYTE>& random_buffer(size_t size)
{
    static std::vector<BYTE> buffer;
    if (buffer.size() < size) {
        std::mt19937_64 random(1);
        buffer.resize(size);
        for (BYTE& b : buffer)
            b = BYTE(random());
    }
    return buffer;
}

constexpr DWORD LARGE = 64U << 20;
constexpr DWORD SMALL = 1U << 20;

// Runs fn over the first size bytes and reports bytes per second.
template <typename FN>
void run(benchmark::State& state, DWORD size, FN fn)
{
    const BYTE* data = random_buffer(LARGE).data();
    for (auto _ : state)
        benchmark::DoNotOptimize(fn(data, size));
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

// One step per bit, reflected, least significant bit first.
DWORD plain_reflected_crc(const BYTE* data, DWORD bit_count, DWORD crc, DWORD polynomial)
{
    for (DWORD i = 0; i < bit_count; ++i) {
        DWORD x = ((data[i / 8] >> (i % 8)) & 1) ^ (crc & 1);
        crc >>= 1;
        if (x)
            crc ^= polynomial;
    }
    return crc;
}

void zlib_crc32(benchmark::State& state)
{
    run(state, LARGE, [](const BYTE* d, DWORD n) { return crc32(0, d, n); });
}

// lsb_calculate_crc32 over the buffer from start_bit; a range that does
// not start on a byte boundary ends one byte early.
void lsb_crc32(benchmark::State& state, DWORD polynomial, bool msb_first, DWORD start_bit)
{
    run(state, LARGE, [=](const BYTE* d, DWORD n) {
        DWORD bits = start_bit ? n * 8 - 8 : n * 8;
        return PGM_COMMON::lsb_calculate_crc32(d, start_bit, bits, 0xFFFFFFFF, polynomial, msb_first, true);
    });
}

void msb_crc32(benchmark::State& state, bool msb_first)
{
    run(state, LARGE, [=](const BYTE* d, DWORD n) {
        return PGM_COMMON::msb_calculate_crc32(d, 0, n * 8, 0xFFFFFFFF, 0x04C11DB7, msb_first);
    });
}

void crc16_modbus(benchmark::State& state)
{
    run(state, LARGE, [](const BYTE* d, DWORD n) { return PGM_COMMON::calculate_crc16(d, 0, n * 8, 0xFFFF, 0xA001); });
}

void sof_crc16_builtin_table(benchmark::State& state)
{
    run(state, LARGE,
        [](const BYTE* d, DWORD n) { return PGM_COMMON::calculate_sof_crc16(d, n, 0xFFFF, true, nullptr); });
}

void plain_bit_serial(benchmark::State& state)
{
    run(state, SMALL, [](const BYTE* d, DWORD n) { return plain_reflected_crc(d, n * 8, 0xFFFFFFFF, 0xEDB88320); });
}

} // namespace

BENCHMARK(zlib_crc32)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(lsb_crc32, zip, 0xEDB88320, false, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(lsb_crc32, table_polynomial, 0x88010000, false, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(lsb_crc32, castagnoli, 0x82F63B78, false, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(lsb_crc32, castagnoli_msb_first, 0x82F63B78, true, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(lsb_crc32, castagnoli_start_bit_3, 0x82F63B78, false, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(msb_crc32, mpeg2, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(msb_crc32, lsb_first, false)->Unit(benchmark::kMillisecond);
BENCHMARK(crc16_modbus)->Unit(benchmark::kMillisecond);
BENCHMARK(sof_crc16_builtin_table)->Unit(benchmark::kMillisecond);
BENCHMARK(plain_bit_serial)->Unit(benchmark::kMillisecond);

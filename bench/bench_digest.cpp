// Throughput of the library's SHA-256 and HMAC-SHA-256 over a buffer of
// random bytes, beside the same OpenSSL calls made directly.
#include "pgm/h/pgm_common_export.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <memory>
#include <random>
#include <vector>

namespace {

constexpr DWORD DIGEST_BUFFER_SIZE = 64U << 20;

const std::vector<BYTE>& digest_buffer()
{
    static const std::vector<BYTE> buffer = [] {
        std::mt19937_64 random(7);
        std::vector<BYTE> bytes(DIGEST_BUFFER_SIZE);
        for (BYTE& b : bytes)
            b = BYTE(random());
        return bytes;
    }();
    return buffer;
}

const BYTE HMAC_KEY[32] = {0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b,
                           0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x2c, 0x2c};

// Runs fn over the whole buffer and reports bytes per second.
template <typename FN>
void run(benchmark::State& state, FN fn)
{
    const std::vector<BYTE>& buffer = digest_buffer();
    for (auto _ : state)
        fn(buffer.data(), DWORD(buffer.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(DIGEST_BUFFER_SIZE));
}

void sha256_pgm_common(benchmark::State& state)
{
    run(state, [](const BYTE* data, DWORD size) {
        std::unique_ptr<BYTE[]> digest(PGM_COMMON::get_block_sha256(data, size));
        benchmark::DoNotOptimize(digest.get());
    });
}

void sha256_openssl_evp(benchmark::State& state)
{
    run(state, [](const BYTE* data, DWORD size) {
        BYTE digest[32];
        unsigned int length = 0;
        benchmark::DoNotOptimize(EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr));
        benchmark::DoNotOptimize(digest);
    });
}

void hmac256_pgm_common(benchmark::State& state)
{
    run(state, [](const BYTE* data, DWORD size) {
        std::unique_ptr<BYTE[]> mac(PGM_COMMON::get_block_hmac256(data, size, HMAC_KEY, sizeof(HMAC_KEY)));
        benchmark::DoNotOptimize(mac.get());
    });
}

void hmac256_openssl(benchmark::State& state)
{
    run(state, [](const BYTE* data, DWORD size) {
        BYTE mac[32];
        unsigned int length = 0;
        benchmark::DoNotOptimize(HMAC(EVP_sha256(), HMAC_KEY, sizeof(HMAC_KEY), data, size, mac, &length));
        benchmark::DoNotOptimize(mac);
    });
}

} // namespace

BENCHMARK(sha256_pgm_common)->Unit(benchmark::kMillisecond);
BENCHMARK(sha256_openssl_evp)->Unit(benchmark::kMillisecond);
BENCHMARK(hmac256_pgm_common)->Unit(benchmark::kMillisecond);
BENCHMARK(hmac256_openssl)->Unit(benchmark::kMillisecond);

// pgmtool sha, hmac, drbg and random: the library's digests, HMAC,
// deterministic random bits and pseudo-random values.
#include "pgmtool_frame.h"

#include <cstdio>
#include <memory>

namespace {

const DWORD DRBG_MOST_BYTES = 937; // the most one generate call gives
const size_t DRBG_LEAST_SEED = 24;  // bytes of entropy and nonce together

// The library's digest functions take a 32-bit size.
const uint64_t MOST_FILE_BYTES = 0xFFFFFFFFU;

// The raw bytes of a whole file (no decompression); "-" is standard input.
std::vector<BYTE> read_whole_file(const std::string& path)
{
    const std::string too_large = "holds more than " + std::to_string(MOST_FILE_BYTES) +
                                  " bytes, the most the library's digests take";
    FIO_STAT record;
    const uint64_t size = path != "-" && FIO_FILE_SYSTEM::status(path, record) ? uint64_t(record.st_size) : 0;
    if (size > MOST_FILE_BYTES)
        throw PGMTOOL_FAILURE(path, too_large);
    std::vector<BYTE> bytes;
    bytes.reserve(size_t(size));
    pgmtool_read_file_pieces(path, [&](const BYTE* piece, size_t piece_size) {
        if (piece_size > MOST_FILE_BYTES - bytes.size()) // the file grew while it was read
            throw PGMTOOL_FAILURE(path, too_large);
        bytes.insert(bytes.end(), piece, piece + piece_size);
    });
    return bytes;
}

std::string lower_hex(const BYTE* bytes, size_t size)
{
    return PGM_COMMON::convert_byte_array_to_standard_hex_string(const_cast<BYTE*>(bytes), DWORD(size), false);
}

// The bytes of a hexadecimal text in reading order, first two digits the
// first byte; a usage error when it is not such a text.
std::vector<BYTE> parse_hex(const char* name, const std::string& text)
{
    if (text.empty())
        return {};
    bool ok = text.size() % 2 == 0;
    DWORD size = 0;
    std::unique_ptr<BYTE[]> array;
    if (ok)
        array.reset(PGM_COMMON::convert_standard_hex_string_to_byte_array(text, DWORD(-1), &size, false, &ok));
    if (!ok)
        throw PGMTOOL_USAGE(std::string("--") + name + " must be hexadecimal digits, two per byte, not \"" + text +
                            "\"");
    return std::vector<BYTE>(array.get(), array.get() + size);
}

} // namespace

int pgmtool_sha(int argc, const char** argv)
{
    int bits = 256;
    PGMTOOL_ARGS args("sha", {"sha FILE [--bits=256|384|512]"},
                      {"Prints the SHA-256, SHA-384 or SHA-512 digest of the file's bytes (\"-\": standard",
                       "input) in lower-case hexadecimal, two spaces and the file name, as sha256sum does.",
                       "The file is read whole and may hold at most 4294967295 bytes."},
                      "pgmtool sha fw.bin --bits=384");
    args.integer("bits", bits, "Digest size in bits: 256, 384 or 512");
    if (!args.parse(argc, argv, 1, 1))
        return PGMTOOL_OK;
    if (bits != 256 && bits != 384 && bits != 512)
        throw PGMTOOL_USAGE("--bits must be 256, 384 or 512, not " + std::to_string(bits));
    const std::string& path = args.streamed_input(args.files()[0]);
    std::vector<BYTE> data = read_whole_file(path);
    const DWORD digest_size = DWORD(bits / 8);
    std::unique_ptr<BYTE[]> digest(PGM_COMMON::get_block_sha(data.data(), DWORD(data.size()), digest_size));
    std::printf("%s  %s\n", lower_hex(digest.get(), digest_size).c_str(), path.c_str());
    return PGMTOOL_OK;
}

int pgmtool_hmac(int argc, const char** argv)
{
    std::string key_text;
    PGMTOOL_ARGS args("hmac", {"hmac FILE --key=HEX"},
                      {"Prints the HMAC-SHA-256 of the file's bytes (\"-\": standard input) under the key",
                       "in lower-case hexadecimal, two spaces and the file name. HEX is the key's bytes in",
                       "reading order, two digits each (\"4a656665\" is \"Jefe\"); --key= is the empty key."},
                      "pgmtool hmac fw.bin --key=4a656665");
    args.text_or_empty("key=HEX", key_text, "The key as hexadecimal bytes");
    if (!args.parse(argc, argv, 1, 1))
        return PGMTOOL_OK;
    if (args.given_empty("key") && !key_text.empty())
        throw PGMTOOL_USAGE("--key is given twice");
    if (!args.given_empty("key") && key_text.empty())
        throw PGMTOOL_USAGE("hmac needs --key=HEX (--key= for the empty key)");
    std::vector<BYTE> key = parse_hex("key", key_text);
    const std::string& path = args.streamed_input(args.files()[0]);
    std::vector<BYTE> data = read_whole_file(path);
    std::unique_ptr<BYTE[]> mac(
        PGM_COMMON::get_block_hmac256(data.data(), DWORD(data.size()), key.data(), DWORD(key.size())));
    std::printf("%s  %s\n", lower_hex(mac.get(), 32).c_str(), path.c_str());
    return PGMTOOL_OK;
}

int pgmtool_drbg(int argc, const char** argv)
{
    std::string entropy_text, nonce_text, additional_text;
    int bytes = 0, calls = 1;
    PGMTOOL_ARGS args("drbg", {"drbg --entropy=HEX [--nonce=HEX] --bytes=N [--calls=K] [--additional=HEX]"},
                      {"Builds one HMAC_DRBG (HMAC-SHA-256) from the entropy followed by the nonce and",
                       "prints K generate calls of N bytes (1 to 937), one line of hexadecimal each. HEX",
                       "is bytes in reading order; the entropy and the nonce hold 24 bytes or more."},
                      "pgmtool drbg --entropy=000102030405060708090a0b0c0d0e0f --nonce=2021222324252627 "
                      "--bytes=40");
    args.text("entropy=HEX", entropy_text, "Entropy input as hexadecimal bytes");
    args.text_or_empty("nonce=HEX", nonce_text, "Nonce as hexadecimal bytes");
    args.integer("bytes", bytes, "Bytes per generate call, 1 to 937");
    args.integer("calls=K", calls, "Number of generate calls");
    args.text_or_empty("additional=HEX", additional_text, "Additional input of every call as hexadecimal bytes");
    if (!args.parse(argc, argv, 0, 0))
        return PGMTOOL_OK;
    std::vector<BYTE> entropy = parse_hex("entropy", entropy_text), nonce = parse_hex("nonce", nonce_text),
                      additional = parse_hex("additional", additional_text);
    if (entropy.empty())
        throw PGMTOOL_USAGE("drbg needs --entropy=HEX");
    if (bytes < 1 || DWORD(bytes) > DRBG_MOST_BYTES)
        throw PGMTOOL_USAGE("--bytes must be from 1 to " + std::to_string(DRBG_MOST_BYTES) + ", not " +
                            std::to_string(bytes));
    pgmtool_at_least("calls", calls, 1);
    if (entropy.size() + nonce.size() < DRBG_LEAST_SEED)
        throw PGMTOOL_USAGE("the entropy and the nonce together must hold at least " +
                            std::to_string(DRBG_LEAST_SEED) + " bytes, not " +
                            std::to_string(entropy.size() + nonce.size()));
    PGM_COMMON_HMAC_DRBG generator(entropy, nonce);
    for (int call = 0; call < calls; ++call) {
        std::vector<BYTE> output = generator.generate(DWORD(bytes), additional);
        std::printf("%s\n", lower_hex(output.data(), output.size()).c_str());
    }
    return PGMTOOL_OK;
}

int pgmtool_random(int argc, const char** argv)
{
    bool true_random = false;
    int count = 1;
    PGMTOOL_ARGS args("random", {"random [--true] [--count=N]"},
                      {"Prints N pseudo-random 32-bit values, one per line as 0x and 8 hexadecimal digits.",
                       "Seeded from the clock in seconds (runs within one second print the same values),",
                       "or with --true from a digest of the process, host and time in nanoseconds."},
                      "pgmtool random --count=4");
    args.flag("true", true_random, "Seed from the process, host and time instead of the clock in seconds");
    args.integer("count", count, "Number of values");
    if (!args.parse(argc, argv, 0, 0))
        return PGMTOOL_OK;
    pgmtool_at_least("count", count, 1);
    for (int i = 0; i < count; ++i) {
        DWORD value = true_random ? PGM_COMMON::get_true_random_dword() : PGM_COMMON::get_random_dword();
        std::printf("0x%08X\n", unsigned(value));
    }
    return PGMTOOL_OK;
}

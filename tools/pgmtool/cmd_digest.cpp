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

// The raw bytes of a whole file (no decompression).
std::vector<BYTE> read_whole_file(const std::string& path)
{
    pgmtool_check_input(path);
    const std::string too_large = path + " holds more than " + std::to_string(MOST_FILE_BYTES) +
                                  " bytes, the most the library's digests take";
    FIO_STAT record;
    const uint64_t size = FIO_FILE_SYSTEM::status(path, record) ? uint64_t(record.st_size) : 0;
    if (size > MOST_FILE_BYTES)
        throw PGMTOOL_FAILURE(too_large);
    std::vector<BYTE> bytes;
    bytes.reserve(size_t(size));
    pgmtool_read_file_pieces(path, [&](const BYTE* piece, size_t piece_size) {
        if (piece_size > MOST_FILE_BYTES - bytes.size()) // the file grew while it was read
            throw PGMTOOL_FAILURE(too_large);
        bytes.insert(bytes.end(), piece, piece + piece_size);
    });
    return bytes;
}

std::string lower_hex(const BYTE* bytes, size_t size)
{
    return PGM_COMMON::convert_byte_array_to_standard_hex_string(const_cast<BYTE*>(bytes), DWORD(size), false);
}

// The bytes of a hexadecimal text in reading order, first two digits the
// first byte; false, after saying so, when it is not such a text.
bool parse_hex(const char* name, const std::string& text, std::vector<BYTE>& bytes)
{
    bytes.clear();
    if (text.empty())
        return true;
    bool ok = text.size() % 2 == 0;
    DWORD size = 0;
    std::unique_ptr<BYTE[]> array;
    if (ok)
        array.reset(PGM_COMMON::convert_standard_hex_string_to_byte_array(text, DWORD(-1), &size, false, &ok));
    if (!ok) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "--%s must be hexadecimal digits, two per byte, not \"%s\"",
                                  name, text.c_str());
        return false;
    }
    bytes.assign(array.get(), array.get() + size);
    return true;
}

int usage_error(const char* text)
{
    PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "%s", text);
    return PGMTOOL_USAGE_ERROR;
}

} // namespace

int pgmtool_sha(int argc, const char** argv)
{
    int bits = 256;
    PGMTOOL_ARGS args("sha", {"pgmtool sha FILE [--bits=256|384|512]",
                              "Prints the SHA-256 (the default), SHA-384 or SHA-512 digest of the file's bytes",
                              "in lower-case hexadecimal, two spaces and the file name, as sha256sum does.",
                              "The file is read whole and may hold at most 4294967295 bytes."});
    args.integer("bits", bits, "Digest size in bits: 256, 384 or 512");
    int parsed = args.parse(argc, argv, 1, 1);
    if (parsed >= 0)
        return parsed;
    if (bits != 256 && bits != 384 && bits != 512) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "--bits must be 256, 384 or 512, not %d", bits);
        return PGMTOOL_USAGE_ERROR;
    }
    const std::string& path = args.files()[0];
    std::vector<BYTE> data = read_whole_file(path);
    const DWORD digest_size = DWORD(bits / 8);
    std::unique_ptr<BYTE[]> digest(PGM_COMMON::get_block_sha(data.data(), DWORD(data.size()), digest_size));
    std::printf("%s  %s\n", lower_hex(digest.get(), digest_size).c_str(), path.c_str());
    return PGMTOOL_OK;
}

int pgmtool_hmac(int argc, const char** argv)
{
    std::string key_text;
    PGMTOOL_ARGS args("hmac", {"pgmtool hmac FILE --key=HEX",
                               "Prints the HMAC-SHA-256 of the file's bytes under the key in lower-case",
                               "hexadecimal, two spaces and the file name. HEX is the key's bytes in reading",
                               "order, two digits each (\"4a656665\" is \"Jefe\"); --key= is the empty key.",
                               "The file is read whole and may hold at most 4294967295 bytes."});
    args.text_or_empty("key", key_text, "The key as hexadecimal bytes");
    int parsed = args.parse(argc, argv, 1, 1);
    if (parsed >= 0)
        return parsed;
    if (args.given_empty("key") && !key_text.empty())
        return usage_error("--key is given twice");
    if (!args.given_empty("key") && key_text.empty())
        return usage_error("hmac needs --key=HEX (--key= for the empty key)");
    std::vector<BYTE> key;
    if (!parse_hex("key", key_text, key))
        return PGMTOOL_USAGE_ERROR;
    const std::string& path = args.files()[0];
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
    PGMTOOL_ARGS args("drbg", {"pgmtool drbg --entropy=HEX [--nonce=HEX] --bytes=N [--calls=K] [--additional=HEX]",
                               "Builds one HMAC_DRBG (HMAC-SHA-256) from the entropy followed by the nonce and",
                               "prints the output of K generate calls (1 by default) of N bytes each, one line",
                               "of lower-case hexadecimal per call; every call folds in the same additional",
                               "input (none by default). HEX is bytes in reading order, two digits each.",
                               "N is 1 to 937; the entropy and the nonce together hold at least 24 bytes."});
    args.text("entropy", entropy_text, "Entropy input as hexadecimal bytes (not empty)");
    args.text_or_empty("nonce", nonce_text, "Nonce as hexadecimal bytes (none by default)");
    args.integer("bytes", bytes, "Bytes per generate call, 1 to 937");
    args.integer("calls", calls, "Number of generate calls (default 1)");
    args.text_or_empty("additional", additional_text, "Additional input of every call as hexadecimal bytes");
    int parsed = args.parse(argc, argv, 0, 0);
    if (parsed >= 0)
        return parsed;
    std::vector<BYTE> entropy, nonce, additional;
    if (!parse_hex("entropy", entropy_text, entropy) || !parse_hex("nonce", nonce_text, nonce) ||
        !parse_hex("additional", additional_text, additional))
        return PGMTOOL_USAGE_ERROR;
    if (entropy.empty())
        return usage_error("drbg needs --entropy=HEX");
    if (bytes < 1 || DWORD(bytes) > DRBG_MOST_BYTES) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0, "--bytes must be from 1 to %u, not %d",
                                  unsigned(DRBG_MOST_BYTES), bytes);
        return PGMTOOL_USAGE_ERROR;
    }
    if (!pgmtool_count_ok("calls", calls, 1))
        return PGMTOOL_USAGE_ERROR;
    if (entropy.size() + nonce.size() < DRBG_LEAST_SEED) {
        PGM_COMMON_MSG::print_msg(PGM_COMMON_MSG_ERROR, 0,
                                  "The entropy and the nonce together must hold at least %zu bytes, not %zu",
                                  DRBG_LEAST_SEED, entropy.size() + nonce.size());
        return PGMTOOL_USAGE_ERROR;
    }
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
    PGMTOOL_ARGS args("random", {"pgmtool random [--true] [--count=N]",
                                 "Prints N (1 by default) pseudo-random 32-bit values, one per line as 0x and",
                                 "8 upper-case hexadecimal digits. The generator is seeded from the clock in",
                                 "seconds, so runs within the same second print the same values; with --true it",
                                 "is seeded from a digest of the process, thread, host and time in nanoseconds."});
    args.flag("true", true_random, "Seed from the process, host and time instead of the clock in seconds");
    args.integer("count", count, "Number of values (default 1)");
    int parsed = args.parse(argc, argv, 0, 0);
    if (parsed >= 0)
        return parsed;
    if (!pgmtool_count_ok("count", count, 1))
        return PGMTOOL_USAGE_ERROR;
    for (int i = 0; i < count; ++i) {
        DWORD value = true_random ? PGM_COMMON::get_true_random_dword() : PGM_COMMON::get_random_dword();
        std::printf("0x%08X\n", unsigned(value));
    }
    return PGMTOOL_OK;
}

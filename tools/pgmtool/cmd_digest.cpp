// pgmtool sha, hmac, drbg and random: the library's digests, HMAC,
// deterministic random bits and pseudo-random values.
#include "pgmtool_frame.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

const DWORD DRBG_MOST_BYTES = 937; // the most one generate call gives
const size_t DRBG_LEAST_SEED = 24;  // bytes of entropy and nonce together

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

// What a command digests with: SHA-2 of one size, or HMAC-SHA-256 under a key.
struct DIGEST_KIND {
    DWORD size; // bytes of a digest
    bool hmac;  // HMAC-SHA-256 under key, not SHA-2
    std::vector<BYTE> key;
    std::string name; // as lists of digests are named: "SHA256"

    // The digest of a file's bytes in lower-case hexadecimal, the file
    // read in pieces; throws PGMTOOL_FAILURE when it cannot be read.
    std::string of_file(const std::string& path) const
    {
        std::unique_ptr<PGM_COMMON_DIGEST> digest =
            hmac ? std::make_unique<PGM_COMMON_DIGEST>(key.data(), DWORD(key.size()))
                 : std::make_unique<PGM_COMMON_DIGEST>(size);
        pgmtool_read_file_pieces(path, [&digest](const BYTE* data, size_t count) { digest->add(data, count); });
        std::vector<BYTE> value = digest->finish();
        return lower_hex(value.data(), value.size());
    }
};

// ---- File names in lists of digests, as sha256sum writes and reads them ----

// The name with backslash, line feed and carriage return written as "\\",
// "\n" and "\r"; a line holding such a name starts with "\".
std::string escaped(const std::string& name)
{
    std::string text;
    for (char c : name) {
        if (c == '\\')
            text += "\\\\";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else
            text += c;
    }
    return text;
}

// Reverses escaped(); false for any other backslash sequence.
bool unescape(std::string& name)
{
    std::string plain;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            plain += name[i];
            continue;
        }
        char next = ++i < name.size() ? name[i] : '\0';
        if (next != '\\' && next != 'n' && next != 'r')
            return false;
        plain += next == 'n' ? '\n' : next == 'r' ? '\r' : '\\';
    }
    name = plain;
    return true;
}

// One "DIGEST  NAME" line: the marker, the digest, the name.
void print_digest_line(const std::string& digest, const std::string& name)
{
    bool escape = name.find_first_of("\\\n\r") != std::string::npos;
    std::printf("%s%s  %s\n", escape ? "\\" : "", digest.c_str(), (escape ? escaped(name) : name).c_str());
}

// One "NAME: VERDICT" line of a check; sha256sum escapes the name there only
// when it holds a line feed.
void print_verdict(const std::string& name, const char* verdict)
{
    bool escape = name.find('\n') != std::string::npos;
    std::printf("%s%s: %s\n", escape ? "\\" : "", (escape ? escaped(name) : name).c_str(), verdict);
}

struct LISTED {
    std::string digest, name;
};

// A line "DIGEST  NAME" or "DIGEST *NAME", after any blanks, with the
// digest of digits hexadecimal digits in either case and the name escaped
// when the line starts with "\"; false when the line is not of that form.
bool parse_listed(const std::string& line, size_t digits, LISTED& listed)
{
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos)
        return false;
    bool escape = line[at] == '\\';
    at += escape;
    if (line.size() - at < digits + 3)
        return false;
    listed.digest = line.substr(at, digits);
    at += digits;
    if (listed.digest.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
        (line[at] != ' ' && line[at] != '\t') || (line[at + 1] != ' ' && line[at + 1] != '*'))
        return false;
    listed.name = line.substr(at + 2);
    return !escape || unescape(listed.name);
}

// ---- Digesting files and checking lists ----

// Prints a line for each file; one that cannot be read is told and the
// others still digested.
int digest_files(PGMTOOL_ARGS& args, const DIGEST_KIND& kind)
{
    for (const std::string& file : args.files()) { // "-" twice is refused before any work
        if (file == "-")
            args.streamed_input(file);
    }
    bool failed = false;
    for (const std::string& file : args.files()) {
        try {
            print_digest_line(kind.of_file(file == "-" ? file : args.streamed_input(file)), file);
        } catch (const PGMTOOL_USAGE&) {
            throw;
        } catch (const PGMTOOL_FAILURE& failure) {
            pgmtool_diagnose(failure);
            failed = true;
        }
    }
    return failed ? PGMTOOL_WORK_FAILED : PGMTOOL_OK;
}

// What a check met.
struct CHECK_COUNTS {
    size_t checked = 0, improper = 0, unread = 0, mismatched = 0;
    long first_improper = 0; // line of the first improperly formatted line
};

void check_listed(PGMTOOL_ARGS& args, const DIGEST_KIND& kind, const LISTED& listed, CHECK_COUNTS& counts)
{
    ++counts.checked;
    std::string digest;
    try {
        digest = kind.of_file(args.streamed_input(listed.name));
    } catch (const PGMTOOL_FAILURE& failure) {
        pgmtool_diagnose(failure);
        ++counts.unread;
        print_verdict(listed.name, "FAILED open or read");
        return;
    }
    bool same = PGM_COMMON::compare_string(digest, listed.digest, false);
    counts.mismatched += !same;
    print_verdict(listed.name, same ? "OK" : "FAILED");
}

// Checks every file the list names against its digest, as sha256sum -c
// does: lines starting with "#" and empty lines are passed over.
int check_list(PGMTOOL_ARGS& args, const std::string& list_path, const DIGEST_KIND& kind)
{
    const std::string& list = args.streamed_input(list_path);
    std::string text;
    pgmtool_read_file_pieces(list, [&text](const BYTE* data, size_t size) {
        text.append(reinterpret_cast<const char*>(data), size);
    });
    CHECK_COUNTS counts;
    long number = 0;
    for (size_t start = 0; start < text.size(); ++number) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        LISTED listed;
        if (line.empty() || line[0] == '#')
            continue;
        if (parse_listed(line, kind.size * 2, listed)) {
            check_listed(args, kind, listed, counts);
        } else if (counts.improper++ == 0) {
            counts.first_improper = number + 1;
        }
    }
    if (counts.checked == 0)
        throw PGMTOOL_FAILURE(list, "no properly formatted " + kind.name + " checksum lines found");
    if (counts.improper > 0) // at the first such line
        pgmtool_diagnose(PGMTOOL_WARNING, list, counts.first_improper,
                         pgmtool_amount(counts.improper, "line") + (counts.improper > 1 ? " are" : " is") +
                             " improperly formatted");
    if (counts.unread > 0)
        pgmtool_diagnose(PGMTOOL_WARNING, list, 0,
                         pgmtool_amount(counts.unread, "listed file") + " could not be read");
    if (counts.mismatched > 0)
        pgmtool_diagnose(PGMTOOL_WARNING, list, 0,
                         pgmtool_amount(counts.mismatched, "computed checksum") + " did NOT match");
    return counts.unread + counts.mismatched > 0 ? PGMTOOL_WORK_FAILED : PGMTOOL_OK;
}

// The files digested, or the list checked.
int digest_or_check(PGMTOOL_ARGS& args, const std::string& list, const DIGEST_KIND& kind)
{
    const size_t files = args.files().size();
    if (!list.empty() && files > 0)
        throw PGMTOOL_USAGE("--check=LIST takes no FILE besides, not " + std::to_string(files));
    if (list.empty() && files == 0)
        throw PGMTOOL_USAGE("give at least one FILE, or --check=LIST");
    return list.empty() ? digest_files(args, kind) : check_list(args, list, kind);
}

} // namespace

int pgmtool_sha(int argc, const char** argv)
{
    int bits = 256;
    std::string list;
    PGMTOOL_ARGS args("sha", {"sha FILE... [--bits=256|384|512]", "sha --check=LIST [--bits=256|384|512]"},
                      {"Prints the SHA-256, SHA-384 or SHA-512 digest of each file (\"-\": standard input)",
                       "in lower-case hexadecimal, two spaces and the file name, as sha256sum does. With",
                       "--check, reads such lines from LIST and tells for each file whether it matches."},
                      "pgmtool sha fw.bin boot.bin --bits=384");
    args.integer("bits", bits, "Digest size in bits: 256, 384 or 512");
    args.text("check=LIST", list, "Check the files against the digests listed in LIST");
    if (!args.parse(argc, argv, 0, size_t(-1)))
        return PGMTOOL_OK;
    if (bits != 256 && bits != 384 && bits != 512)
        throw PGMTOOL_USAGE("--bits must be 256, 384 or 512, not " + std::to_string(bits));
    return digest_or_check(args, list, {DWORD(bits / 8), false, {}, "SHA" + std::to_string(bits)});
}

int pgmtool_hmac(int argc, const char** argv)
{
    std::string key_text, list;
    PGMTOOL_ARGS args("hmac", {"hmac FILE... --key=HEX", "hmac --check=LIST --key=HEX"},
                      {"Prints the HMAC-SHA-256 of each file (\"-\": standard input) under the key in",
                       "lower-case hexadecimal, two spaces and the file name; --check checks such a list.",
                       "HEX is the key's bytes in reading order, two digits each (\"4a656665\" is \"Jefe\");",
                       "--key= is the empty key."},
                      "pgmtool hmac fw.bin --key=4a656665");
    args.text_or_empty("key=HEX", key_text, "The key as hexadecimal bytes");
    args.text("check=LIST", list, "Check the files against the HMACs listed in LIST");
    if (!args.parse(argc, argv, 0, size_t(-1)))
        return PGMTOOL_OK;
    if (args.given_empty("key") && !key_text.empty())
        throw PGMTOOL_USAGE("--key is given twice");
    if (!args.given_empty("key") && key_text.empty())
        throw PGMTOOL_USAGE("hmac needs --key=HEX (--key= for the empty key)");
    return digest_or_check(args, list, {32, true, parse_hex("key", key_text), "HMAC-SHA256"});
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
                       "or with --true from a digest of the process, host and time in nanoseconds. The",
                       "values repeat with period 65,536 and are not fit for keys or nonces."},
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

// SHA-2 digests and HMAC-SHA-256 through OpenSSL's EVP digests, the two
// process-wide pseudo-random sources and the fingerprint of the running
// process and host that seeds one of them.
#include "pgm/h/pgm_common.h"
#include "pgm/h/pgm_common_digest.h"

#include "host/cpt.h"
#include "host/gen.h"
#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_wipe.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <ctime>
#include <memory>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

// Stands in for the data of an empty buffer, which OpenSSL wants as a pointer.
const BYTE NO_BYTES[1] = {0};

// The digest of the buffer as a new array of digest_size bytes.
BYTE* evp_digest(const BYTE* data, DWORD size, const EVP_MD* md, DWORD digest_size, const char* failure_text)
{
    PGM_CHECK(data != NULL || size == 0);
    std::unique_ptr<BYTE[]> digest(new BYTE[digest_size]);
    unsigned int length = 0;
    int done = EVP_Digest(data != NULL ? data : NO_BYTES, size, digest.get(), &length, md, NULL);
    PGM_CHECK_TEXT(done == 1 && length == digest_size, failure_text);
    return digest.release();
}

// A generator of one of the random functions; seeded on first use.
struct RANDOM_SOURCE {
    GEN_RAND generator{0};
    bool seeded = false;
};

RANDOM_SOURCE& clock_source()
{
    static RANDOM_SOURCE source;
    return source;
}

RANDOM_SOURCE& unique_info_source()
{
    static RANDOM_SOURCE source;
    return source;
}

// Two draws a and b as (a * 65536 + (b & 0xFFFF)) mod 2^32.
DWORD draw_dword(GEN_RAND& generator)
{
    DWORD a = DWORD(generator.get_rand());
    DWORD b = DWORD(generator.get_rand());
    return a * 65536U + (b & 0xFFFFU);
}

// The host's identifiers by kind, 1 to 5, wiped when they go.
struct HOST_IDS {
    std::string kind[6];
    ~HOST_IDS()
    {
        for (std::string& id : kind)
            pgm_wipe(id);
    }
    size_t total_size() const
    {
        size_t size = 0;
        for (const std::string& id : kind)
            size += id.size();
        return size;
    }
};

void append_little_endian(std::vector<BYTE>& bytes, QWORD value, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        bytes.push_back(BYTE(value >> (8 * i)));
}

} // namespace

BYTE* PGM_COMMON::get_block_sha256(const BYTE* data, DWORD size)
{
    return evp_digest(data, size, EVP_sha256(), SHA256_DIGEST_LENGTH, "SHA256_Final(sha, &sha256) == 1");
}

BYTE* PGM_COMMON::get_block_sha384(const BYTE* data, DWORD size)
{
    return evp_digest(data, size, EVP_sha384(), SHA384_DIGEST_LENGTH, "SHA384_Final(sha, &sha384) == 1");
}

BYTE* PGM_COMMON::get_block_sha512(const BYTE* data, DWORD size)
{
    return evp_digest(data, size, EVP_sha512(), SHA512_DIGEST_LENGTH, "SHA512_Final(sha, &sha512) == 1");
}

BYTE* PGM_COMMON::get_block_sha(const BYTE* data, DWORD size, DWORD sha_size)
{
    PGM_CHECK_TEXT(sha_size == SHA256_DIGEST_LENGTH || sha_size == SHA384_DIGEST_LENGTH ||
                       sha_size == SHA512_DIGEST_LENGTH,
                   "SHA_SIZE == SHA256_DIGEST_LENGTH || SHA_SIZE == SHA384_DIGEST_LENGTH || "
                   "SHA_SIZE == SHA512_DIGEST_LENGTH");
    if (sha_size == SHA256_DIGEST_LENGTH)
        return get_block_sha256(data, size);
    if (sha_size == SHA384_DIGEST_LENGTH)
        return get_block_sha384(data, size);
    return get_block_sha512(data, size);
}

BYTE* PGM_COMMON::get_block_hmac256(const BYTE* data, DWORD size, const BYTE* key, DWORD key_size)
{
    PGM_CHECK(data != NULL || size == 0);
    PGM_CHECK(key != NULL || key_size == 0);
    std::unique_ptr<BYTE[]> result(new BYTE[EVP_MAX_MD_SIZE]);
    unsigned int result_len = 0;
    if (HMAC(EVP_sha256(), key != NULL ? key : NO_BYTES, int(key_size), data != NULL ? data : NO_BYTES, size,
             result.get(), &result_len) == NULL)
        result_len = 0;
    PGM_CHECK(result_len == 32);
    return result.release();
}

DWORD PGM_COMMON::get_random_dword(bool reseed)
{
    RANDOM_SOURCE& source = clock_source();
    if (!source.seeded || reseed) {
        source.generator.state = DWORD(std::time(NULL));
        source.generator.get_rand();
        source.seeded = true;
    }
    return draw_dword(source.generator);
}

DWORD PGM_COMMON::get_true_random_dword(bool reseed)
{
    RANDOM_SOURCE& source = unique_info_source();
    if (!source.seeded || reseed) {
        std::unique_ptr<BYTE[]> info(get_unique_info(true));
        DWORD x = 0;
        for (int word = 0; word < 8; ++word) {
            const BYTE* w = &info[4 * word];
            source.generator.state = (DWORD(w[0]) | DWORD(w[1]) << 8 | DWORD(w[2]) << 16 | DWORD(w[3]) << 24) ^ x;
            x = DWORD(source.generator.get_rand());
        }
        OPENSSL_cleanse(info.get(), SHA256_DIGEST_LENGTH);
        source.seeded = true;
    }
    return draw_dword(source.generator);
}

BYTE* PGM_COMMON::get_unique_info(bool with_time)
{
    const DWORD process_id = DWORD(getpid());
    const DWORD thread_id = DWORD(syscall(SYS_gettid));

    // The identifiers are asked for in the order 5, 1, 4, 2, 3 and joined as 3, 2, 4, 1, 5.
    CPT_MANAGER* manager = CPT_MANAGER::get_cpt_mgr();
    HOST_IDS ids;
    for (int kind : {5, 1, 4, 2, 3})
        ids.kind[kind] = manager->get_local_hostid(kind);
    std::string address;
    PGM_WIPE_ON_EXIT<std::string> address_wiper(address);
    address.reserve(ids.total_size());
    for (int kind : {3, 2, 4, 1, 5})
        address += ids.kind[kind];

    const size_t sha_input_size = sizeof(process_id) + sizeof(thread_id) + address.size() +
                                  (with_time ? sizeof(QWORD) : 0);
    std::vector<BYTE> sha_input;
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> input_wiper(sha_input);
    sha_input.reserve(sha_input_size);
    append_little_endian(sha_input, process_id, sizeof(process_id));
    append_little_endian(sha_input, thread_id, sizeof(thread_id));
    sha_input.insert(sha_input.end(), address.begin(), address.end());
    if (with_time)
        append_little_endian(sha_input, get_nano_time(), sizeof(QWORD));
    const size_t index = sha_input.size();
    PGM_CHECK(index == sha_input_size);
    return get_block_sha256(sha_input.data(), DWORD(sha_input_size));
}

// ---- Digests in pieces ----

struct PGM_COMMON_DIGEST::STATE {
    ~STATE()
    {
        EVP_MD_CTX_free(digest);
        EVP_MAC_CTX_free(mac);
    }
    EVP_MD_CTX* digest = nullptr; // SHA-2, or null for HMAC
    EVP_MAC_CTX* mac = nullptr;   // HMAC, or null for SHA-2
    bool finished = false;
};

PGM_COMMON_DIGEST::PGM_COMMON_DIGEST(DWORD digest_size) : state_(std::make_unique<STATE>())
{
    PGM_CHECK(digest_size == 32 || digest_size == 48 || digest_size == 64);
    const EVP_MD* md = digest_size == 32 ? EVP_sha256() : digest_size == 48 ? EVP_sha384() : EVP_sha512();
    state_->digest = EVP_MD_CTX_new();
    PGM_CHECK_TEXT(state_->digest != nullptr && EVP_DigestInit_ex(state_->digest, md, nullptr) == 1,
                   "EVP_DigestInit_ex");
}

PGM_COMMON_DIGEST::PGM_COMMON_DIGEST(const BYTE* key, DWORD key_size) : state_(std::make_unique<STATE>())
{
    PGM_CHECK(key != NULL || key_size == 0);
    std::unique_ptr<EVP_MAC, void (*)(EVP_MAC*)> hmac(EVP_MAC_fetch(nullptr, "HMAC", nullptr), EVP_MAC_free);
    PGM_CHECK_TEXT(hmac != nullptr, "EVP_MAC_fetch");
    state_->mac = EVP_MAC_CTX_new(hmac.get());
    char sha256[] = "SHA256";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, sha256, 0), OSSL_PARAM_END};
    PGM_CHECK_TEXT(state_->mac != nullptr &&
                       EVP_MAC_init(state_->mac, key != NULL ? key : NO_BYTES, key_size, params) == 1,
                   "EVP_MAC_init");
}

PGM_COMMON_DIGEST::~PGM_COMMON_DIGEST() = default;

void PGM_COMMON_DIGEST::add(const BYTE* data, size_t size)
{
    PGM_CHECK(!state_->finished);
    PGM_CHECK(data != NULL || size == 0);
    if (size == 0)
        return;
    int done = state_->digest ? EVP_DigestUpdate(state_->digest, data, size)
                              : EVP_MAC_update(state_->mac, data, size);
    PGM_CHECK_TEXT(done == 1, "digest update");
}

std::vector<BYTE> PGM_COMMON_DIGEST::finish()
{
    PGM_CHECK(!state_->finished);
    state_->finished = true;
    std::vector<BYTE> digest(EVP_MAX_MD_SIZE);
    if (state_->digest) {
        unsigned int length = 0;
        PGM_CHECK_TEXT(EVP_DigestFinal_ex(state_->digest, digest.data(), &length) == 1, "EVP_DigestFinal_ex");
        digest.resize(length);
    } else {
        size_t length = 0;
        PGM_CHECK_TEXT(EVP_MAC_final(state_->mac, digest.data(), &length, digest.size()) == 1, "EVP_MAC_final");
        digest.resize(length);
    }
    return digest;
}

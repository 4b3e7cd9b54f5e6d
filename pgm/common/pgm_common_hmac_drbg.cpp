// HMAC_DRBG with HMAC-SHA-256: instantiate, update and generate. The key K,
// the chaining value V, seeds and every temporary that holds or derives
// from them are wiped before their memory is released or reused.
#include "pgm/h/pgm_common_hmac_drbg.h"

#include "host/mem.h"
#include "pgm/common/pgm_check.h"
#include "pgm/common/pgm_wipe.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>

static MEM_INITIALIZER mem_initializer(PGM_MODULE_NAME);

namespace {

const size_t BLOCK_SIZE = 32; // bytes of an HMAC-SHA-256 result, and of K and V

// result = HMAC-SHA-256 of data under key (both non-empty here).
void hmac_sha256(const std::vector<BYTE>& key, const std::vector<BYTE>& data, std::vector<BYTE>& result)
{
    result.resize(EVP_MAX_MD_SIZE);
    unsigned int num = 0;
    if (HMAC(EVP_sha256(), key.data(), int(key.size()), data.data(), data.size(), result.data(), &num) == NULL)
        num = 0;
    PGM_CHECK(num == 32);
    result.resize(num);
}

} // namespace

PGM_COMMON_HMAC_DRBG::PGM_COMMON_HMAC_DRBG(const BYTE* entropy, DWORD entropy_size, const BYTE* nonce,
                                           DWORD nonce_size)
{
    PGM_CHECK(entropy != NULL && entropy_size > 0);
    PGM_CHECK(nonce != NULL || nonce_size == 0);
    std::vector<BYTE> seed;
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> seed_wiper(seed);
    seed.reserve(size_t(entropy_size) + nonce_size);
    seed.insert(seed.end(), entropy, entropy + entropy_size);
    if (nonce_size > 0)
        seed.insert(seed.end(), nonce, nonce + nonce_size);
    instantiate(seed);
}

PGM_COMMON_HMAC_DRBG::PGM_COMMON_HMAC_DRBG(std::vector<BYTE> entropy, std::vector<BYTE> nonce)
{
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> entropy_wiper(entropy), nonce_wiper(nonce);
    PGM_CHECK(entropy.size());
    std::vector<BYTE> seed;
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> seed_wiper(seed);
    seed.reserve(entropy.size() + nonce.size());
    seed.insert(seed.end(), entropy.begin(), entropy.end());
    seed.insert(seed.end(), nonce.begin(), nonce.end());
    instantiate(seed);
}

PGM_COMMON_HMAC_DRBG::PGM_COMMON_HMAC_DRBG(const PGM_COMMON_HMAC_DRBG& other) : m_k(other.m_k), m_v(other.m_v) {}

PGM_COMMON_HMAC_DRBG& PGM_COMMON_HMAC_DRBG::operator=(const PGM_COMMON_HMAC_DRBG& other)
{
    // Assigning to itself would wipe the source before copying it.
    if (this != &other) {
        assign_byte_vector(m_k, other.m_k);
        assign_byte_vector(m_v, other.m_v);
    }
    return *this;
}

PGM_COMMON_HMAC_DRBG::~PGM_COMMON_HMAC_DRBG()
{
    pgm_wipe(m_k);
    pgm_wipe(m_v);
}

std::vector<BYTE> PGM_COMMON_HMAC_DRBG::generate(DWORD count, std::vector<BYTE> additional)
{
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> additional_wiper(additional);
    // In 64 bits: count * 8 must not wrap to a small number.
    PGM_CHECK_TEXT(count > 0 && QWORD(count) * 8 <= 7500, "count > 0 && (count * 8) <= 7500");
    if (!additional.empty())
        update(additional);
    std::vector<BYTE> random;
    random.reserve(count); // no reallocation leaves copies of the output behind
    std::vector<BYTE> block;
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> block_wiper(block);
    while (random.size() < count) {
        hmac_sha256(m_k, m_v, block);
        assign_byte_vector(m_v, block);
        size_t take = std::min(m_v.size(), count - random.size());
        random.insert(random.end(), m_v.begin(), m_v.begin() + take);
    }
    update(additional);
    PGM_CHECK(DWORD(random.size()) == count);
    return random;
}

void PGM_COMMON_HMAC_DRBG::instantiate(std::vector<BYTE>& seed)
{
    PGM_CHECK((seed.size() * 8 * 2) >= (3 * 128));
    PGM_CHECK(m_k.size() == 0);
    PGM_CHECK(m_v.size() == 0);
    m_k.assign(BLOCK_SIZE, 0x00);
    m_v.assign(BLOCK_SIZE, 0x01);
    try {
        update(seed);
    } catch (...) {
        // The destructor does not run for an object that was never built.
        pgm_wipe(m_k);
        pgm_wipe(m_v);
        throw;
    }
    pgm_wipe(seed);
    seed.clear();
}

void PGM_COMMON_HMAC_DRBG::update(const std::vector<BYTE>& provided)
{
    PGM_CHECK(m_k.size());
    PGM_CHECK(m_v.size());
    std::vector<BYTE> input, block;
    PGM_WIPE_ON_EXIT<std::vector<BYTE>> input_wiper(input), block_wiper(block);
    input.reserve(m_v.size() + 1 + provided.size());
    for (BYTE round = 0; round < 2; ++round) {
        if (round == 1 && provided.empty())
            break;
        // K = HMAC(K, V || round || provided); V = HMAC(K, V).
        pgm_wipe(input);
        input.assign(m_v.begin(), m_v.end());
        input.push_back(round);
        input.insert(input.end(), provided.begin(), provided.end());
        hmac_sha256(m_k, input, block);
        assign_byte_vector(m_k, block);
        hmac_sha256(m_k, m_v, block);
        assign_byte_vector(m_v, block);
    }
}

void PGM_COMMON_HMAC_DRBG::assign_byte_vector(std::vector<BYTE>& dst, const std::vector<BYTE>& src)
{
    PGM_CHECK(src.size());
    pgm_wipe(dst);
    dst = src;
}

// A deterministic random bit generator: HMAC_DRBG with HMAC-SHA-256
// (instantiate, update and generate; no reseed). The key and chaining
// value are wiped before they are released or replaced.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <vector>

class PGM_COMMON_API PGM_COMMON_HMAC_DRBG {
public:
    // The seed is the entropy followed by the nonce; it must hold at least
    // 24 bytes. nonce may be null when nonce_size is 0.
    PGM_COMMON_HMAC_DRBG(const BYTE* entropy, DWORD entropy_size, const BYTE* nonce, DWORD nonce_size);
    PGM_COMMON_HMAC_DRBG(std::vector<BYTE> entropy, std::vector<BYTE> nonce);
    PGM_COMMON_HMAC_DRBG(const PGM_COMMON_HMAC_DRBG& other);
    PGM_COMMON_HMAC_DRBG& operator=(const PGM_COMMON_HMAC_DRBG& other);
    ~PGM_COMMON_HMAC_DRBG();

    // count bytes, 1 to 937, after folding in the additional input.
    std::vector<BYTE> generate(DWORD count, std::vector<BYTE> additional);

private:
    void instantiate(std::vector<BYTE>& seed);
    void update(const std::vector<BYTE>& provided);
    // Wipes dst, then makes it a copy of src (which must not be empty).
    static void assign_byte_vector(std::vector<BYTE>& dst, const std::vector<BYTE>& src);

    std::vector<BYTE> m_k; // HMAC key K
    std::vector<BYTE> m_v; // chaining value V
};

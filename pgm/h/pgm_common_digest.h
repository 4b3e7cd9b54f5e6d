// Digests taken in pieces, for data that do not fit in memory or arrive
// over time: SHA-256, SHA-384 or SHA-512, or HMAC-SHA-256 under a key.
// The values are those of PGM_COMMON::get_block_sha and get_block_hmac256
// over all the pieces joined.
#pragma once

#include "host/host_types.h"
#include "pgm/h/pgm_common_api.h"

#include <cstddef>
#include <memory>
#include <vector>

class PGM_COMMON_API PGM_COMMON_DIGEST {
public:
    // SHA-2 with a digest of digest_size bytes: 32, 48 or 64.
    explicit PGM_COMMON_DIGEST(DWORD digest_size);
    // HMAC-SHA-256 under the key, which is not kept beyond the call.
    PGM_COMMON_DIGEST(const BYTE* key, DWORD key_size);
    ~PGM_COMMON_DIGEST();
    PGM_COMMON_DIGEST(const PGM_COMMON_DIGEST&) = delete;
    PGM_COMMON_DIGEST& operator=(const PGM_COMMON_DIGEST&) = delete;

    // Adds the next piece.
    void add(const BYTE* data, size_t size);
    // The digest of every piece added; no piece may follow.
    std::vector<BYTE> finish();

private:
    struct STATE;
    std::unique_ptr<STATE> state_; // the OpenSSL context of the digest or MAC
};

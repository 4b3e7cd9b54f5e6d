// Wiping key material: bytes overwritten with zeros before their memory is
// released or reused, in a way the optimiser keeps.
#pragma once

#include "pgm/common/pgm_internal.h"

#include <openssl/crypto.h>

// Overwrites the bytes of a vector or string with zeros.
template <typename BYTES> void pgm_wipe(BYTES& bytes)
{
    if (!bytes.empty())
        OPENSSL_cleanse(&bytes[0], bytes.size());
}

// Wipes a buffer when it goes out of scope, also when a failed check unwinds.
template <typename BYTES> class PGM_WIPE_ON_EXIT {
public:
    explicit PGM_WIPE_ON_EXIT(BYTES& bytes) : bytes_(bytes) {}
    ~PGM_WIPE_ON_EXIT() { pgm_wipe(bytes_); }
    PGM_WIPE_ON_EXIT(const PGM_WIPE_ON_EXIT&) = delete;
    PGM_WIPE_ON_EXIT& operator=(const PGM_WIPE_ON_EXIT&) = delete;

private:
    BYTES& bytes_;
};

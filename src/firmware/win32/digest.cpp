// SHA-256 by Windows' own cryptography (CNG, bcrypt.dll): no library of ours to ship.
#include "firmware/digest.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>

namespace firmware {

bool sha256(std::span<const uint8_t> bytes, Sha256& digest) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    // In pieces a ULONG can count, however large the input.
    for (size_t done = 0; ok && done < bytes.size();) {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(bytes.size() - done, 1u << 30));
        ok = BCryptHashData(hash, const_cast<PUCHAR>(bytes.data() + done), piece, 0) == 0;
        done += piece;
    }
    ok = ok && BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) == 0;
    if (hash) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return ok;
}

} // namespace firmware

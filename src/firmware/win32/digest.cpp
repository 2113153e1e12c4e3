// SHA-256 by Windows' own cryptography (CNG, bcrypt.dll): no library of ours to ship.
#include "firmware/digest.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstdio>

namespace firmware {

std::string sha256Hex(std::span<const uint8_t> bytes) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32];
    bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    // In pieces a ULONG can count, however large the input.
    for (size_t done = 0; ok && done < bytes.size();) {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(bytes.size() - done, 1u << 30));
        ok = BCryptHashData(hash, const_cast<PUCHAR>(bytes.data() + done), piece, 0) == 0;
        done += piece;
    }
    ok = ok && BCryptFinishHash(hash, digest, sizeof digest, 0) == 0;
    if (hash) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok) return {};
    std::string hex;
    char pair[3];
    for (unsigned char b : digest) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        hex += pair;
    }
    return hex;
}

std::string sha256Hex(std::string_view bytes) {
    return sha256Hex(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

} // namespace firmware

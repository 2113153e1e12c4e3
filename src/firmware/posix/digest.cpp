// SHA-256 by OpenSSL's libcrypto, which every Linux system that runs the program has.
#include "firmware/digest.h"

#include <openssl/evp.h>

namespace firmware {

bool sha256(std::span<const uint8_t> bytes, Sha256& digest) {
    unsigned int length = 0;
    return EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) ==
               1 &&
           length == digest.size();
}

} // namespace firmware

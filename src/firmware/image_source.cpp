#include "firmware/image_source.h"

#include "firmware/digest.h"

#include <vector>

namespace firmware {

ImageIdentity identityIn(const FirmwareImage& image, const chips::Chip& chip,
                         uint8_t maskOfFrameZero) {
    const int32_t at = chip.identityOffset;
    if (image.flashData == nullptr || image.flashLength < at + 2) return {};
    return {static_cast<uint8_t>(image.flashData[at] ^ maskOfFrameZero),
            static_cast<uint8_t>(image.flashData[at + 1] ^ maskOfFrameZero)};
}

std::string flashSha256(const FirmwareImage& image, const chips::Chip& chip,
                        const ImageSource& source) {
    if (!image.hasImage() || image.flashData == nullptr) return {};
    std::vector<uint8_t> plain(image.flashData, image.flashData + image.flashLength);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] ^= source.scrambleMask(frameAddressOf(chip, static_cast<uint32_t>(i)));
    return sha256Hex(plain);
}

} // namespace firmware

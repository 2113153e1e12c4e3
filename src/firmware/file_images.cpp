#include "firmware/file_images.h"

#include "firmware/digest.h"
#include "firmware/hex_reader.h"

namespace firmware {

namespace {

constexpr FirmwareImage kNoImage{};

} // namespace

FileImages::FileImages(std::string fileName, std::string_view fileBytes, const Product& product)
    : fileName_(std::move(fileName)), fileSha256_(sha256Hex(fileBytes)),
      scrambleConstant_(product.images.scrambleConstant()) {
    const HexResult hex = readIntelHex(fileBytes);
    if (!hex.ok()) {
        readError_ = where(hex.errorLine) + hex.error;
        return;
    }
    // Conflicting data are the file's fault whatever the chip: reported once, as a reading error.
    const HexFault conflict = findConflict(hex.chunks);
    if (conflict.found()) {
        readError_ = where(conflict.line) + conflict.message;
        return;
    }

    entries_.reserve(chips::allChips().size());
    for (const chips::Chip& chip : chips::allChips()) {
        ChipEntry& entry = entries_.emplace_back();
        entry.chip = &chip;
        entry.image = buildChipImage(hex.chunks, chip);
        if (!entry.image.ok()) continue;
        entry.wire = entry.image.flash;
        applyWireMask(entry.wire, chip, scrambleConstant_);
        entry.record.flashData = entry.wire.data();
        entry.record.flashLength = static_cast<int32_t>(entry.wire.size());
        entry.record.eepromData = entry.image.eeprom.data();
        entry.record.eepromLength = static_cast<int32_t>(entry.image.eeprom.size());
        // The fix block of the product's own general image of the chip, which belongs to the
        // product's boards rather than to the firmware.
        if (chip.imageSlot != chips::kNoSlot) {
            const FirmwareImage& own = product.images.at(0, chip.imageSlot);
            if (own.hasImage()) {
                entry.record.fixData = own.fixData;
                entry.record.fixLength = own.fixLength;
            }
        }
        entry.sha256 = flashSha256(entry.record, chip, *this);
    }
}

std::string FileImages::where(int line) const {
    return fileName_ + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": ";
}

const FileImages::ChipEntry* FileImages::entryOf(uint8_t chipCode) const {
    for (const ChipEntry& entry : entries_)
        if (entry.chip->code == chipCode) return &entry;
    return nullptr;
}

const FirmwareImage& FileImages::select(uint8_t chipCode, uint8_t) const {
    const ChipEntry* entry = entryOf(chipCode);
    return entry != nullptr && entry->image.ok() ? entry->record : kNoImage;
}

uint8_t FileImages::scrambleMask(uint32_t address) const {
    return frameMask(address, scrambleConstant_);
}

ImageIdentity FileImages::identityOf(const FirmwareImage& image, const chips::Chip& chip) const {
    return identityIn(image, chip, scrambleMask(0));
}

std::string FileImages::chipError(uint8_t chipCode) const {
    if (!ok()) return readError_;
    const ChipEntry* entry = entryOf(chipCode);
    if (entry == nullptr || entry->image.ok()) return {};
    return where(entry->image.errorLine) + entry->image.error;
}

std::string FileImages::imageSha256(uint8_t chipCode) const {
    const ChipEntry* entry = entryOf(chipCode);
    return entry != nullptr ? entry->sha256 : std::string();
}

WritePlan FileImages::plan(uint8_t chipCode, uint8_t biosCode) const {
    const ChipEntry* entry = entryOf(chipCode);
    if (entry == nullptr || !entry->image.ok()) return {};
    return planWrite(entry->image, *entry->chip, biosCode);
}

std::vector<std::string> FileImages::planLines(uint8_t chipCode, uint8_t biosCode) const {
    const ChipEntry* entry = entryOf(chipCode);
    if (entry == nullptr || !entry->image.ok()) return {};
    return describePlan(planWrite(entry->image, *entry->chip, biosCode), *entry->chip);
}

} // namespace firmware

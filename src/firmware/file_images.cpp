#include "firmware/file_images.h"

#include "firmware/digest.h"
#include "firmware/hex_reader.h"
#include "firmware/reset_vector.h"

#include <algorithm>

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

    // Without its reset vector no board could start the application: refused whatever the
    // chip, before anything is sent.
    if (std::none_of(hex.chunks.begin(), hex.chunks.end(),
                     [](const HexChunk& c) { return c.address == 0 && !c.bytes.empty(); })) {
        readError_ = where(0) +
                     "no data at address 0, the application's reset vector: a board written "
                     "with this file could never start it";
        return;
    }
    for (const HexChunk& c : hex.chunks)
        records_.push_back({c.address, static_cast<uint32_t>(c.bytes.size()), c.line});

    entries_.reserve(chips::allChips().size());
    for (const chips::Chip& chip : chips::allChips()) {
        ChipEntry& entry = entries_.emplace_back();
        entry.chip = &chip;
        entry.image = buildChipImage(hex.chunks, chip);
        if (!entry.image.ok()) continue;
        std::optional<std::vector<uint8_t>> vector = resetVectorOf(entry.image, chip);
        if (!vector) {
            entry.image.errorLine = 0;
            entry.image.error = "the file gives only part of the reset vector (image bytes 0 to " +
                                std::to_string(resetVectorLength(chip) - 1) + ") of the " +
                                chip.part + ": a board written with it could never start";
            continue;
        }
        entry.fix = std::move(*vector);
        entry.wire = entry.image.flash;
        applyWireMask(entry.wire, chip, scrambleConstant_);
        entry.record.flashData = entry.wire.data();
        entry.record.flashLength = static_cast<int32_t>(entry.wire.size());
        entry.record.eepromData = entry.image.eeprom.data();
        entry.record.eepromLength = static_cast<int32_t>(entry.image.eeprom.size());
        entry.record.fixData = entry.fix.data();
        entry.record.fixLength = static_cast<int32_t>(entry.fix.size());
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

std::string FileImages::resetVectorText(uint8_t chipCode) const {
    const ChipEntry* entry = entryOf(chipCode);
    if (entry == nullptr || !entry->image.ok()) return {};
    return describeResetVector(entry->fix, entry->chip->family);
}

int FileImages::lineOf(uint32_t address) const {
    int line = 0;
    for (const RecordPlace& r : records_)
        if (address >= r.address && address - r.address < r.length && (line == 0 || r.line < line))
            line = r.line;
    return line;
}

WritePlan FileImages::plan(uint8_t chipCode, uint8_t biosCode,
                           ProtectedRange protectedRange) const {
    const ChipEntry* entry = entryOf(chipCode);
    if (entry == nullptr || !entry->image.ok()) return {};
    WritePlan plan = planWrite(entry->image, *entry->chip, biosCode, protectedRange);
    if (plan.firstPastLimit) plan.pastLimitLine = lineOf(*plan.firstPastLimit);
    return plan;
}

std::vector<std::string> FileImages::planLines(uint8_t chipCode, uint8_t biosCode,
                                               ProtectedRange protectedRange) const {
    const ChipEntry* entry = entryOf(chipCode);
    if (entry == nullptr || !entry->image.ok()) return {};
    return describePlan(plan(chipCode, biosCode, protectedRange), *entry->chip, fileName_);
}

} // namespace firmware

// A firmware file (Intel HEX) in place of the images built into the program: one image per
// chip of the chip table, made up front from the file's data, with the product's scramble
// constant. The fix block of each image is the file's own reset vector, which the fix frame
// carries so that the bootloader can start the application. Constant once made, so sessions on
// several threads may share it.
#pragma once

#include "firmware/image_builder.h"
#include "firmware/image_source.h"
#include "firmware/product.h"
#include "firmware/write_plan.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace firmware {

class FileImages final : public ImageSource {
public:
    // `fileName` names the file in messages; `fileBytes` is its content.
    FileImages(std::string fileName, std::string_view fileBytes, const Product& product);
    FileImages(const FileImages&) = delete;
    FileImages& operator=(const FileImages&) = delete;
    FileImages(FileImages&&) = default;
    FileImages& operator=(FileImages&&) = default;
    ~FileImages() = default;

    // False when the file could not be read: a malformed line, a bad checksum, an unknown
    // record type, conflicting data, a missing end record, no data at address 0 (the reset
    // vector). No chip has an image then.
    bool ok() const { return readError_.empty(); }
    // "FILE:LINE: message" when the file could not be read; "" otherwise.
    const std::string& error() const { return readError_; }
    const std::string& fileName() const { return fileName_; }
    // Of the file's bytes as given.
    const std::string& fileSha256() const { return fileSha256_; }

    // The file's image for the chip code, whatever the board; a record without image
    // (flashLength 0) for a chip code that no chip has or that the file does not suit.
    const FirmwareImage& select(uint8_t chipCode, uint8_t boardIndex) const override;
    uint8_t scrambleMask(uint32_t address) const override;
    ImageIdentity identityOf(const FirmwareImage& image, const chips::Chip& chip) const override;

    // Why the file does not suit the chip: "FILE:LINE: data at 0x300000 lie outside the regions
    // of the PIC24HJ64 (...)", "FILE: the image holds ...", or the reading error; "" when it
    // suits the chip or no chip has the code.
    std::string chipError(uint8_t chipCode) const;
    // flashSha256 of the chip's image; "" when it has none.
    std::string imageSha256(uint8_t chipCode) const;
    // The file's reset vector for the chip, as a person reads it ("GOTO 0x0202"); "" when the
    // chip has no image.
    std::string resetVectorText(uint8_t chipCode) const;
    // What an update of the chip writes from the file and leaves out, for a bootloader that
    // reports `biosCode` and a board with that protected range; an empty plan (no ranges, no
    // bytes) when the chip has no image.
    WritePlan plan(uint8_t chipCode, uint8_t biosCode, ProtectedRange protectedRange = {}) const;
    // The plan in words (describePlan); none when the chip has no image.
    std::vector<std::string> planLines(uint8_t chipCode, uint8_t biosCode,
                                       ProtectedRange protectedRange = {}) const;

private:
    struct ChipEntry {
        const chips::Chip* chip = nullptr;
        ChipImage image;           // plain; its error when the file does not suit the chip
        std::vector<uint8_t> wire; // the flash image in wire form
        std::vector<uint8_t> fix;  // the file's reset vector, plain
        FirmwareImage record;      // points into `wire`, `fix` and `image.eeprom`
        std::string sha256;
    };
    // Where the file's data records lie, for naming the line behind an address.
    struct RecordPlace {
        uint32_t address;
        uint32_t length;
        int line;
    };
    const ChipEntry* entryOf(uint8_t chipCode) const;
    std::string where(int line) const;
    // The first line whose data give the byte at `address`; 0 when none does.
    int lineOf(uint32_t address) const;

    std::vector<RecordPlace> records_;
    std::string fileName_;
    std::string fileSha256_;
    std::string readError_;
    uint8_t scrambleConstant_ = 0;
    std::vector<ChipEntry> entries_; // one per chip, in chip table order
};

} // namespace firmware

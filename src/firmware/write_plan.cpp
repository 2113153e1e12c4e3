#include "firmware/write_plan.h"

#include "firmware/reset_vector.h"

#include <algorithm>
#include <cstdio>

namespace firmware {

namespace {

std::string range(const chips::Chip& chip, uint64_t first, uint64_t length) {
    char text[96];
    const auto last = static_cast<unsigned long long>(first + length - 1);
    int n = std::snprintf(text, sizeof text, "0x%06llX-0x%06llX",
                          static_cast<unsigned long long>(first), last);
    if (chip.addressUnit > 1)
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n),
                      " (program addresses 0x%llX-0x%llX)",
                      static_cast<unsigned long long>(first / chip.addressUnit),
                      last / static_cast<unsigned>(chip.addressUnit));
    return text;
}

std::string bytes(uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string address(int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// One image byte address, with its program address for the PIC24 family:
// "0x15000 (program address 0xA800)".
std::string byteAddress(const chips::Chip& chip, uint64_t byte) {
    std::string text = address(static_cast<int64_t>(byte));
    if (chip.addressUnit > 1)
        text += " (program address " +
                address(static_cast<int64_t>(byte / static_cast<uint64_t>(chip.addressUnit))) + ")";
    return text;
}

uint64_t limitBytesOf(const WritePlan& plan, const chips::Chip& chip) {
    return uint64_t{static_cast<uint32_t>(plan.applicationLimit)} *
           static_cast<uint32_t>(chip.addressUnit);
}

// "app.hex:12: ", "app.hex: ", or nothing for a plan without a file.
std::string lineOf(const std::string& source, int line) {
    if (source.empty()) return line > 0 ? "line " + std::to_string(line) + ": " : std::string();
    return source + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": ";
}

bool hasEeprom(const chips::Chip& chip) {
    return std::any_of(
        chip.otherRegions.begin(), chip.otherRegions.end(),
        [](const chips::MemoryRegion& r) { return r.kind == chips::RegionKind::Eeprom; });
}

} // namespace

WritePlan planWrite(const ChipImage& image, const chips::Chip& chip, uint8_t biosCode,
                    ProtectedRange protectedRange) {
    WritePlan plan;
    plan.imageBytes = static_cast<uint32_t>(image.flash.size());
    plan.applicationLimit = chips::applicationLimit(chip, biosCode);
    plan.jumpBytes = chips::resetJump(chip, biosCode).length;
    plan.resetVector = resetVectorOf(image, chip).value_or(std::vector<uint8_t>{});
    plan.phantomLine = image.phantomLine;
    const chips::ProgramLength length =
        chips::programLength(chip, plan.applicationLimit, plan.imageBytes);
    plan.tooBig = length.tooBig;
    plan.flashBytes = plan.tooBig ? 0 : static_cast<uint32_t>(length.bytes);
    const auto limitBytes = static_cast<uint32_t>(limitBytesOf(plan, chip));
    const auto block = static_cast<uint32_t>(chip.blockSize);
    plan.protectedRange = protectedRange;
    plan.flashFrames = (plan.flashBytes + block - 1) / block -
                       static_cast<uint32_t>(std::max(protectedRange.frames, 0));
    if (!plan.tooBig) plan.eepromBytes = static_cast<uint32_t>(image.eeprom.size());
    for (const DataRange& r : image.ranges) {
        if (r.use != DataUse::Flash || uint64_t{r.first} + r.length <= limitBytes) continue;
        const uint32_t first = std::max(r.first, limitBytes);
        if (!plan.firstPastLimit || first < *plan.firstPastLimit) plan.firstPastLimit = first;
    }

    for (const DataRange& r : image.ranges) {
        if (plan.tooBig) {
            plan.leftOutBytes += r.length;
            plan.ranges.push_back(r);
            continue;
        }
        switch (r.use) {
        case DataUse::Flash: {
            const uint32_t end = r.first + r.length;
            const uint32_t written = end <= plan.flashBytes       ? r.length
                                     : r.first >= plan.flashBytes ? 0
                                                                  : plan.flashBytes - r.first;
            if (written > 0) plan.ranges.push_back({DataUse::Flash, r.first, written});
            if (written < r.length)
                plan.ranges.push_back(
                    {DataUse::PastApplicationLimit, r.first + written, r.length - written});
            plan.flashDataBytes += written;
            plan.leftOutBytes += r.length - written;
            break;
        }
        case DataUse::Eeprom:
            plan.ranges.push_back(r);
            break;
        default:
            plan.ranges.push_back(r);
            plan.leftOutBytes += r.length;
            break;
        }
    }
    return plan;
}

std::vector<std::string> describePlan(const WritePlan& plan, const chips::Chip& chip,
                                      const std::string& source) {
    std::vector<std::string> lines;
    if (plan.tooBig) {
        lines.push_back("refused: the image of " + bytes(plan.imageBytes) +
                        " is longer than the application area of the " + chip.part + " (" +
                        bytes(limitBytesOf(plan, chip)) + ", below program address " +
                        address(plan.applicationLimit) + "): nothing is written");
        if (plan.firstPastLimit)
            lines.push_back(lineOf(source, plan.pastLimitLine) + "data at " +
                            byteAddress(chip, *plan.firstPastLimit) +
                            " lie past the application area, whose last byte is " +
                            byteAddress(chip, limitBytesOf(plan, chip) - 1));
        return lines;
    }
    uint64_t eepromData = 0;
    for (const DataRange& r : plan.ranges) {
        switch (r.use) {
        case DataUse::Flash:
            lines.push_back("flash " + range(chip, r.first, r.length) + ": " + bytes(r.length) +
                            " of data");
            break;
        case DataUse::Eeprom:
            eepromData += r.length;
            break;
        default:
            break;
        }
    }
    lines.push_back("flash in all: " + bytes(plan.flashDataBytes) + " of data in " +
                    bytes(plan.flashBytes) + " written in " + std::to_string(plan.flashFrames) +
                    " frames of " + bytes(static_cast<uint32_t>(chip.blockSize)) +
                    "; gaps filled with " + gapFill(chip.family));
    if (plan.protectedRange.frames > 0)
        lines.push_back(
            "left out: program addresses " + address(plan.protectedRange.start) + "-" +
            address(int64_t{plan.protectedRange.start} + plan.protectedRange.length - 1) +
            ", the board's protected range: " + std::to_string(plan.protectedRange.frames) +
            " frames not sent");
    lines.push_back("image bytes 0 to " + std::to_string(plan.jumpBytes - 1) +
                    ": the jump into the bootloader; the file's own reset vector (" +
                    describeResetVector(plan.resetVector, chip.family) +
                    ") goes at the end of the fix frame at " + address(plan.applicationLimit));
    if (plan.phantomLine > 0)
        lines.push_back(lineOf(source, plan.phantomLine) +
                        "the fourth byte of an instruction is not 0 (the first such line); "
                        "every such byte is sent as 0, as the chip holds it");
    for (const DataRange& r : plan.ranges)
        if (r.use == DataUse::Eeprom)
            lines.push_back("EEPROM " + range(chip, r.first, r.length) + ": " + bytes(r.length) +
                            " of data");
    if (plan.eepromBytes > 0)
        lines.push_back("EEPROM in all: " + bytes(eepromData) + " of data in " +
                        bytes(plan.eepromBytes) +
                        " written from EEPROM address 0; gaps filled with 0xFF");
    else if (hasEeprom(chip))
        lines.push_back("EEPROM: the file gives none; the EEPROM is not written");
    for (const DataRange& r : plan.ranges) {
        const std::string where = range(chip, r.first, r.length) + ", " + bytes(r.length);
        if (r.use == DataUse::Configuration)
            lines.push_back("left out: configuration " + where +
                            ": the bootloader does not write configuration words");
        else if (r.use == DataUse::IdLocations)
            lines.push_back("left out: ID locations " + where +
                            ": the bootloader does not write ID locations");
        else if (r.use == DataUse::PastApplicationLimit)
            lines.push_back("left out: " + where + " past the application limit " +
                            address(plan.applicationLimit) + ": the bootloader's own area");
    }
    return lines;
}

const char* dataUseName(DataUse use) {
    switch (use) {
    case DataUse::Flash:
        return "flash";
    case DataUse::Eeprom:
        return "eeprom";
    case DataUse::IdLocations:
        return "id-locations";
    case DataUse::Configuration:
        return "configuration";
    case DataUse::PastApplicationLimit:
        return "past-application-limit";
    }
    return "";
}

const char* gapFill(chips::Family family) {
    return family == chips::Family::Pic24 ? "0xFF 0xFF 0xFF 0x00 per instruction" : "0xFF";
}

} // namespace firmware

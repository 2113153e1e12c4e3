#include "engine/result.h"

#include "chips/chip_table.h"
#include "engine/observer.h"

#include <cstdio>

namespace engine {

std::string_view fixedText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ok:
        return " Program Ok ";
    case Outcome::NotResponse:
        return " not Response ";
    case Outcome::UserAbort:
        return " User Abort !! ";
    case Outcome::ChecksumError:
        return " CHK Error !! ";
    case Outcome::IncompatibleBootloader:
        return " Incompatible Bootloader !! ";
    case Outcome::InvalidPort:
        return "Invalid Port Com";
    case Outcome::DeviceNotFound:
        return "Device not Found";
    case Outcome::UnknownChip:
        return " Error !! ";
    case Outcome::NoImage:
        return " No Hex inside !! ";
    case Outcome::ImageTooBig:
        return " Hex too Big !! ";
    case Outcome::UnsuitableBoard:
        break;
    }
    return "";
}

std::string_view phaseText(Phase phase) {
    switch (phase) {
    case Phase::ProgramModeEntry:
        return "Entry in PrgMode";
    case Phase::Programming:
        return "Programming";
    case Phase::FixFrame:
        return "Fix Program";
    case Phase::Eeprom:
        return "Program EEP";
    }
    return "";
}

std::string_view deviceText(const chips::Chip* chip) {
    return chip != nullptr ? chip->statusText : "Unknow Device";
}

std::string loadedText(const LoadedImage& image) {
    char text[64];
    std::snprintf(text, sizeof text, "Loaded %d bytes (%04X to %04X)",
                  static_cast<int>(image.bytes / image.addressUnit),
                  static_cast<unsigned>(image.firstAddress),
                  static_cast<unsigned>(image.endAddress));
    return text;
}

std::string resendText(int attempt) {
    return "Resend " + std::to_string(attempt);
}

std::string_view outcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Ok:
        return "ok";
    case Outcome::NotResponse:
        return "not-response";
    case Outcome::UserAbort:
        return "user-abort";
    case Outcome::ChecksumError:
        return "checksum-error";
    case Outcome::IncompatibleBootloader:
        return "incompatible-bootloader";
    case Outcome::InvalidPort:
        return "invalid-port";
    case Outcome::DeviceNotFound:
        return "device-not-found";
    case Outcome::UnknownChip:
        return "unknown-chip";
    case Outcome::NoImage:
        return "no-image";
    case Outcome::ImageTooBig:
        return "image-too-big";
    case Outcome::UnsuitableBoard:
        return "unsuitable-board";
    }
    return "";
}

Result::Result(Outcome outcome) : outcome_(outcome) {
    const std::string_view text = fixedText(outcome);
    std::snprintf(text_, sizeof text_, "%.*s", static_cast<int>(text.size()), text.data());
}

Result Result::unsuitableBoard(std::string_view imageBoardName, uint8_t imagePreparation) {
    Result result(Outcome::UnsuitableBoard);
    std::snprintf(result.text_, sizeof result.text_, "%.*s - Preparation%x",
                  static_cast<int>(imageBoardName.size()), imageBoardName.data(),
                  static_cast<unsigned>(imagePreparation));
    return result;
}

Result Result::becausePortGone() const {
    Result result = *this;
    result.cause_ = Cause::PortGone;
    return result;
}

Result Result::reached(int percent) const {
    Result result = *this;
    result.percentDone_ = static_cast<uint8_t>(percent < 0 ? 0 : percent > 100 ? 100 : percent);
    return result;
}

} // namespace engine

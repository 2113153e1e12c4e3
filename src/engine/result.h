// How an update ended: one outcome of a closed set, with the exact text the program shows.
#pragma once

#include <cstdint>
#include <string_view>

namespace engine {

enum class Outcome : uint8_t {
    Ok,                     // " Program Ok "
    NotResponse,            // " not Response ": a frame drew no answer
    UserAbort,              // " User Abort !! "
    ChecksumError,          // " CHK Error !! ": a frame refused five times
    IncompatibleBootloader, // " Incompatible Bootloader !! ": BIOS code 33 or above
    InvalidPort,            // "Invalid Port Com": the port is not usable
    DeviceNotFound,         // "Device not Found": no bootloader answered the search
    UnknownChip,            // " Error !! "
    NoImage,                // " No Hex inside !! "
    ImageTooBig,            // " Hex too Big !! "
    UnsuitableBoard,        // "<board> - Preparation<p>": the image is not made for this board
};

// What lies behind a result where its outcome alone does not tell.
enum class Cause : uint8_t {
    None,
    PortGone, // the port's device went away (an adapter pulled out): nothing more could be sent
};

class Result {
public:
    // The result of an outcome with a fixed text (every outcome but UnsuitableBoard).
    explicit Result(Outcome outcome);
    // The refusal of an image made for the board `imageBoardName` and preparation number.
    static Result unsuitableBoard(std::string_view imageBoardName, uint8_t imagePreparation);

    // The same result, for a port whose device went away; its text stays the outcome's.
    Result becausePortGone() const;
    // The same result, noting that `percent` of the frames (0 to 100) had been written.
    Result reached(int percent) const;

    Outcome outcome() const { return outcome_; }
    bool ok() const { return outcome_ == Outcome::Ok; }
    std::string_view text() const { return text_; }
    Cause cause() const { return cause_; }
    // How much of the writing was done when the run ended, 0 to 100 (0 before it began).
    int percentDone() const { return percentDone_; }

private:
    Outcome outcome_;
    Cause cause_ = Cause::None;
    uint8_t percentDone_ = 0;
    char text_[40] = {};
};

// The fixed text of an outcome; UnsuitableBoard has none of its own ("").
std::string_view fixedText(Outcome outcome);

// A stable name of the outcome for programs and records: "ok", "not-response", ...
std::string_view outcomeName(Outcome outcome);

} // namespace engine

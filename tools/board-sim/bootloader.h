// The emulated bootloader: a byte-at-a-time state machine with no I/O of its own, so that it
// can be driven by the pseudo-terminal loop and by tests alike.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace boardsim {

struct Config {
    // Search bytes answered; the other one is ignored.
    bool acceptC2 = true;
    bool acceptC5 = true;
    // Identification: full ("V", BIOS, chip, board, preparation, "K") or an older bootloader's
    // chip code and "K".
    bool old = false;
    uint8_t bios = 10;
    uint8_t chip = 254;
    uint8_t board = 0;
    uint8_t preparation = 1;
    // Board data record, sent after the identification for BIOS codes 8..31.
    bool sendRecord = true;
    std::string description = "Trevane demo board";
    uint16_t protectStart = 0;
    uint16_t protectLength = 0;
    // Faults. Frame numbers count the frames with a good checksum from 0 over the whole run;
    // a frame equal to the one before it (a resend) keeps its number.
    std::map<int, int> refusals;    // frame number -> times to refuse it
    std::set<int> silentFrames;     // never answered
    int answerAfter = 0;            // search bytes to ignore before the first answer
    bool refuseSearch = false;      // answer "N" to every search byte
    bool silentProgramMode = false; // never answer the program-mode byte
    int garbage = 0;                // bytes sent before each identification
    int hangupAfter = -1;           // frames answered before hanging up on the next one
    int stallAfter = -1;            // frames answered before the line stops taking data
};

// What one received byte led to.
struct Outcome {
    std::vector<uint8_t> reply; // bytes to send back, possibly none
    bool commandEnded = false;  // the byte ended a search byte, program-mode byte or frame
    bool flashFrame = false;    // ... and that was a flash frame (the board writes flash now)
    bool hangup = false;        // the line is to be dropped now
    bool stall = false;         // the line is to stop taking data once the reply is out
};

struct Counters {
    int searches = 0;
    int answered = 0;
    int progmodes = 0;
    int frames = 0; // acknowledged frames
    int refused = 0;
    int badChecksums = 0;
    int silent = 0;
};

class Bootloader {
public:
    explicit Bootloader(Config config);

    Outcome feed(uint8_t byte);
    // A new line (after a hang-up): a frame cut off half way is forgotten.
    void lineReset();

    bool inProgramMode() const { return programMode_; }
    const Counters& counters() const { return counters_; }
    const std::vector<std::string>& log() const { return log_; }
    // The dump text: one line per event in arrival order, then the counts.
    std::string dump() const;

    // Whether the chip's flash frames carry a two-byte length field (the 16-bit chips).
    static bool twoByteLength(uint8_t chip);

private:
    Outcome onSearch(uint8_t byte);
    Outcome onFrame();
    void appendIdentification(std::vector<uint8_t>& reply) const;
    std::string describeFrame() const;

    Config config_;
    Counters counters_;
    std::vector<std::string> log_;
    std::vector<uint8_t> frame_;    // bytes of the command being received
    std::size_t frameLength_ = 0;   // its full length with checksum, 0 while the header is short
    std::vector<uint8_t> lastGood_; // the last frame with a good checksum, to spot resends
    int frameNumber_ = -1;
    std::map<int, int> refusedSoFar_;
    int searchesSeen_ = 0;
    bool programMode_ = false;
};

} // namespace boardsim

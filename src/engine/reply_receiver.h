// The reply receiver: turns the bootloader's reply bytes into what the session acts on (an
// acknowledgement, a refusal, the board's identification and its board data record). It keeps
// no bytes, only its state, so a reply may be split across reads anywhere.
//
// Replies carry no framing. In the idle state "K" acknowledges (and latches the identification
// collected so far), "N" refuses, "V" announces a four-byte identification (BIOS code, chip
// code, board index, preparation number), and "R" a board data record while the latched BIOS
// code is 8 to 31: "R", length L, one ignored byte, L payload bytes, "K". Payload bytes 0..23
// are the board description, 24..25 the protected range start and 26..27 its length (low byte
// first). Any other idle byte is an identification byte; one arriving while no identification
// is being collected is an older bootloader's lone chip code.
#pragma once

#include <cstdint>

namespace engine {

inline constexpr uint8_t kReplyAck = 'K';
inline constexpr uint8_t kReplyRefused = 'N';
inline constexpr uint8_t kReplyIdentification = 'V';
inline constexpr uint8_t kReplyBoardRecord = 'R';
inline constexpr int kBoardDescriptionLength = 24;

struct Identification {
    uint8_t biosCode = 0;
    uint8_t chipCode = 0;
    uint8_t boardIndex = 0;
    uint8_t preparation = 0;
};

struct BoardRecord {
    char description[kBoardDescriptionLength + 1] = {}; // up to its first zero byte
    uint16_t protectedStart = 0;                        // in program-memory addresses
    uint16_t protectedLength = 0;
    bool complete = false; // its closing "K" has arrived
};

// Bootloaders with these BIOS codes send a board data record after their identification.
constexpr bool sendsBoardRecord(uint8_t biosCode) {
    return biosCode >= 8 && biosCode <= 31;
}

class ReplyReceiver {
public:
    void feed(uint8_t byte);
    void feed(const uint8_t* bytes, int32_t count);

    // Idle, with no identification and an empty board record: the state a search starts from.
    void reset();
    // Forgets the latched identification only.
    void clearIdentification() { identification_ = {}; }
    // Forgets the last answer; done right before a command is written.
    void clearAnswer() {
        acknowledged_ = false;
        refused_ = false;
        heardIdentification_ = false;
    }

    bool acknowledged() const { return acknowledged_; }
    // Whether identification bytes ("V" or any other) came since the last clearAnswer(): an
    // answer to a search carries some, a stray "K" none.
    bool heardIdentification() const { return heardIdentification_; }
    bool refused() const { return refused_; }
    const Identification& identification() const { return identification_; }
    // True after a "V" identification; false for an older bootloader's lone chip code.
    bool fullIdentification() const { return fullIdentification_; }
    const BoardRecord& boardRecord() const { return record_; }

private:
    enum class State : uint8_t { Idle, ExpectLength, SkipByte, Payload };
    static constexpr uint8_t kNotCollecting = 255;

    void feedIdle(uint8_t byte);
    void takeIdentificationByte(uint8_t byte);
    void storePayloadByte(uint16_t position, uint8_t byte);

    State state_ = State::Idle;
    bool acknowledged_ = false;
    bool refused_ = false;
    bool heardIdentification_ = false;
    Identification identification_; // latched at every idle "K"
    Identification pending_;        // collected since the last "V"
    uint8_t collectPosition_ = kNotCollecting;
    bool fullIdentification_ = false;
    uint16_t recordLength_ = 0;
    uint16_t recordPosition_ = 0;
    BoardRecord record_;
};

} // namespace engine

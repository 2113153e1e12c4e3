// One update of one board: the search for its bootloader, the decision whether and what to
// write, and the writing itself, frame by frame with checksums and resends. A session owns
// everything it changes (its receiver, its buffers, the frames it patches), so sessions on
// several ports run at once, one thread each. It allocates nothing while it runs.
#pragma once

#include "engine/observer.h"
#include "engine/reply_receiver.h"
#include "engine/result.h"
#include "firmware/image_table.h"

#include <atomic>
#include <cstdint>

namespace serial {
class SerialPort;
}

namespace engine {

inline constexpr uint8_t kUpdaterSearchByte = 0xC2;
inline constexpr uint8_t kUpgradeSearchByte = 0xC5;

struct SessionOptions {
    // The Updater window's byte, or the Upgrade window's: each product line's bootloaders
    // answer their own.
    uint8_t searchByte = kUpdaterSearchByte;

    static constexpr SessionOptions updater() { return {kUpdaterSearchByte}; }
    static constexpr SessionOptions upgrade() { return {kUpgradeSearchByte}; }
};

// How the session passes one 5 ms step of a wait. Windows serve their events in each step, so
// that Stop and repaints work while the session runs inside a click handler; a headless run
// blocks on the port. A step may end early when input arrives, never late.
class WaitStrategy {
public:
    virtual ~WaitStrategy() = default;
    virtual void step(serial::SerialPort& port) = 0;
};

inline constexpr int kStepMs = 5;

// A headless run's wait: each step blocks on the port until input arrives or the step is over.
class BlockingWait final : public WaitStrategy {
public:
    void step(serial::SerialPort& port) override;
};
inline constexpr int kSearchTries = 100;
inline constexpr int32_t kSearchReplyMs = 100;
inline constexpr int32_t kCommandReplyMs = 1000;
inline constexpr int32_t kProgramModeReplyMs = 2000;
inline constexpr int kBoardRecordWaitSteps = 251;
inline constexpr int kMaxSends = 5; // a refused frame is sent at most this often in all
inline constexpr uint8_t kProgramModeByte = 0xCC;
inline constexpr uint8_t kEepromCommand = 0x40;
inline constexpr int32_t kMaxEepromLength = 256; // EEPROM addresses are one byte on the wire
inline constexpr int32_t kReceiveBufferSize = 3072;
inline constexpr int32_t kFrameBufferSize = 300; // 5 header + 256 data bytes + the checksum

// Whether an image made for (imageBoard, imagePreparation) suits the identified board.
bool imageSuitsBoard(const Identification& board, bool fullIdentification,
                     const firmware::ImageIdentity& image);

class Session {
public:
    // The port is used as it is: the caller opens it (a closed port ends in InvalidPort).
    Session(serial::SerialPort& port, const firmware::ImageSource& images, SessionOptions options,
            WaitStrategy& wait, SessionObserver& observer);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Searches for a bootloader and, when one answers, decides and writes. The observer hears
    // every step and last the result, which is also returned.
    Result run();

    // One search try: true when a bootloader answers within the try's 100 ms. For a station
    // that waits for the board just programmed to be taken away.
    bool boardAnswers();

    // Stops the run at its next wait with UserAbort; nothing more is sent then. From any
    // thread. A request that no wait meets ends with the session.
    void requestAbort() noexcept { abortRequested_.store(true, std::memory_order_relaxed); }

private:
    enum class Answer { Acknowledged, Refused, Aborted, TimedOut };
    enum class Found { Yes, No, Aborted };
    struct Geometry;

    Found search();
    Result program();
    Outcome write(const firmware::FirmwareImage& image, const Geometry& geometry,
                  int32_t protectedStart, int32_t protectedLength);
    Outcome writeFlash(const firmware::FirmwareImage& image, const Geometry& geometry,
                       int32_t protectedStart, int32_t protectedLength);
    Outcome writeFix(const firmware::FirmwareImage& image, const Geometry& geometry);
    Outcome writeEeprom(const firmware::FirmwareImage& image);

    // Appends the checksum, sends the frame and waits for its answer; resends on refusal.
    Outcome sendCommand(int32_t length);
    void sendByte(uint8_t byte);
    Answer waitReply(int32_t timeoutMs);
    void receive();
    Result finish(const Result& result);

    serial::SerialPort& port_;
    const firmware::ImageSource& images_;
    const SessionOptions options_;
    WaitStrategy& wait_;
    SessionObserver& observer_;
    std::atomic<bool> abortRequested_{false};
    ReplyReceiver receiver_;
    uint8_t receiveBuffer_[kReceiveBufferSize];
    uint8_t frame_[kFrameBufferSize];
};

} // namespace engine

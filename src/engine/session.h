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

inline constexpr int kStepMs = 5;

// How the session passes a wait, in steps of 5 ms. Windows serve their events in each step, so
// that Stop and repaints work while the session runs inside a click handler; a headless run
// blocks on the port. A step may end early when input arrives, never late.
class WaitStrategy {
public:
    virtual ~WaitStrategy() = default;
    virtual void step(serial::SerialPort& port) = 0;
    // Passes up to `leftMs` of a wait (at least one step), ending early when input arrives, and
    // returns the time passed in whole steps. By default one step.
    virtual int32_t pass(serial::SerialPort& port, int32_t /*leftMs*/) {
        step(port);
        return kStepMs;
    }
};

// A headless run's wait: each step blocks on the port until input arrives or the step is over.
class BlockingWait final : public WaitStrategy {
public:
    void step(serial::SerialPort& port) override;
};

// A station's wait: it blocks on the port for up to 100 ms at a time, so that a port waiting
// for its next board costs little; a Stop from another thread is seen within that time.
class PatientWait final : public WaitStrategy {
public:
    static constexpr int32_t kSliceMs = 100;
    void step(serial::SerialPort& port) override;
    int32_t pass(serial::SerialPort& port, int32_t leftMs) override;
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

// What a session decided for the board that answered, before anything is written: the board,
// its chip, the image and how the write phase would send it.
struct Plan {
    BoardFound board;
    const chips::Chip* chip = nullptr; // nullptr: a chip this program does not know
    const firmware::FirmwareImage* image = nullptr;
    firmware::ImageIdentity imageIdentity;
    LoadedImage loaded;
    int32_t blockSize = 0;        // image bytes a flash frame carries
    int32_t applicationLimit = 0; // the fix frame's address
    int32_t programLength = 0;    // image bytes the flash frames carry
    int32_t protectedStart = 0;   // addresses whose frames are skipped; a start of 0 skips none
    int32_t protectedLength = 0;
    int32_t flashFrames = 0;   // flash frames sent, the protected ones left out
    int32_t skippedFrames = 0; // flash frames left out for the protected range
    int32_t eepromBytes = 0;
    bool programMode = false; // the program-mode byte goes first

    // Frames the write phase sends: flash, the fix frame, EEPROM.
    int32_t frames() const { return flashFrames + 1 + eepromBytes; }
};

// One flash frame of a plan: the image bytes it carries and the addresses it covers.
struct FlashFrame {
    int32_t start = 0; // index of its first image byte
    int32_t count = 0; // image bytes it carries
    int32_t first = 0; // its address
    int32_t end = 0;   // the address just past it
    bool last = false;
    bool skipped = false; // it touches the board's protected range: not sent
};

// Calls `visit` with each flash frame of a plan (whose chip is known), in the order they go
// out, while it returns true. False when a visit stopped it.
template <typename Visit> bool forEachFlashFrame(const Plan& plan, Visit visit) {
    const int32_t unit = plan.chip->addressUnit;
    for (int32_t start = 0; start < plan.programLength; start += plan.blockSize) {
        FlashFrame f;
        f.start = start;
        f.count = plan.programLength - start < plan.blockSize ? plan.programLength - start
                                                              : plan.blockSize;
        f.first = start / unit;
        f.end = (start + f.count + unit - 1) / unit;
        f.last = start + f.count >= plan.programLength;
        // A start of 0 protects nothing.
        f.skipped = plan.protectedStart != 0 &&
                    f.first < plan.protectedStart + plan.protectedLength &&
                    plan.protectedStart < f.end;
        if (!visit(f)) return false;
    }
    return true;
}

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

    // Searches (at most `tries` tries) and decides as run() does, filling `plan`, but sends
    // nothing more than the search bytes. Ok when the image would be written; otherwise the
    // result run() would end with. The observer hears the same events as in run() up to the
    // image, and no finished().
    Result inspect(Plan& plan, int tries = kSearchTries);

    // One search try: true when a bootloader answers within the try's 100 ms. For a station
    // that waits for the board just programmed to be taken away.
    bool boardAnswers();

    // Stops the run at its next wait with UserAbort; nothing more is sent then. From any
    // thread. A request that no wait meets ends with the session.
    void requestAbort() noexcept { abortRequested_.store(true, std::memory_order_relaxed); }

private:
    enum class Answer { Acknowledged, Refused, Aborted, TimedOut, PortGone };
    enum class Found { Yes, No, Aborted, PortGone };

    // Searches and decides: Ok with `plan` filled when the image is to be written.
    Result searchAndDecide(Plan& plan, int tries);
    Found search(int tries);
    Result decide(Plan& plan);
    Result program(const Plan& plan);
    Outcome write(const Plan& plan);
    Outcome writeFlash(const Plan& plan);
    Outcome writeFix(const Plan& plan);
    Outcome writeEeprom(const Plan& plan);

    // Appends the checksum, sends the frame and waits for its answer; resends on refusal.
    Outcome sendCommand(int32_t length);
    void sendByte(uint8_t byte);
    // identification: the answer must carry the board's identification (a search's answer).
    Answer waitReply(int32_t timeoutMs, bool identification = false);
    void receive();
    // A frame the board has taken (or that the protected range leaves out).
    void frameDone() { ++framesDone_; }
    Result finish(const Result& result);

    serial::SerialPort& port_;
    const firmware::ImageSource& images_;
    const SessionOptions options_;
    WaitStrategy& wait_;
    SessionObserver& observer_;
    std::atomic<bool> abortRequested_{false};
    bool portGone_ = false; // the port's device went away during this run
    int32_t framesTotal_ = 0;
    int32_t framesDone_ = 0;
    ReplyReceiver receiver_;
    uint8_t receiveBuffer_[kReceiveBufferSize];
    uint8_t frame_[kFrameBufferSize];
};

} // namespace engine

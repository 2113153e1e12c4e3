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
    // Sends and notes when the bytes have left (sentUs_), for the answer's time.
    void send(const uint8_t* bytes, int32_t count);
    void sendByte(uint8_t byte);
    // From the moment the last bytes sent had crossed the line to the first byte that came
    // back (or to now, when none has).
    int32_t answerUs() const;
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
    int64_t sentUs_ = 0;       // when the last bytes sent had left, on the port's clock
    int64_t firstByteUs_ = -1; // when the first byte after them arrived; -1: none yet
    ReplyReceiver receiver_;
    uint8_t receiveBuffer_[kReceiveBufferSize];
    uint8_t frame_[kFrameBufferSize];
};

} // namespace engine

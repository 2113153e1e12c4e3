#include "engine/session.h"

#include "chips/chip_table.h"
#include "firmware/board_catalogue.h"
#include "serial/serial_port.h"

#include <algorithm>
#include <cstring>

namespace engine {

namespace {

constexpr uint8_t kFirstIncompatibleBios = 33;
constexpr uint8_t kFirstBiosWithProgramMode = 5;
constexpr uint8_t kOlderBootloaderBoard = 2; // what a lone chip code is taken to mean

bool preparationAccepted(uint8_t device, uint8_t image) {
    if (device == image) return true;
    if (device == 3 && (image & 0x80)) return true;
    if ((device & 0x80) && (image & 0x80)) return true;
    // Bit 4 of the board asks for an image with bit 4; the low bits name compatible options.
    if ((device & 0x10) && !(image & 0x10)) return false;
    const int option = image & 0x6F;
    switch (device & 0x0F) {
    case 1:
        return option == 1 || option == 4;
    case 2:
        return option == 1 || option == 2 || option == 4;
    case 5:
        return option == 4 || option == 5;
    default:
        return option == (device & 0x0F);
    }
}

} // namespace

bool imageSuitsBoard(const Identification& board, bool fullIdentification,
                     const firmware::ImageIdentity& image) {
    // Images for no board in particular, and boards that cannot say which they are, pass.
    if (image.boardIndex == 0 || image.boardIndex == 255 || !fullIdentification) return true;
    if (board.boardIndex != image.boardIndex) return false;
    return preparationAccepted(board.preparation, image.preparation);
}

void BlockingWait::step(serial::SerialPort& port) {
    port.waitReadable(kStepMs);
}

void PatientWait::step(serial::SerialPort& port) {
    port.waitReadable(kStepMs);
}

int32_t PatientWait::pass(serial::SerialPort& port, int32_t leftMs) {
    const int32_t slice = std::max(kStepMs, std::min(leftMs, kSliceMs) / kStepMs * kStepMs);
    const int64_t start = port.clockUs();
    port.waitReadable(slice);
    // Whole steps, as many as began: at least one, never more than the slice.
    const int64_t passed = (port.clockUs() - start) / 1000 / kStepMs + 1;
    return static_cast<int32_t>(std::min<int64_t>(passed * kStepMs, slice));
}

Session::Session(serial::SerialPort& port, const firmware::ImageSource& images,
                 SessionOptions options, WaitStrategy& wait, SessionObserver& observer)
    : port_(port), images_(images), options_(options), wait_(wait), observer_(observer) {}

Result Session::finish(const Result& result) {
    observer_.finished(result);
    return result;
}

Result Session::run() {
    Plan plan;
    const Result decided = searchAndDecide(plan, kSearchTries);
    if (!decided.ok()) return finish(decided);
    return finish(program(plan));
}

Result Session::inspect(Plan& plan, int tries) {
    plan = Plan{};
    return searchAndDecide(plan, tries);
}

Result Session::searchAndDecide(Plan& plan, int tries) {
    portGone_ = false;
    framesTotal_ = framesDone_ = 0;
    observer_.searchStarted();
    if (!port_.usable()) return Result(Outcome::InvalidPort);
    switch (search(tries)) {
    case Found::Aborted:
        return Result(Outcome::UserAbort);
    case Found::No:
        return Result(Outcome::DeviceNotFound);
    case Found::PortGone:
        // Nothing answered before the adapter went: as for a board that never answered.
        return Result(Outcome::DeviceNotFound).becausePortGone();
    case Found::Yes:
        break;
    }
    return decide(plan);
}

void Session::receive() {
    const int32_t count = port_.read(receiveBuffer_, kReceiveBufferSize);
    if (count > 0 && firstByteUs_ < 0) firstByteUs_ = port_.clockUs();
    if (count > 0) receiver_.feed(receiveBuffer_, count);
    // The port was open when the run began: a port that no longer reads has lost its device.
    if (count < 0) portGone_ = true;
}

Session::Answer Session::waitReply(int32_t timeoutMs, bool identification) {
    // Whole steps: a wait of 100 ms is 20 of them, one of 4 ms none.
    for (int32_t left = timeoutMs / kStepMs * kStepMs; left > 0 && !portGone_;) {
        left -= wait_.pass(port_, left);
        receive();
        if (abortRequested_.exchange(false, std::memory_order_relaxed)) return Answer::Aborted;
        // A lone "K" answers no search: it is the late answer to a frame of an update stopped
        // a moment ago. The board's own answer may still follow in this wait.
        if (identification && receiver_.acknowledged() && !receiver_.heardIdentification())
            receiver_.clearAnswer();
        if (receiver_.acknowledged()) return Answer::Acknowledged;
        if (receiver_.refused()) return Answer::Refused;
    }
    return portGone_ ? Answer::PortGone : Answer::TimedOut;
}

void Session::send(const uint8_t* bytes, int32_t count) {
    receiver_.clearAnswer();
    const int64_t startUs = port_.clockUs();
    // Bytes that never left show as a missing answer, or as a port that has gone.
    if (!port_.write(bytes, count) && !port_.isOpen()) portGone_ = true;
    // Some ports say "sent" once the bytes are only handed on (pseudo-terminals, USB adapters
    // with deep buffers): the bytes are on the wire until their own time there has passed.
    const int64_t onWireUs = int64_t{count} * kBitsPerByte * 1'000'000 / serial::kBaudRate;
    sentUs_ = std::max(port_.clockUs(), startUs + onWireUs);
    firstByteUs_ = -1;
}

void Session::sendByte(uint8_t byte) {
    send(&byte, 1);
}

int32_t Session::answerUs() const {
    const int64_t at = firstByteUs_ >= 0 ? firstByteUs_ : port_.clockUs();
    return static_cast<int32_t>(std::clamp<int64_t>(at - sentUs_, 0, INT32_MAX));
}

Session::Found Session::search(int tries) {
    receiver_.reset();
    for (int attempt = 0; attempt < tries; ++attempt) {
        // Whatever arrived before this try is not an answer to it.
        port_.discardInput();
        receiver_.clearIdentification();
        observer_.searchTry(attempt);
        sendByte(options_.searchByte);
        switch (waitReply(kSearchReplyMs, true)) {
        case Answer::Aborted:
            observer_.searchEnded();
            return Found::Aborted;
        case Answer::Acknowledged:
            // The identification needs no flash work: its time is the adapter's.
            observer_.adapterTimed(answerUs());
            observer_.searchEnded();
            return Found::Yes;
        case Answer::PortGone:
            observer_.searchEnded();
            return Found::PortGone;
        case Answer::Refused: // a refused search byte is no answer
        case Answer::TimedOut:
            break;
        }
    }
    observer_.searchEnded();
    return Found::No;
}

bool Session::boardAnswers() {
    port_.discardInput();
    receiver_.reset();
    sendByte(options_.searchByte);
    return waitReply(kSearchReplyMs, true) == Answer::Acknowledged;
}

Result Session::decide(Plan& plan) {
    observer_.sessionStarted();
    BoardFound& board = plan.board;
    board.identification = receiver_.identification();
    Identification& id = board.identification;
    if (id.biosCode >= kFirstIncompatibleBios) return Result(Outcome::IncompatibleBootloader);
    if (sendsBoardRecord(id.biosCode)) {
        // The record comes unasked; a board that never sends it is programmed all the same.
        for (int step = 0; step < kBoardRecordWaitSteps && !receiver_.boardRecord().complete;
             ++step) {
            receive();
            wait_.step(port_);
        }
    }
    board.fullIdentification = receiver_.fullIdentification();
    board.record = receiver_.boardRecord();
    if (!board.fullIdentification) id.boardIndex = kOlderBootloaderBoard;
    observer_.boardFound(board);

    const firmware::FirmwareImage& image = images_.select(id.chipCode, id.boardIndex);
    plan.image = &image;
    const chips::Chip* chip = chips::chipByCode(id.chipCode);
    if (chip == nullptr) return Result(Outcome::UnknownChip);
    plan.chip = chip;

    const int32_t unit = chip->addressUnit;
    plan.blockSize = chip->blockSize;
    plan.applicationLimit = chips::applicationLimit(*chip, id.biosCode);
    const chips::ProgramLength length =
        chips::programLength(*chip, plan.applicationLimit, image.flashLength);
    if (length.tooBig) return Result(Outcome::ImageTooBig);
    plan.programLength = static_cast<int32_t>(length.bytes);
    if (!image.hasImage()) return Result(Outcome::NoImage);
    observer_.chipNamed(*chip);

    plan.imageIdentity = images_.identityOf(image, *chip);
    if (chip->family == chips::Family::Pic24 && sendsBoardRecord(id.biosCode)) {
        plan.protectedStart = board.record.protectedStart;
        plan.protectedLength = board.record.protectedLength;
    }
    observer_.imageIdentified(plan.imageIdentity);
    if (!imageSuitsBoard(id, board.fullIdentification, plan.imageIdentity))
        return Result::unsuitableBoard(firmware::boardName(plan.imageIdentity.boardIndex),
                                       plan.imageIdentity.preparation);

    forEachFlashFrame(plan, [&plan](const FlashFrame& f) {
        ++(f.skipped ? plan.skippedFrames : plan.flashFrames);
        return true;
    });
    // Addresses past 255 would wrap onto the first bytes: such data is not written.
    plan.eepromBytes = image.eepromLength <= 0 ? 0 : std::min(image.eepromLength, kMaxEepromLength);
    plan.programMode = board.fullIdentification && id.biosCode >= kFirstBiosWithProgramMode;
    plan.loaded = {image.flashLength, unit, 0, plan.programLength / unit};
    observer_.planned(plan);
    observer_.imageLoaded(plan.loaded);
    return Result(Outcome::Ok);
}

Result Session::program(const Plan& plan) {
    framesTotal_ = plan.frames();
    if (plan.programMode) {
        observer_.programModeEntry();
        sendByte(kProgramModeByte);
        // Whatever the answer, writing follows; but a Stop now comes before anything is written.
        const Answer answer = waitReply(kProgramModeReplyMs);
        if (answer == Answer::Acknowledged || answer == Answer::Refused)
            observer_.adapterTimed(answerUs());
        if (answer == Answer::Aborted) return Result(Outcome::UserAbort);
        if (answer == Answer::PortGone) return Result(Outcome::NotResponse).becausePortGone();
    }
    observer_.programmingStarted();
    const Outcome outcome = write(plan);
    const int percent = static_cast<int>(100LL * framesDone_ / framesTotal_);
    const Result result = Result(outcome).reached(percent);
    return portGone_ && outcome != Outcome::Ok ? result.becausePortGone() : result;
}

Outcome Session::write(const Plan& plan) {
    observer_.flashStarted(plan.loaded.endAddress);
    Outcome r = writeFlash(plan);
    if (r != Outcome::Ok) return r;
    r = writeFix(plan);
    if (r != Outcome::Ok) return r;
    r = writeEeprom(plan);
    if (r != Outcome::Ok) return r;
    observer_.writeEnded();
    return Outcome::Ok;
}

namespace {

// Address and length field of a flash frame; returns the header's size.
int32_t putFlashHeader(uint8_t* frame, int32_t address, int32_t length, int32_t fieldBytes) {
    frame[0] = static_cast<uint8_t>(address >> 16);
    frame[1] = static_cast<uint8_t>(address >> 8);
    frame[2] = static_cast<uint8_t>(address);
    if (fieldBytes == 1) {
        frame[3] = static_cast<uint8_t>(length);
        return 4;
    }
    frame[3] = static_cast<uint8_t>(length >> 8);
    frame[4] = static_cast<uint8_t>(length);
    return 5;
}

} // namespace

Outcome Session::writeFlash(const Plan& plan) {
    const chips::ResetJump& jump = chips::resetJump(*plan.chip, plan.board.identification.biosCode);
    const uint8_t jumpMask = images_.scrambleMask(0);
    const firmware::FirmwareImage& image = *plan.image;
    Outcome outcome = Outcome::Ok;
    forEachFlashFrame(plan, [&](const FlashFrame& f) {
        observer_.frameStarted(f.first);
        // The last frame says how much it carries; the others carry a whole block.
        const int32_t header =
            putFlashHeader(frame_, f.first, f.count, plan.chip->lengthFieldBytes);
        std::memcpy(frame_ + header, image.flashData + f.start, static_cast<size_t>(f.count));
        if (f.start == 0) {
            // The image starts with the jump into the bootloader, so that a board whose update
            // breaks off still starts in its bootloader. Patched in this session's copy only.
            for (int k = 0; k < jump.length && k < f.count; ++k)
                frame_[header + k] = static_cast<uint8_t>(jump.bytes[k] ^ jumpMask);
        }
        if (!f.last) observer_.progress(f.end);
        if (f.skipped) {
            frameDone();
            return true;
        }
        // Every frame must be acknowledged: one that drew no answer may not have been written,
        // and reporting success over it would hide damaged firmware.
        outcome = sendCommand(header + f.count);
        return outcome == Outcome::Ok;
    });
    return outcome;
}

Outcome Session::writeFix(const Plan& plan) {
    observer_.fixFrame();
    // A whole erased block at the application limit, the fix block at its end.
    const firmware::FirmwareImage& image = *plan.image;
    const uint8_t mask = images_.scrambleMask(static_cast<uint32_t>(plan.applicationLimit));
    const int32_t header =
        putFlashHeader(frame_, plan.applicationLimit, plan.blockSize, plan.chip->lengthFieldBytes);
    std::memset(frame_ + header, 0xFF ^ mask, static_cast<size_t>(plan.blockSize));
    // A fix block longer than a block is not a valid image: never written past the frame.
    const int32_t fixLength = std::clamp(image.fixLength, 0, plan.blockSize);
    uint8_t* fix = frame_ + header + plan.blockSize - fixLength;
    for (int32_t k = 0; k < fixLength; ++k)
        fix[k] = static_cast<uint8_t>(image.fixData[k] ^ mask);
    return sendCommand(header + plan.blockSize);
}

Outcome Session::writeEeprom(const Plan& plan) {
    if (plan.eepromBytes <= 0) return Outcome::Ok;
    observer_.eepromStarted(plan.eepromBytes);
    for (int32_t i = 0; i < plan.eepromBytes; ++i) {
        observer_.eepromByte(i);
        frame_[0] = kEepromCommand;
        frame_[1] = static_cast<uint8_t>(i);
        frame_[2] = plan.image->eepromData[i];
        frame_[3] = 0x01;
        frame_[4] = 0x00;
        const Outcome r = sendCommand(5);
        if (r != Outcome::Ok) return r;
        observer_.progress(i);
    }
    return Outcome::Ok;
}

Outcome Session::sendCommand(int32_t length) {
    uint8_t sum = 0;
    for (int32_t i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + frame_[i]);
    frame_[length] = static_cast<uint8_t>(0u - sum); // all bytes of the frame add up to 0
    for (int attempt = 0;; ++attempt) {
        send(frame_, length + 1);
        const Answer answer = waitReply(kCommandReplyMs);
        if (answer == Answer::Acknowledged || answer == Answer::Refused)
            observer_.replyTimed(answerUs());
        switch (answer) {
        case Answer::Acknowledged:
            frameDone();
            return Outcome::Ok;
        case Answer::Aborted:
            return Outcome::UserAbort;
        case Answer::Refused:
            observer_.resend(attempt);
            if (attempt + 1 >= kMaxSends) return Outcome::ChecksumError;
            break;
        case Answer::TimedOut: // an unanswered frame is never sent again
        case Answer::PortGone:
            return Outcome::NotResponse;
        }
    }
}

} // namespace engine

#include "engine/session.h"

#include "chips/chip_table.h"
#include "firmware/board_catalogue.h"
#include "serial/serial_port.h"

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

void BlockingWait::step(serial::SerialPort& port) { port.waitReadable(kStepMs); }

// What the write phase needs to know of the chip for this image.
struct Session::Geometry {
    const chips::ResetJump* resetJump = nullptr;
    int32_t lengthFieldBytes = 1;
    int32_t addressUnit = 1;
    int32_t blockSize = 0;        // image bytes per flash frame
    int32_t applicationLimit = 0; // first address the flash frames do not reach; the fix frame's
    int32_t programLength = 0;    // image bytes the flash frames carry
};

Session::Session(serial::SerialPort& port, const firmware::ImageSource& images,
                 SessionOptions options, WaitStrategy& wait, SessionObserver& observer)
    : port_(port), images_(images), options_(options), wait_(wait), observer_(observer) {}

Result Session::finish(const Result& result) {
    observer_.finished(result);
    return result;
}

Result Session::run() {
    observer_.searchStarted();
    if (!port_.usable()) return finish(Result(Outcome::InvalidPort));
    switch (search()) {
    case Found::Aborted:
        return finish(Result(Outcome::UserAbort));
    case Found::No:
        return finish(Result(Outcome::DeviceNotFound));
    case Found::Yes:
        break;
    }
    return finish(program());
}

void Session::receive() {
    const int32_t count = port_.read(receiveBuffer_, kReceiveBufferSize);
    if (count > 0) receiver_.feed(receiveBuffer_, count);
}

Session::Answer Session::waitReply(int32_t timeoutMs) {
    const int32_t steps = timeoutMs / kStepMs;
    for (int32_t i = 0; i < steps; ++i) {
        wait_.step(port_);
        receive();
        if (abortRequested_.exchange(false, std::memory_order_relaxed)) return Answer::Aborted;
        if (receiver_.acknowledged()) return Answer::Acknowledged;
        if (receiver_.refused()) return Answer::Refused;
    }
    return Answer::TimedOut;
}

void Session::sendByte(uint8_t byte) {
    receiver_.clearAnswer();
    port_.write(&byte, 1); // a byte that never left shows as a missing answer
}

Session::Found Session::search() {
    receiver_.reset();
    for (int attempt = 0; attempt < kSearchTries; ++attempt) {
        // Whatever arrived before this try is not an answer to it.
        port_.discardInput();
        receiver_.clearIdentification();
        observer_.searchTry(attempt);
        sendByte(options_.searchByte);
        switch (waitReply(kSearchReplyMs)) {
        case Answer::Aborted:
            observer_.searchEnded();
            return Found::Aborted;
        case Answer::Acknowledged:
            observer_.searchEnded();
            return Found::Yes;
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
    return waitReply(kSearchReplyMs) == Answer::Acknowledged;
}

Result Session::program() {
    observer_.sessionStarted();
    BoardFound board;
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
    const chips::Chip* chip = chips::chipByCode(id.chipCode);
    if (chip == nullptr) return Result(Outcome::UnknownChip);

    Geometry g;
    g.resetJump = &chips::resetJump(*chip, id.biosCode);
    g.lengthFieldBytes = chip->lengthFieldBytes;
    g.addressUnit = chip->addressUnit;
    g.blockSize = chip->blockSize;
    g.applicationLimit = chips::applicationLimit(*chip, id.biosCode);
    if (chip->family == chips::Family::Pic18) {
        // The tail beyond the application area would overwrite the bootloader: it is dropped.
        g.programLength =
            image.flashLength > g.applicationLimit ? g.applicationLimit : image.flashLength;
    } else {
        g.programLength = image.flashLength;
        if (image.flashLength > 2 * g.applicationLimit) return Result(Outcome::ImageTooBig);
    }
    if (!image.hasImage()) return Result(Outcome::NoImage);
    observer_.chipNamed(*chip);

    const firmware::ImageIdentity identity = images_.identityOf(image, *chip);
    int32_t protectedStart = 0;
    int32_t protectedLength = 0;
    if (chip->family == chips::Family::Pic24 && sendsBoardRecord(id.biosCode)) {
        protectedStart = board.record.protectedStart;
        protectedLength = board.record.protectedLength;
    }
    observer_.imageIdentified(identity);
    if (!imageSuitsBoard(id, board.fullIdentification, identity))
        return Result::unsuitableBoard(firmware::boardName(identity.boardIndex),
                                       identity.preparation);

    observer_.imageLoaded({image.flashLength, g.addressUnit, 0, g.programLength / g.addressUnit});
    if (board.fullIdentification && id.biosCode >= kFirstBiosWithProgramMode) {
        observer_.programModeEntry();
        sendByte(kProgramModeByte);
        // Whatever the answer, writing follows; but a Stop now comes before anything is written.
        if (waitReply(kProgramModeReplyMs) == Answer::Aborted) return Result(Outcome::UserAbort);
    }
    observer_.programmingStarted();
    return Result(write(image, g, protectedStart, protectedLength));
}

Outcome Session::write(const firmware::FirmwareImage& image, const Geometry& g,
                       int32_t protectedStart, int32_t protectedLength) {
    observer_.flashStarted(g.programLength / g.addressUnit);
    Outcome r = writeFlash(image, g, protectedStart, protectedLength);
    if (r != Outcome::Ok) return r;
    r = writeFix(image, g);
    if (r != Outcome::Ok) return r;
    r = writeEeprom(image);
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

Outcome Session::writeFlash(const firmware::FirmwareImage& image, const Geometry& g,
                            int32_t protectedStart, int32_t protectedLength) {
    // A frame covering the addresses [first, end) is left out when any of them lies in the
    // board's protected range (a start of 0 protects nothing).
    const auto isProtected = [&](int32_t first, int32_t end) {
        return protectedStart != 0 && first < protectedStart + protectedLength &&
               protectedStart < end;
    };
    const chips::ResetJump& jump = *g.resetJump;
    const uint8_t jumpMask = images_.scrambleMask(0);

    for (int32_t start = 0; start < g.programLength; start += g.blockSize) {
        const int32_t count =
            g.programLength - start < g.blockSize ? g.programLength - start : g.blockSize;
        const bool last = start + count >= g.programLength;
        const int32_t address = start / g.addressUnit;
        observer_.frameStarted(address);
        // The last frame says how much it carries; the others carry a whole block.
        const int32_t header = putFlashHeader(frame_, address, count, g.lengthFieldBytes);
        std::memcpy(frame_ + header, image.flashData + start, static_cast<size_t>(count));
        if (start == 0) {
            // The image starts with the jump into the bootloader, so that a board whose update
            // breaks off still starts in its bootloader. Patched in this session's copy only.
            for (int k = 0; k < jump.length && k < count; ++k)
                frame_[header + k] = static_cast<uint8_t>(jump.bytes[k] ^ jumpMask);
        }
        const int32_t end = (start + count + g.addressUnit - 1) / g.addressUnit;
        if (!last) observer_.progress(end);
        if (isProtected(address, end)) continue;
        // Every frame must be acknowledged: one that drew no answer may not have been written,
        // and reporting success over it would hide damaged firmware.
        const Outcome r = sendCommand(header + count);
        if (r != Outcome::Ok) return r;
    }
    return Outcome::Ok;
}

Outcome Session::writeFix(const firmware::FirmwareImage& image, const Geometry& g) {
    observer_.fixFrame();
    // A whole erased block at the application limit, the fix block at its end.
    const uint8_t mask = images_.scrambleMask(static_cast<uint32_t>(g.applicationLimit));
    const int32_t header =
        putFlashHeader(frame_, g.applicationLimit, g.blockSize, g.lengthFieldBytes);
    std::memset(frame_ + header, 0xFF ^ mask, static_cast<size_t>(g.blockSize));
    // A fix block longer than a block is not a valid image: never written past the frame.
    int32_t fixLength = image.fixLength < 0 ? 0 : image.fixLength;
    if (fixLength > g.blockSize) fixLength = g.blockSize;
    uint8_t* fix = frame_ + header + g.blockSize - fixLength;
    for (int32_t k = 0; k < fixLength; ++k)
        fix[k] = static_cast<uint8_t>(image.fixData[k] ^ mask);
    return sendCommand(header + g.blockSize);
}

Outcome Session::writeEeprom(const firmware::FirmwareImage& image) {
    if (image.eepromLength <= 0) return Outcome::Ok;
    // Addresses past 255 would wrap onto the first bytes: such data is not written.
    const int32_t length =
        image.eepromLength > kMaxEepromLength ? kMaxEepromLength : image.eepromLength;
    observer_.eepromStarted(length);
    for (int32_t i = 0; i < length; ++i) {
        observer_.eepromByte(i);
        frame_[0] = kEepromCommand;
        frame_[1] = static_cast<uint8_t>(i);
        frame_[2] = image.eepromData[i];
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
        receiver_.clearAnswer();
        port_.write(frame_, length + 1);
        switch (waitReply(kCommandReplyMs)) {
        case Answer::Acknowledged:
            return Outcome::Ok;
        case Answer::Aborted:
            return Outcome::UserAbort;
        case Answer::Refused:
            observer_.resend(attempt);
            if (attempt + 1 >= kMaxSends) return Outcome::ChecksumError;
            break;
        case Answer::TimedOut:
            return Outcome::NotResponse; // an unanswered frame is never sent again
        }
    }
}

} // namespace engine

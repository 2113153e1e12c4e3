#include "protocol_fixture.h"

#include "protocol/geometry.h"

namespace testing_support {

void ScriptedBoard::install(int32_t port) {
    fakeport::setWriteHandler(
        [this](int32_t p, std::span<const uint8_t> bytes) { onWrite(p, bytes); });
    (void)port;
}

void ScriptedBoard::onWrite(int32_t port, std::span<const uint8_t> bytes) {
    if (bytes.size() == 1 && (bytes[0] == 0xC2 || bytes[0] == 0xC5)) {
        const int attempt = searchBytes++;
        if (refuseSearch) {
            fakeport::queueInput(port, {'N'}, replyDelaySteps);
        } else if (attempt >= answerFromTry) {
            fakeport::queueInput(port, identification, replyDelaySteps);
            fakeport::queueInput(port, afterIdentification, replyDelaySteps);
        }
        return;
    }
    if (bytes.size() == 1 && bytes[0] == 0xCC) {
        ++programModeBytes;
        if (answerProgramMode) fakeport::queueInput(port, {'K'}, replyDelaySteps);
        return;
    }
    frames.emplace_back(bytes.begin(), bytes.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = static_cast<uint8_t>(sum + b);
    if (sum != 0) {
        fakeport::queueInput(port, {'N'}, replyDelaySteps);
        return;
    }
    const int index = frameIndex;
    if (silentFrames.count(index)) {
        ++frameIndex;
        return;
    }
    if (refusals[index] > 0) {
        --refusals[index];
        fakeport::queueInput(port, {'N'}, replyDelaySteps);
        return;
    }
    ++frameIndex;
    fakeport::queueInput(port, {'K'}, replyDelaySteps);
}

DecodedFrame decodeFlashFrame(const std::vector<uint8_t>& frame, bool twoByteLength) {
    DecodedFrame d;
    const size_t header = twoByteLength ? 5 : 4;
    if (frame.size() < header + 1) return d;
    d.address = static_cast<uint32_t>(frame[0] << 16 | frame[1] << 8 | frame[2]);
    d.length = twoByteLength ? (frame[3] << 8 | frame[4]) : frame[3];
    d.data.assign(frame.begin() + static_cast<long>(header), frame.end() - 1);
    return d;
}

std::vector<uint8_t> toWireForm(const std::vector<uint8_t>& plain, int32_t blockSize,
                                int32_t addressUnit) {
    std::vector<uint8_t> wire(plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        const auto frameAddress =
            static_cast<uint32_t>(static_cast<int32_t>(i) / blockSize * blockSize / addressUnit);
        wire[i] = static_cast<uint8_t>(plain[i] ^ firmware::scrambleMask(frameAddress));
    }
    return wire;
}

TestImage makeImage(bool pic24, int32_t length, uint8_t board, uint8_t preparation) {
    TestImage image;
    image.plain.resize(static_cast<size_t>(length));
    for (int32_t i = 0; i < length; ++i)
        image.plain[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + 3);
    const size_t identity = pic24 ? 1024 : 14;
    if (image.plain.size() >= identity + 2) {
        image.plain[identity] = board;
        image.plain[identity + 1] = preparation;
    }
    image.flash = toWireForm(image.plain, pic24 ? 256 : 64, pic24 ? 2 : 1);
    image.fix = {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8};
    return image;
}

void installImage(TestImage& image, uint8_t board, uint8_t slot) {
    firmware::imageTable[board][slot] =
        firmware::FirmwareImage{image.fix.data(),    static_cast<int32_t>(image.fix.size()),
                                image.flash.data(),  static_cast<int32_t>(image.flash.size()),
                                image.eeprom.data(), static_cast<int32_t>(image.eeprom.size())};
}

void makeCurrent(TestImage& image) {
    firmware::currentImage =
        firmware::FirmwareImage{image.fix.data(),    static_cast<int32_t>(image.fix.size()),
                                image.flash.data(),  static_cast<int32_t>(image.flash.size()),
                                image.eeprom.data(), static_cast<int32_t>(image.eeprom.size())};
}

void ProtocolTest::SetUp() {
    fakeport::reset();
    protocol::resetLinkState();
    protocol::resetSessionValues();
    protocol::chipGeometry = protocol::ChipGeometry{};
    protocol::sessionGeometry = protocol::SessionGeometry{};
    protocol::setReporter(&reporter);
    firmware::buildImageTable();
    for (auto& board : firmware::imageTable)
        for (auto& record : board)
            record = firmware::FirmwareImage{};
    firmware::buildImageTable();
    firmware::currentImage = firmware::FirmwareImage{};
    protocol::link.selectedPort = kPort;
    protocol::link.openedPort = kPort - 1;
}

void ProtocolTest::TearDown() {
    protocol::setReporter(nullptr);
    fakeport::reset();
}

} // namespace testing_support

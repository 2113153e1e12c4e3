#include "engine_fixture.h"

#include <sstream>

namespace enginetest {

TestImage makeImage(uint8_t chipCode, int32_t length, uint8_t board, uint8_t preparation) {
    const chips::Chip* chip = chips::chipByCode(chipCode);
    TestImage image;
    image.plain.resize(static_cast<size_t>(length));
    for (int32_t i = 0; i < length; ++i)
        image.plain[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + 3);
    const auto identity = static_cast<size_t>(chip->identityOffset);
    if (image.plain.size() >= identity + 2) {
        image.plain[identity] = board;
        image.plain[identity + 1] = preparation;
    }
    // Wire form: each byte XOR the mask of its frame's address.
    image.flash.resize(image.plain.size());
    for (size_t i = 0; i < image.plain.size(); ++i) {
        const auto frame = static_cast<uint32_t>(static_cast<int32_t>(i) / chip->blockSize *
                                                 chip->blockSize / chip->addressUnit);
        image.flash[i] = static_cast<uint8_t>(image.plain[i] ^ maskOf(frame));
    }
    return image;
}

void Recorder::imageIdentified(const firmware::ImageIdentity& image) {
    events.push_back("image identity " + std::to_string(image.boardIndex) + " " +
                     std::to_string(image.preparation));
}

void Recorder::imageLoaded(const engine::LoadedImage& image) {
    events.push_back("loaded " + std::to_string(image.bytes) + " " +
                     std::to_string(image.firstAddress) + " " + std::to_string(image.endAddress));
}

void Recorder::flashStarted(int32_t maximum) {
    events.push_back("flash " + std::to_string(maximum));
}

void Recorder::frameStarted(int32_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "frame %05X", static_cast<unsigned>(address));
    events.push_back(text);
}

void Recorder::eepromStarted(int32_t length) {
    events.push_back("start eeprom " + std::to_string(length));
}

int Recorder::count(const std::string& prefix) const {
    int n = 0;
    for (const std::string& e : events)
        n += e.rfind(prefix, 0) == 0;
    return n;
}

bool Recorder::has(const std::string& event) const {
    for (const std::string& e : events)
        if (e == event) return true;
    return false;
}

std::vector<ReceivedFrame> receivedFrames(const boardsim::Bootloader& board) {
    std::vector<ReceivedFrame> frames;
    for (const std::string& line : board.log()) {
        std::istringstream in(line);
        ReceivedFrame f;
        in >> f.kind;
        std::string what = f.kind;
        if (f.kind == "refused" || f.kind == "silent") in >> what;
        std::string address;
        if (what == "flash") {
            int length = 0;
            std::string hex;
            in >> address >> length >> hex;
            f.address = static_cast<uint32_t>(std::stoul(address, nullptr, 16));
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                f.data.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16) ^
                                                      maskOf(f.address)));
        } else if (what == "eeprom") {
            std::string value;
            in >> address >> value;
            f.address = static_cast<uint32_t>(std::stoul(address, nullptr, 16));
            f.data.push_back(static_cast<uint8_t>(std::stoul(value, nullptr, 16)));
        } else {
            continue;
        }
        if (f.kind != what) f.kind += " " + what;
        frames.push_back(f);
    }
    return frames;
}

std::vector<ReceivedFrame> flashFrames(const boardsim::Bootloader& board) {
    std::vector<ReceivedFrame> flash;
    for (ReceivedFrame& f : receivedFrames(board))
        if (f.kind == "flash") flash.push_back(std::move(f));
    return flash;
}

boardsim::Config EngineTest::defaultBoard() {
    boardsim::Config c;
    c.chip = 254;
    c.bios = 10;
    c.board = 2;
    c.preparation = 0x81;
    return c;
}

TestImage& EngineTest::addImage(uint8_t boardIndex, int slot, TestImage image) {
    images_.push_back(std::move(image));
    TestImage& kept = images_.back();
    positions_.push_back({boardIndex,
                          static_cast<uint8_t>(slot),
                          {kept.fix.data(), static_cast<int32_t>(kept.fix.size()),
                           kept.flash.data(), static_cast<int32_t>(kept.flash.size()),
                           kept.eeprom.data(), static_cast<int32_t>(kept.eeprom.size())}});
    return kept;
}

void EngineTest::clearImages() {
    positions_.clear();
    images_.clear();
}

void EngineTest::prepare(engine::SessionOptions options) {
    table_ = std::make_unique<firmware::ImageTable>(positions_, kScramble);
    port_ = std::make_unique<boardsim::SimulatedPort>(board, "COM1");
    ASSERT_FALSE(port_->open("COM1"));
    recorder = Recorder{};
    session_ = std::make_unique<engine::Session>(*port_, *table_, options, wait_, recorder);
}

engine::Result EngineTest::run(engine::SessionOptions options) {
    prepare(options);
    return session_->run();
}

} // namespace enginetest

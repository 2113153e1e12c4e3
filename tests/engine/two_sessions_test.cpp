// Two sessions at once, on two threads, each with its own simulated board: both boards end up
// holding their image, whatever the other session did. Run under ThreadSanitizer too.
#include "engine_fixture.h"

#include <atomic>
#include <thread>

namespace {

using namespace enginetest;

struct Station {
    boardsim::Config board;
    Recorder recorder;
    engine::Result result{engine::Outcome::NotResponse};
    std::vector<ReceivedFrame> frames;
};

void runStation(Station& station, const firmware::ImageTable& table) {
    boardsim::SimulatedPort port(station.board, "COM1");
    ASSERT_FALSE(port.open("COM1"));
    VirtualWait wait;
    engine::Session session(port, table, engine::SessionOptions::updater(), wait, station.recorder);
    station.result = session.run();
    station.frames = flashFrames(port.board());
}

// The plain image bytes the board received, from address 0 up to the fix frame.
std::vector<uint8_t> received(const Station& s, uint32_t fixAddress, int32_t addressUnit) {
    std::vector<uint8_t> bytes;
    for (const ReceivedFrame& f : s.frames) {
        if (f.address == fixAddress) continue;
        EXPECT_EQ(f.address * static_cast<uint32_t>(addressUnit), bytes.size());
        bytes.insert(bytes.end(), f.data.begin(), f.data.end());
    }
    return bytes;
}

TEST(TwoSessions, EachBoardGetsItsOwnImage) {
    // Two chips of different families, whose reset jumps differ: a session that patched the
    // shared image would hand the other board the wrong one.
    TestImage pic24 = makeImage(254, 20000, 0, 0);
    TestImage pic18 = makeImage('C', 9000, 0, 0);
    pic18.eeprom = {4, 5, 6};
    const firmware::ImagePosition positions[] = {
        {0, 6, {pic24.fix.data(), 8, pic24.flash.data(), 20000, nullptr, 0}},
        {0, 1, {pic18.fix.data(), 8, pic18.flash.data(), 9000, pic18.eeprom.data(), 3}},
    };
    const firmware::ImageTable table(positions, kScramble);

    Station a, b;
    a.board.chip = 254;
    a.board.refusals = {{7, 2}};
    b.board.chip = 'C';
    b.board.bios = 5;
    std::thread first(runStation, std::ref(a), std::cref(table));
    std::thread second(runStation, std::ref(b), std::cref(table));
    first.join();
    second.join();

    ASSERT_TRUE(a.result.ok()) << a.result.text();
    ASSERT_TRUE(b.result.ok()) << b.result.text();
    std::vector<uint8_t> expectA = pic24.plain;
    const uint8_t jumpA[] = {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::copy(std::begin(jumpA), std::end(jumpA), expectA.begin());
    EXPECT_EQ(received(a, 0xA780, 2), expectA);
    std::vector<uint8_t> expectB = pic18.plain;
    const uint8_t jumpB[] = {0x40, 0xEF, 0x3F, 0xF0};
    std::copy(std::begin(jumpB), std::end(jumpB), expectB.begin());
    EXPECT_EQ(received(b, 0x7E40, 1), expectB);
    EXPECT_EQ(a.recorder.count("resend"), 2);
    EXPECT_EQ(b.recorder.count("resend"), 0);
    EXPECT_EQ(b.recorder.count("eeprom "), 3);
}

TEST(TwoSessions, StoppingOneLeavesTheOtherAlone) {
    TestImage image = makeImage(254, 30000, 0, 0);
    const firmware::ImagePosition positions[] = {
        {0, 6, {image.fix.data(), 8, image.flash.data(), 30000, nullptr, 0}}};
    const firmware::ImageTable table(positions, kScramble);

    boardsim::Config silent;
    silent.answerAfter = 1000;
    boardsim::SimulatedPort portA(boardsim::Config{}, "COM1");
    boardsim::SimulatedPort portB(silent, "COM2");
    ASSERT_FALSE(portA.open("COM1"));
    ASSERT_FALSE(portB.open("COM2"));
    VirtualWait waitA, waitB;
    Recorder recorderA, recorderB;
    engine::Session a(portA, table, engine::SessionOptions::updater(), waitA, recorderA);
    engine::Session b(portB, table, engine::SessionOptions::updater(), waitB, recorderB);
    // While both run, A's thread stops B: B holds still in its search until the request is
    // made, so that it is surely running then.
    std::atomic<bool> bSearching{false}, stopSent{false};
    portB.onWait([&](int64_t wait) {
        if (wait != 10) return;
        bSearching = true;
        while (!stopSent)
            std::this_thread::yield();
    });
    portA.onWait([&](int64_t wait) {
        if (wait != 20) return;
        while (!bSearching)
            std::this_thread::yield();
        b.requestAbort();
        stopSent = true;
    });
    engine::Result resultA{engine::Outcome::NotResponse};
    engine::Result resultB{engine::Outcome::NotResponse};
    std::thread runA([&] { resultA = a.run(); });
    std::thread runB([&] { resultB = b.run(); });
    runA.join();
    runB.join();
    EXPECT_TRUE(resultA.ok());
    EXPECT_EQ(resultB.outcome(), engine::Outcome::UserAbort);
    EXPECT_EQ(portB.waits(), 10) << "at its next wait";
}

} // namespace

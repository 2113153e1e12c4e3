// A running session must not touch the heap. Global operator new is replaced here by a
// counting one; what the simulated board and the test's own observer do is left out.
#include "engine_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

bool counting = false;
long allocations = 0;

void* countedAllocation(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

// Counting stays off while the simulated board (which keeps a log) runs.
class Paused {
public:
    Paused() : was_(counting) { counting = false; }
    ~Paused() { counting = was_; }

private:
    bool was_;
};

} // namespace

void* operator new(std::size_t size) {
    return countedAllocation(size);
}
void* operator new[](std::size_t size) {
    return countedAllocation(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace enginetest;

// The simulated board behind a port whose calls do not count.
class UncountedPort final : public serial::SerialPort {
public:
    explicit UncountedPort(serial::SerialPort& port) : port_(port) {}
    serial::PortError open(std::string_view name) override {
        Paused p;
        return port_.open(name);
    }
    void close() override {
        Paused p;
        port_.close();
    }
    bool isOpen() const override { return port_.isOpen(); }
    bool usable() override {
        Paused p;
        return port_.usable();
    }
    int32_t read(uint8_t* buffer, int32_t size) override {
        Paused p;
        return port_.read(buffer, size);
    }
    bool write(const uint8_t* bytes, int32_t count) override {
        Paused p;
        return port_.write(bytes, count);
    }
    void discardInput() override {
        Paused p;
        port_.discardInput();
    }
    bool waitReadable(int ms) override {
        Paused p;
        return port_.waitReadable(ms);
    }

private:
    serial::SerialPort& port_;
};

// Keeps what it needs in fixed storage.
class QuietObserver final : public engine::SessionObserver {
public:
    int frames = 0;
    int resends = 0;
    char description[engine::kBoardDescriptionLength + 1] = {};
    char result[40] = {};
    void frameStarted(int32_t) override { ++frames; }
    void resend(int) override { ++resends; }
    void boardFound(const engine::BoardFound& board) override {
        std::memcpy(description, board.record.description, sizeof description);
    }
    void finished(const engine::Result& r) override {
        std::snprintf(result, sizeof result, "%.*s", static_cast<int>(r.text().size()),
                      r.text().data());
    }
};

// Runs a whole session with the heap watched; returns the allocations it made.
long countSession(boardsim::Config config, const firmware::ImageTable& table,
                  QuietObserver& observer) {
    boardsim::SimulatedPort board(std::move(config), "COM1");
    UncountedPort port(board);
    EXPECT_FALSE(port.open("COM1"));
    VirtualWait wait;
    engine::Session session(port, table, engine::SessionOptions::updater(), wait, observer);
    allocations = 0;
    counting = true;
    session.run();
    counting = false;
    return allocations;
}

TEST(Allocation, CounterSeesAllocations) {
    counting = true;
    allocations = 0;
    delete new int(5);
    counting = false;
    EXPECT_EQ(allocations, 1);
}

TEST(Allocation, Pic24UpdateWithBoardRecordAndResends) {
    TestImage image = makeImage(254, 20000, 0, 0x81);
    image.eeprom = {1, 2, 3};
    const firmware::ImagePosition positions[] = {
        {0, 6, {image.fix.data(), 8, image.flash.data(), 20000, image.eeprom.data(), 3}}};
    const firmware::ImageTable table(positions, kScramble);
    boardsim::Config board;
    board.chip = 254;
    board.board = 2;
    board.preparation = 0x81;
    board.description = "dddddddddddddddddddddddd";
    board.protectStart = 0x1000;
    board.protectLength = 0x0400;
    board.answerAfter = 2;
    board.refusals = {{3, 2}};
    QuietObserver observer;
    EXPECT_EQ(countSession(board, table, observer), 0);
    EXPECT_STREQ(observer.result, " Program Ok ");
    EXPECT_EQ(observer.resends, 2);
    EXPECT_STREQ(observer.description, "dddddddddddddddddddddddd");
}

TEST(Allocation, Pic18UpdateAndFailures) {
    TestImage image = makeImage('B', 5000, 3, 0x44);
    image.eeprom = {9, 8};
    const firmware::ImagePosition positions[] = {
        {0, 0, {image.fix.data(), 8, image.flash.data(), 5000, image.eeprom.data(), 2}}};
    const firmware::ImageTable table(positions, kScramble);
    boardsim::Config board;
    board.chip = 'B';
    board.bios = 5;
    board.board = 3;
    board.preparation = 0x44;
    QuietObserver observer;
    EXPECT_EQ(countSession(board, table, observer), 0);
    EXPECT_STREQ(observer.result, " Program Ok ");

    board.preparation = 0x81; // not what the image is made for
    EXPECT_EQ(countSession(board, table, observer), 0);
    EXPECT_STREQ(observer.result, "BD01_R03 - Preparation44");

    board.answerAfter = 1000;
    EXPECT_EQ(countSession(board, table, observer), 0);
    EXPECT_STREQ(observer.result, "Device not Found");
}

} // namespace

// The protocol path (search, session, write) must not touch the heap. Global operator new is
// replaced here by a counting one; the fake driver's own bookkeeping is left out of the count.
#include "protocol/search.h"
#include "protocol/session.h"
#include "protocol_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

bool counting = false;
long allocations = 0;

void* countedAllocation(std::size_t size) {
    if (counting && !fakeport::insideDriver()) ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

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

using namespace testing_support;
using protocol::link;

void copyText(char (&to)[64], std::string_view text) {
    const size_t n = std::min(text.size(), sizeof to - 1);
    std::memcpy(to, text.data(), n);
    to[n] = '\0';
}

// Widgets and reporter that keep what they are told in fixed buffers.
struct QuietStatusBar final : ui::StatusBar {
    char panels[5][64] = {};
    int writes = 0;
    void setPanelText(int i, std::string_view t) override {
        ++writes;
        if (i >= 0 && i < 5) copyText(panels[i], t);
    }
    std::string panelText(int i) const override { return panels[i]; }
    void repaint() override {}
};

struct QuietProgressBar final : ui::ProgressBar {
    int maximum = 0;
    int position = 0;
    void setMax(int m) override { maximum = m; }
    void setPosition(int p) override { position = p; }
    void setSmooth(bool) override {}
};

struct QuietLabel final : ui::Label {
    char value[64] = {};
    bool shown = false;
    void setText(std::string_view t) override { copyText(value, t); }
    std::string text() const override { return value; }
    void setVisible(bool v) override { shown = v; }
    bool visible() const override { return shown; }
    void setColor(ui::Color) override {}
    void setFontColor(ui::Color) override {}
    void repaint() override {}
};

struct QuietReporter final : protocol::Reporter {
    char lastBanner[64] = {};
    int banners = 0;
    int programOk = 0;
    bool upgrade = false;
    QuietStatusBar updaterBar;
    QuietLabel bios;
    QuietLabel description;
    void showErrorBanner(std::string_view t, ui::Color, uint8_t) override {
        ++banners;
        copyText(lastBanner, t);
    }
    void showStatusBanner(std::string_view t, ui::Color) override { copyText(lastBanner, t); }
    void showStopButton() override {}
    void showUpdateButton() override {}
    bool upgradeMode() const override { return upgrade; }
    ui::StatusBar* updaterStatusBar() override { return &updaterBar; }
    ui::Label* biosLabel() override { return &bios; }
    ui::Label* boardDescriptionLabel() override { return &description; }
    void showProgramOk() override { ++programOk; }
};

class AllocationTest : public ::testing::Test {
protected:
    QuietReporter quiet;
    QuietStatusBar bar;
    QuietProgressBar progress;
    ScriptedBoard board;
    TestImage image;

    void SetUp() override {
        fakeport::reset();
        protocol::resetLinkState();
        protocol::resetSessionValues();
        protocol::setReporter(&quiet);
        firmware::buildImageTable();
        link.selectedPort = kPort;
        link.openedPort = kPort - 1;
        board.install();
    }
    void TearDown() override {
        counting = false;
        protocol::setReporter(nullptr);
        fakeport::reset();
    }

    long countUpdate() {
        allocations = 0;
        counting = true;
        if (protocol::searchDevice(progress, bar) == protocol::kSearchFound)
            protocol::runProgrammingSession(progress, bar);
        counting = false;
        return allocations;
    }
};

TEST_F(AllocationTest, CounterSeesAllocations) {
    counting = true;
    allocations = 0;
    delete new int(5);
    counting = false;
    EXPECT_EQ(allocations, 1);
}

TEST_F(AllocationTest, Pic24UpdateWithBoardRecordAndResends) {
    image = makeImage(true, 20000, 0, 0x81);
    image.eeprom = {1, 2, 3};
    installImage(image, 0, 6);
    std::vector<uint8_t> record{'R', 28, 0};
    record.insert(record.end(), 24, 'd');
    record.insert(record.end(), {0x00, 0x10, 0x00, 0x04, 'K'});
    board.identification = {'V', 10, 254, 2, 0x81, 'K'};
    board.afterIdentification = record;
    board.answerFromTry = 2;
    board.refusals = {{3, 2}};
    EXPECT_EQ(countUpdate(), 0);
    EXPECT_EQ(quiet.programOk, 1);
    EXPECT_STREQ(quiet.updaterBar.panels[1], "Resend 1");
    EXPECT_STREQ(quiet.description.value, "dddddddddddddddddddddddd");
}

TEST_F(AllocationTest, Pic18UpdateAndFailures) {
    image = makeImage(false, 5000, 2, 0x81);
    image.eeprom = {9, 8};
    installImage(image, 2, 0);
    EXPECT_EQ(countUpdate(), 0);
    EXPECT_EQ(quiet.programOk, 1);

    board.identification = {'V', 10, 'B', 3, 0x81, 'K'}; // another board
    image = makeImage(false, 5000, 3, 0x44);
    installImage(image, 3, 0);
    EXPECT_EQ(countUpdate(), 0);
    EXPECT_STREQ(quiet.lastBanner, "BD01_R03 - Preparation44");

    board.answerFromTry = 1000;
    EXPECT_EQ(countUpdate(), 0);
    EXPECT_STREQ(bar.panels[1], "Device not Found");
}

} // namespace

// The whole program in one process: the real start-up, the Qt windows (offscreen), the real
// serial driver, and board-sim on a pseudo-terminal as the board. Clicks are made on the real
// widgets; results are read from them, from a UDP listener and from board-sim's dump.
#include "firmware/product.h"
#include "qt_session.h"

namespace {

using namespace e2e;

// What a user sees after pressing "&Update" (once, or again after `between` ran), and what the
// launching program and the board received.
struct Outcome {
    QString banner, bios, description, activity, device, image;
    QColor colour;
    std::vector<int> results;
    std::vector<std::string> dump;
};

// The board the demo image is made for: PIC24HJ64, board 2, preparation 0x81, BIOS code 0x0A.
const std::vector<std::string> kDemoBoard{"--chip",  "254", "--bios", "10",
                                          "--board", "2",   "--prep", "0x81"};

std::vector<std::string> demoBoardWith(std::vector<std::string> more) {
    std::vector<std::string> args = kDemoBoard;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

const firmware::ImageTable& images() {
    return firmware::thisProduct().images;
}
uint8_t mask(uint32_t address) {
    return images().scrambleMask(address);
}

TEST_F(QtSession, UpdateProgramsTheBoardAndReportsSuccess) {
    Host host;
    ASSERT_TRUE(host.bound());
    const firmware::FirmwareImage& image = images().at(0, 6);
    ASSERT_EQ(image.flashLength, 65175);
    const int imageBoard = image.flashData[1024] ^ mask(0);
    const int imagePrep = image.flashData[1025] ^ mask(0);
    e2e::BoardSim sim(sandbox, {"--chip", "254", "--bios", "10", "--board",
                                std::to_string(imageBoard == 255 ? 0 : imageBoard), "--prep",
                                std::to_string(imagePrep), "--description", "Test bench board"});
    sandbox.storePort(199);

    run(
        [](QWidget* w) {
            click(w, "update");
            EXPECT_EQ(text(w, "banner"), " Program Ok ");
            EXPECT_EQ(background(w, "banner"), QColor(0, 128, 0));
            EXPECT_EQ(text(w, "statusBar.0"), "COM200");
            EXPECT_EQ(text(w, "statusBar.2"), "Found 24HJ64");
            EXPECT_EQ(text(w, "statusBar.3"), "Loaded 32587 bytes (0000 to 7F4B)");
            EXPECT_TRUE(text(w, "biosLine").startsWith("BIOS:0a - "));
            EXPECT_EQ(text(w, "boardDescription"), "Test bench board");
            EXPECT_TRUE(w->findChild<QPushButton*>("update")->isVisible());
        },
        {"\\P"});
    EXPECT_EQ(host.results(), std::vector<int>{1});

    // What the board received, unmasked, is the image with the reset jump at its start.
    std::vector<int> received(65175, -1);
    std::vector<uint8_t> fix;
    int flashFrames = 0;
    for (const std::string& line : sim.dump()) {
        std::istringstream in(line);
        std::string kind, addressHex, dataHex;
        int length = 0;
        in >> kind;
        if (kind != "flash") continue;
        in >> addressHex >> length >> dataHex;
        const uint32_t address = std::stoul(addressHex, nullptr, 16);
        ASSERT_EQ(dataHex.size(), static_cast<size_t>(2 * length)) << line;
        std::vector<uint8_t> data;
        for (int i = 0; i < length; ++i)
            data.push_back(static_cast<uint8_t>(std::stoul(dataHex.substr(2 * i, 2), nullptr, 16) ^
                                                mask(address)));
        if (address == 0xA780) {
            fix = data;
            continue;
        }
        ++flashFrames;
        for (int i = 0; i < length; ++i)
            received[address * 2 + i] = data[static_cast<size_t>(i)];
    }
    EXPECT_EQ(flashFrames, 255); // 254 full frames and a last one of 151 bytes
    const uint8_t jump[8] = {0x00, 0xA8, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(received[i], jump[i]) << i;
    int mismatches = 0;
    for (int i = 8; i < 65175; ++i)
        if (received[i] != (image.flashData[i] ^ mask(static_cast<uint32_t>(i / 256 * 128))))
            ++mismatches;
    EXPECT_EQ(mismatches, 0);
    ASSERT_EQ(fix.size(), 256u);
    for (int i = 0; i < 248; ++i)
        EXPECT_EQ(fix[static_cast<size_t>(i)], 0xFF) << i;
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(fix[static_cast<size_t>(248 + i)], image.fixData[i]) << i;
}

TEST_F(QtSession, NoBoardIsDeviceNotFoundAndSendsNothing) {
    Host host;
    e2e::BoardSim sim(sandbox, {"--refuse-search"});
    sandbox.storePort(199);
    run(
        [](QWidget* w) {
            click(w, "update");
            EXPECT_EQ(text(w, "statusBar.1"), "Device not Found");
            EXPECT_FALSE(text(w, "banner") == " Program Ok ");
        },
        {"\\P"});
    EXPECT_TRUE(host.results().empty());
    const auto dump = sim.dump();
    ASSERT_FALSE(dump.empty());
    EXPECT_EQ(dump.back().rfind("counts searches=100 ", 0), 0u) << dump.back();
}

TEST_F(QtSession, PortThatDoesNotExistIsInvalidPortCom) {
    Host host;
    sandbox.linkPort("COM9", "/nonexistent/tty");
    sandbox.storePort(8);
    run(
        [](QWidget* w) {
            click(w, "update");
            EXPECT_EQ(text(w, "banner"), "Invalid Port Com");
            EXPECT_EQ(background(w, "banner"), QColor(255, 0, 0));
            EXPECT_EQ(text(w, "statusBar.0"), "COM9");
        },
        {"\\P"});
    EXPECT_EQ(host.results(), std::vector<int>{0});
}

TEST_F(QtSession, StopDuringTheSearchIsUserAbort) {
    Host host;
    e2e::BoardSim sim(sandbox, {"--answer-after", "100000"});
    sandbox.storePort(199);
    run(
        [](QWidget* w) {
            QTimer::singleShot(400, [w] { click(w, "stop"); });
            click(w, "update");
            EXPECT_EQ(text(w, "banner"), " User Abort !! ");
            EXPECT_TRUE(w->findChild<QPushButton*>("update")->isVisible());
            EXPECT_FALSE(w->findChild<QPushButton*>("stop")->isVisible());
        },
        {"\\P"});
    EXPECT_EQ(host.results(), std::vector<int>{0});
}

TEST_F(QtSession, StopThatNoWaitSawIsForgottenWhenTheUpdateEnds) {
    Host host;
    // The board answers at once, then the session waits about 1.3 s for a board record that
    // never comes; with no image for its chip, the session ends without another wait.
    e2e::BoardSim sim(sandbox, {"--chip", "B", "--bios", "10", "--no-record"});
    sandbox.storePort(199);
    run(
        [](QWidget* w) {
            QTimer::singleShot(500, [w] { click(w, "stop"); });
            click(w, "update");
            EXPECT_EQ(text(w, "banner"), " No Hex inside !! ");
            click(w, "update");
            EXPECT_EQ(text(w, "banner"), " No Hex inside !! ");
        },
        {"\\P"});
    EXPECT_EQ(host.results(), (std::vector<int>{0, 0}));
    const auto dump = sim.dump();
    EXPECT_EQ(std::count(dump.begin(), dump.end(), "search C2 answered"), 2);
}

class QtUpdate : public QtSession {
protected:
    Outcome update(const std::vector<std::string>& simArgs,
                   const std::function<void(QWidget*)>& between = nullptr) {
        Host host;
        EXPECT_TRUE(host.bound());
        BoardSim sim(sandbox, simArgs);
        sandbox.storePort(199);
        Outcome o;
        run(
            [&](QWidget* w) {
                click(w, "update");
                if (between) {
                    between(w);
                    click(w, "update");
                }
                o.banner = text(w, "banner");
                o.colour = background(w, "banner");
                o.bios = text(w, "biosLine");
                o.description = w->findChild<QLabel*>("boardDescription")->isVisible()
                                    ? text(w, "boardDescription")
                                    : QString();
                o.activity = text(w, "statusBar.1");
                o.device = text(w, "statusBar.2");
                o.image = text(w, "statusBar.3");
            },
            {"\\P"});
        o.results = host.results();
        o.dump = sim.dump();
        return o;
    }
};

bool contains(const std::vector<std::string>& dump, const std::string& start) {
    for (const auto& l : dump)
        if (l.rfind(start, 0) == 0) return true;
    return false;
}

TEST_F(QtUpdate, RefusedFramesAreSentAgain) {
    const Outcome o = update(demoBoardWith({"--refuse", "3:2"}));
    EXPECT_EQ(o.banner, " Program Ok ");
    EXPECT_EQ(o.results, std::vector<int>{1});
    int refusals = 0;
    for (const auto& f : framesOf(o.dump))
        refusals += f.kind == "refused flash";
    EXPECT_EQ(refusals, 2);
}

TEST_F(QtUpdate, AFrameWithoutAnswerIsNotResponse) {
    const Outcome o = update(demoBoardWith({"--silent", "5"}));
    EXPECT_EQ(o.banner, " not Response ");
    EXPECT_EQ(o.colour, QColor(255, 0, 0));
    EXPECT_EQ(o.results, std::vector<int>{0});
    EXPECT_EQ(framesOf(o.dump).size(), 6u); // five acknowledged, the silent one, nothing after
}

TEST_F(QtUpdate, BoardRecordProtectsItsRange) {
    const Outcome o =
        update(demoBoardWith({"--protect", "0x1000:0x400", "--description", "Bench rig 7"}));
    EXPECT_EQ(o.banner, " Program Ok ");
    EXPECT_EQ(o.description, "Bench rig 7");
    std::vector<uint32_t> sent;
    for (const auto& f : framesOf(o.dump))
        sent.push_back(f.address);
    for (uint32_t a = 0x1000; a <= 0x1380; a += 0x80)
        EXPECT_EQ(std::count(sent.begin(), sent.end(), a), 0) << std::hex << a;
    // Frames wholly outside the range are written, the one ending where it starts included.
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x0F80u), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x1400u), 1);
    EXPECT_EQ(sent.size(), 255u - 8 + 1); // and the fix frame
}

TEST_F(QtUpdate, LastFrameInsideTheProtectedRangeIsNotWritten) {
    const Outcome o = update(demoBoardWith({"--protect", "0x7F00:0x100"}));
    EXPECT_EQ(o.banner, " Program Ok ");
    std::vector<uint32_t> sent;
    for (const auto& f : framesOf(o.dump))
        sent.push_back(f.address);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x7F00u), 0); // the last, shorter frame
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x7E80u), 1);
}

TEST_F(QtUpdate, OlderBootloaderIsBoardTwoWithoutCheckOrProgramMode) {
    // The image is made for board 2: an older bootloader reports no board and gets it.
    const Outcome o = update({"--old", "--chip", "254"});
    EXPECT_EQ(o.banner, " Program Ok ");
    EXPECT_FALSE(contains(o.dump, "progmode"));
    EXPECT_EQ(o.bios, "BIOS:00 - BD01_R02 - Preparation81"); // the image's board and preparation
}

TEST_F(QtUpdate, RefusalsBeforeAnythingIsWritten) {
    struct Case {
        std::vector<std::string> sim;
        const char* banner;
        const char* device;
        const char* image;
    } cases[] = {
        {{"--chip", "254", "--bios", "33"}, " Incompatible Bootloader !! ", "", ""},
        {{"--chip", "0x41", "--bios", "10"}, " Error !! ", "Unknow Device", ""},
        {{"--chip", "B", "--bios", "10"}, " No Hex inside !! ", "Warning", ""},
        {{"--chip", "254", "--bios", "10", "--board", "5", "--prep", "0x81"},
         "BD01_R02 - Preparation81",
         "Warning!!",
         "not suitable apparatus"},
    };
    for (const Case& c : cases) {
        const Outcome o = update(c.sim);
        EXPECT_EQ(o.banner, c.banner) << c.sim[1];
        EXPECT_EQ(o.device, c.device) << c.sim[1];
        EXPECT_EQ(o.image, c.image) << c.sim[1];
        EXPECT_EQ(o.results, std::vector<int>{0});
        EXPECT_TRUE(framesOf(o.dump).empty());
        EXPECT_FALSE(contains(o.dump, "progmode"));
    }
}

TEST_F(QtUpdate, AdapterGoneMidWriteThenBackAgain) {
    testing::internal::CaptureStderr();
    const Outcome o = update(demoBoardWith({"--hangup-after", "20", "--reopen"}),
                             [](QWidget* w) { EXPECT_EQ(text(w, "banner"), " not Response "); });
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(o.banner, " Program Ok "); // the second "&Update" reopened the port
    EXPECT_EQ(o.results, (std::vector<int>{0, 1}));
    EXPECT_TRUE(contains(o.dump, "hangup"));
    // 20 of 256 frames answered.
    EXPECT_NE(said.find("COM200: the adapter was removed at 7 %"), std::string::npos) << said;
}

} // namespace

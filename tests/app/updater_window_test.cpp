// The Updater window and the start-up around it, driven through the fake toolkit as a user would,
// with board-sim's bootloader as the board on the port.
#include "app/identity.h"
#include "app/port_setup_dialog.h"
#include "app/settings_store.h"
#include "app/updater_window.h"
#include "app/version_dialog.h"
#include "app_env.h"
#include "serial/serial_port.h"
#include "ui/dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace {

using apptest::board;
using apptest::Machine;
using apptest::silentBoard;
using W = app::UpdaterWindow;
using Kind = serial::PortError::Kind;

constexpr uint8_t kUpdaterSearch = 0xC2;

// Search bytes the board received so far.
long searchBytes(const boardsim::SimulatedPort& port, uint8_t byte = kUpdaterSearch) {
    return std::count(port.writes().begin(), port.writes().end(), std::vector<uint8_t>{byte});
}

long logged(const boardsim::SimulatedPort& port, const std::string& line) {
    return std::count(port.board().log().begin(), port.board().log().end(), line);
}

// Ready for the next update: "&Update" offered, Stop hidden, the port command enabled.
void expectReady(fake::FormView& w) {
    EXPECT_TRUE(w.fakeButton(W::Update).shown);
    EXPECT_FALSE(w.fakeButton(W::Stop).shown);
    EXPECT_TRUE(w.fakeMenu(W::ChangePort).enabledFlag);
}

// A failed update's result line: the text in white on red.
void expectFailureBanner(fake::FormView& w, const std::string& text) {
    const fake::Label& banner = w.fakeLabel(W::Banner);
    EXPECT_EQ(banner.value, text);
    EXPECT_TRUE(banner.shown);
    EXPECT_EQ(banner.background, ui::kRed);
    EXPECT_EQ(banner.foreground, ui::kWhite);
}

class UpdaterWindow : public ::testing::Test {
protected:
    // Runs the program on `machine`; `user` gets the Updater window's view.
    void run(Machine& machine, const std::function<void(fake::FormView&, app::Application&)>& user,
             std::vector<const char*> args = {}) {
        apptest::runProgram(
            toolkit, machine,
            [&](fake::Toolkit& tk, app::Application& app) {
                user(tk.view("UpdaterWindow"), app);
                machine.port.onWait(nullptr);
            },
            std::move(args));
    }

    fake::Toolkit toolkit;
};

TEST(Identity, TitlesAreComposedFromTheIdentityAndBuildDate) {
    EXPECT_EQ(app::updaterTitle(), "Updater 2.7 - ZQ710c 01.02|03|00   [ Jan 30 2012 ]");
    EXPECT_EQ(app::upgradeTitle(), "Upgrade 1.0 -   ZQ710c 01.02|03|00   - Jan 30 2012");
    EXPECT_FALSE(app::hasUpgradeCode("ZQ710c 01.02|03|00"));
    EXPECT_TRUE(app::hasUpgradeCode("XR-HBD7"));
    EXPECT_TRUE(app::hasUpgradeCode("JNX"));
    EXPECT_FALSE(app::hasUpgradeCode("hbd jnx")); // the codes are case-sensitive
}

TEST(Identity, LogoRule) {
    struct Case {
        const char* identity;
        bool first, second;
    } cases[] = {
        {"ZQ710c 01.02|03|00", false, false}, // ZQ710: no logo
        {"PEV 1.0", false, false},            // PEV: no logo
        {"AK.3 01.00", true, false},          // K. without the codes of the first rule
        {"ZQ300", true, false},
        {"MOLVE 2", true, false},
        {"RX300 01.00|00|00", false, true}, // none of the codes: the second logo only
    };
    for (const Case& c : cases) {
        const app::LogoChoice logos = app::logoRule(c.identity);
        EXPECT_EQ(logos.first, c.first) << c.identity;
        EXPECT_EQ(logos.second, c.second) << c.identity;
    }
}

TEST(Identity, NotifierSwitchIsTheExactFirstArgumentInEitherCase) {
    auto has = [](std::vector<const char*> args) {
        args.insert(args.begin(), "trevane");
        return app::hasNotifierSwitch(static_cast<int>(args.size()), args.data());
    };
    EXPECT_TRUE(has({"\\P"}));
    EXPECT_TRUE(has({"\\p"}));
    EXPECT_TRUE(has({"\\P", "more"}));
    EXPECT_FALSE(has({}));
    EXPECT_FALSE(has({"x", "\\P"})); // second argument
    EXPECT_FALSE(has({"/P"}));
    EXPECT_FALSE(has({"\\PX"}));
}

TEST(Identity, StoredPortTakesTheLeadingNumber) {
    EXPECT_EQ(app::leadingNumber("12"), 12);
    EXPECT_EQ(app::leadingNumber("7abc"), 7);
    EXPECT_EQ(app::leadingNumber("abc"), 0);
    EXPECT_EQ(app::leadingNumber("-1"), -1);
    EXPECT_EQ(app::leadingNumber("  +4"), 4);
    EXPECT_EQ(app::leadingNumber("65539"), 3); // truncated to 16 bits
}

TEST_F(UpdaterWindow, StartsWithTheWindowsInOrderAndTheIdentityShown) {
    Machine machine;
    run(machine, [&](fake::FormView& w, app::Application&) {
        EXPECT_EQ(toolkit.createdOrder,
                  (std::vector<std::string>{"UpdaterWindow", "PortSetupDialog", "VersionDialog"}));
        EXPECT_EQ(w.fakeForm().captionText, "Updater 2.7 - ZQ710c 01.02|03|00   [ Jan 30 2012 ]");
        EXPECT_TRUE(w.fakeForm().shown);
        EXPECT_EQ(toolkit.applicationTitle, "ZQ710c 01.02|03|00");
        EXPECT_EQ(w.fakeLabel(W::Identity).value, "ZQ710c 01.02|03|00");
        EXPECT_FALSE(w.fakePicture(W::LargeLogo).shown); // ZQ710: no logo
        EXPECT_FALSE(w.fakePicture(W::SmallLogo).shown);
        EXPECT_TRUE(w.fakeButton(W::Update).shown);
        EXPECT_FALSE(w.fakeButton(W::Stop).shown);
        EXPECT_FALSE(w.fakeLabel(W::Banner).shown);
        EXPECT_EQ(w.fakeStatusBar(W::Status).panelText(app::kPortPanel), "COM1"); // none stored
        EXPECT_FALSE(toolkit.view("PortSetupDialog").fakeForm().shown);
        EXPECT_FALSE(toolkit.view("VersionDialog").fakeForm().shown);
    });
    EXPECT_EQ(machine.port.opens(), 0); // the port is opened by the first update only
    EXPECT_TRUE(machine.port.writes().empty());
    EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(UpdaterWindow, StoredPortIsShownAndWrittenBackOnClose) {
    struct Case {
        const char* stored;
        const char* panel;
        const char* written;
    } cases[] = {
        {"4", "COM5", "4"}, {"12", "COM13", "12"}, {"7abc", "COM8", "7"},
        {"", "COM1", "0"},  {"-1", "-----", "-1"},
    };
    for (const Case& c : cases) {
        fake::Toolkit tk;
        Machine machine;
        machine.settings["com"] = c.stored;
        apptest::runProgram(tk, machine, [&](fake::Toolkit& t, app::Application&) {
            EXPECT_EQ(t.view("UpdaterWindow").fakeStatusBar(W::Status).panelText(app::kPortPanel),
                      c.panel)
                << c.stored;
        });
        EXPECT_EQ(machine.settings["com"], c.written) << c.stored;
        EXPECT_EQ(machine.port.opens(), 0) << c.stored;
    }
}

// A failure of the start-up ends the run with its message before any window is shown.
TEST_F(UpdaterWindow, StartUpFailuresEndTheRunWithTheirMessage) {
    struct Case {
        std::vector<const char*> args;
        bool noTextSetting, notifierPortTaken;
        const char* box;
    } cases[] = {
        {{}, true, false, "Invalid data type for 'com'"},
        {{"\\P"}, false, true, "Could not bind socket. Address and port are already in use."},
        {{"\\P"}, true, true, "Could not bind socket. Address and port are already in use."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        fake::Toolkit tk;
        Machine machine;
        machine.settingIsNoText = c.noTextSetting;
        machine.notifierPortTaken = c.notifierPortTaken;
        bool ran = false;
        apptest::runProgram(
            tk, machine, [&](fake::Toolkit&, app::Application&) { ran = true; }, c.args);
        EXPECT_FALSE(ran);
        ASSERT_EQ(tk.boxes.size(), 1u);
        EXPECT_EQ(tk.boxes[0].text, c.box);
        EXPECT_TRUE(machine.settings.empty()); // nothing stored
    }
}

TEST_F(UpdaterWindow, SecondCopyShowsOnlyTheBox) {
    Machine machine;
    machine.anotherCopyRuns = true;
    apptest::runProgram(toolkit, machine, [](fake::Toolkit&, app::Application&) {
        ADD_FAILURE() << "a second copy ran";
    });
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, "Already in progress");
    EXPECT_EQ(toolkit.boxes[0].caption, "Updater 2.7 - ZQ710c 01.02|03|00   [ Jan 30 2012 ]");
    EXPECT_EQ(toolkit.boxes[0].style, ui::MessageBoxStyle::TopMost);
    EXPECT_TRUE(toolkit.createdOrder.empty());
    EXPECT_TRUE(machine.settings.empty()); // nothing written
    EXPECT_EQ(machine.notifiersStarted, 0);
    EXPECT_EQ(machine.port.opens(), 0);
}

TEST_F(UpdaterWindow, SuccessfulUpdateShowsTheBoardAndAGreenResult) {
    struct Case {
        const char* what;
        boardsim::Config board;
        const char* bios;
        const char* description; // nullptr: the line stays hidden
        const char* device;
    } cases[] = {
        {"full identification with a board record", board('B'),
         "BIOS:0a - BD01_R02 - Preparation01", "Trevane demo board", "Found 258"},
        // An older bootloader names no board: the line names the image's board instead.
        {"older bootloader", board('C', 0, [](auto& c) { c.old = true; }),
         "BIOS:00 - BD02_R01 - Preparation04", nullptr, "Found 2580"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::Toolkit tk;
        Machine machine(c.board);
        bool programmingSeen = false;
        apptest::runProgram(
            tk, machine,
            [&](fake::Toolkit& t, app::Application&) {
                fake::FormView& w = t.view("UpdaterWindow");
                fake::Label& banner = w.fakeLabel(W::Banner);
                machine.port.onWait([&](int64_t) {
                    if (programmingSeen || banner.value != " Programming... ") return;
                    programmingSeen = true;
                    // The progress line is neutral and leaves the buttons as they are.
                    EXPECT_TRUE(banner.shown);
                    EXPECT_EQ(banner.background, ui::kButtonFace);
                    EXPECT_EQ(banner.foreground, ui::kBlack);
                    EXPECT_TRUE(w.fakeButton(W::Stop).shown);
                    EXPECT_FALSE(w.fakeButton(W::Update).shown);
                    EXPECT_FALSE(w.fakeMenu(W::ChangePort).enabledFlag);
                });
                w.click(W::Update);
                machine.port.onWait(nullptr);

                EXPECT_EQ(banner.value, " Program Ok ");
                EXPECT_EQ(banner.background, ui::kGreen);
                EXPECT_EQ(banner.foreground, ui::kWhite);
                EXPECT_EQ(w.fakeLabel(W::BiosLine).value, c.bios);
                EXPECT_TRUE(w.fakeLabel(W::BiosLine).shown);
                EXPECT_EQ(w.fakeLabel(W::BoardDescription).shown, c.description != nullptr);
                if (c.description) {
                    EXPECT_EQ(w.fakeLabel(W::BoardDescription).value, c.description);
                }
                const fake::StatusBar& status = w.fakeStatusBar(W::Status);
                EXPECT_EQ(status.panelText(app::kPortPanel), "COM1");
                EXPECT_EQ(status.panelText(app::kDevicePanel), c.device);
                EXPECT_EQ(status.panelText(app::kImagePanel), "Loaded 128 bytes (0000 to 0080)");
                expectReady(w);
                EXPECT_TRUE(w.fakeButton(W::Update).focused);
            },
            {"\\P"});
        EXPECT_EQ(machine.resultCodes, std::vector<int>{1});
        EXPECT_TRUE(programmingSeen);
        EXPECT_EQ(machine.port.board().counters().frames, 3); // two flash frames and the fix
        EXPECT_TRUE(tk.boxes.empty());
    }
}

TEST_F(UpdaterWindow, FailedUpdatesShowTheirRedResultLine) {
    struct Case {
        boardsim::Config board;
        const char* banner;
        const char* device;
        const char* image;
    };
    const auto refusesFirstFrame = board('B', 10, [](auto& c) { c.refusals = {{0, 5}}; });
    const auto silentOnSecondFrame = board('B', 10, [](auto& c) { c.silentFrames = {1}; });
    // The 2580 image is made for board 5, preparation 4 only.
    const auto otherBoard = board('C', 10, [](auto& c) { c.board = 6; });
    const Case cases[] = {
        {refusesFirstFrame, " CHK Error !! ", "Found 258", "Loaded 128 bytes (0000 to 0080)"},
        {silentOnSecondFrame, " not Response ", "Found 258", "Loaded 128 bytes (0000 to 0080)"},
        {board(254), " No Hex inside !! ", "Warning", ""},
        {board(0x41), " Error !! ", "Unknow Device", ""},
        {board('B', 33), " Incompatible Bootloader !! ", "", ""},
        {otherBoard, "BD02_R01 - Preparation4", "Warning!!", "not suitable apparatus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.banner);
        fake::Toolkit tk;
        Machine machine(c.board);
        apptest::runProgram(
            tk, machine,
            [&](fake::Toolkit& t, app::Application&) {
                fake::FormView& w = t.view("UpdaterWindow");
                w.click(W::Update);
                expectFailureBanner(w, c.banner);
                EXPECT_EQ(w.fakeStatusBar(W::Status).panelText(app::kDevicePanel), c.device);
                EXPECT_EQ(w.fakeStatusBar(W::Status).panelText(app::kImagePanel), c.image);
                expectReady(w);
            },
            {"\\P"});
        EXPECT_EQ(machine.resultCodes, std::vector<int>{0});
    }
}

TEST_F(UpdaterWindow, RefusedFramesCountTheirResendsInTheActivityPanel) {
    Machine machine(board('B', 10, [](auto& c) { c.refusals = {{1, 2}}; }));
    run(machine, [&](fake::FormView& w, app::Application&) {
        w.click(W::Update);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " Program Ok ");
        std::vector<std::string> resends;
        for (const auto& [panel, text] : w.fakeStatusBar(W::Status).history)
            if (panel == app::kActivityPanel && text.rfind("Resend", 0) == 0)
                resends.push_back(text);
        EXPECT_EQ(resends, (std::vector<std::string>{"Resend 0", "Resend 1"}));
    });
    EXPECT_EQ(machine.port.board().counters().refused, 2);
}

TEST_F(UpdaterWindow, StopDuringTheSearchEndsItAtOnceAndHidesItself) {
    Machine machine(silentBoard());
    run(machine, [&](fake::FormView& w, app::Application&) {
        long sentBeforeStop = -1;
        machine.port.onWait([&](int64_t wait) {
            if (wait != 30) return;
            ASSERT_TRUE(w.fakeButton(W::Stop).shown);
            w.click(W::Stop);
            EXPECT_FALSE(w.fakeButton(W::Stop).shown); // before the update has even noticed
            sentBeforeStop = searchBytes(machine.port);
        });
        w.click(W::Update);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " User Abort !! ");
        EXPECT_EQ(w.fakeLabel(W::Banner).background, ui::kRed);
        EXPECT_TRUE(w.fakeButton(W::Update).shown);
        EXPECT_GT(sentBeforeStop, 0);
        EXPECT_EQ(searchBytes(machine.port), sentBeforeStop); // nothing sent after the Stop
    });
}

TEST_F(UpdaterWindow, StopWhileIdleDoesNotAbortTheNextUpdate) {
    Machine machine(board('B'));
    run(machine, [&](fake::FormView& w, app::Application&) {
        w.click(W::Stop);
        w.click(W::Update);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " Program Ok ");
    });
}

TEST_F(UpdaterWindow, StopDuringTheBoardRecordWaitOfAnUpdateThatEndsEarlyIsForgotten) {
    // The board answers at once and never sends its record: the session waits for it, then
    // finds no image for the chip and ends without another wait that would meet the Stop.
    Machine machine(board(254, 10, [](auto& c) { c.sendRecord = false; }));
    run(machine, [&](fake::FormView& w, app::Application&) {
        // The search ends at the wait that brings the answer; the record wait follows.
        int64_t answeredAt = -1;
        bool stopped = false;
        machine.port.onWait([&](int64_t wait) {
            if (answeredAt < 0 && logged(machine.port, "search C2 answered") == 1)
                answeredAt = wait;
            if (answeredAt < 0 || wait != answeredAt + 10) return;
            stopped = true;
            w.click(W::Stop);
        });
        w.click(W::Update);
        machine.port.onWait(nullptr);
        ASSERT_TRUE(stopped);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " No Hex inside !! ");
        w.click(W::Update);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " No Hex inside !! ");
    });
    EXPECT_EQ(logged(machine.port, "search C2 answered"), 2);
}

TEST_F(UpdaterWindow, UpdateDisablesThePortCommandsWhileItRuns) {
    Machine machine(silentBoard());
    bool sawDisabled = false;
    run(machine,
        [&](fake::FormView& w, app::Application&) {
            auto& confirm = toolkit.view("PortSetupDialog").fakeButton(app::PortSetupDialog::Ok);
            w.click(W::ChangePort); // the Port setup dialog stays open during the update
            machine.port.onWait([&](int64_t) {
                if (!w.fakeMenu(W::ChangePort).enabledFlag && !confirm.enabledFlag)
                    sawDisabled = true;
            });
            w.click(W::Update);
            EXPECT_EQ(w.fakeStatusBar(W::Status).panelText(app::kActivityPanel),
                      "Device not Found");
            EXPECT_FALSE(w.fakeLabel(W::Banner).shown); // nothing answered: no result line
            EXPECT_TRUE(w.fakeMenu(W::ChangePort).enabledFlag);
            EXPECT_TRUE(confirm.enabledFlag);
            EXPECT_TRUE(w.fakeButton(W::Update).shown);
            EXPECT_FALSE(w.fakeButton(W::Stop).shown);
        },
        {"\\P"});
    EXPECT_TRUE(sawDisabled);
    EXPECT_EQ(searchBytes(machine.port), 100);
    EXPECT_TRUE(machine.resultCodes.empty()); // no result for the launching program either
}

TEST_F(UpdaterWindow, UpdateWhileAnUpdateRunsDoesNothing) {
    Machine machine(silentBoard());
    run(machine, [&](fake::FormView& w, app::Application& app) {
        machine.port.onWait([&](int64_t wait) {
            if (wait != 10) return;
            EXPECT_TRUE(app.updating());
            w.click(W::Update); // as Alt+U would, on the hidden button
        });
        w.click(W::Update);
        EXPECT_FALSE(app.updating());
        EXPECT_EQ(w.fakeStatusBar(W::Status).panelText(app::kActivityPanel), "Device not Found");
    });
    EXPECT_EQ(searchBytes(machine.port), 100); // one search, not a second one inside it
}

TEST_F(UpdaterWindow, ClosingDuringAnUpdateStopsItFirstThenCloses) {
    Machine machine(silentBoard(), "COM3");
    machine.settings["com"] = "2";
    bool closedWhileBusy = true;
    run(machine, [&](fake::FormView& w, app::Application&) {
        machine.port.onWait([&](int64_t wait) {
            if (wait == 30) {
                w.fakeForm().close(); // the title-bar button in the middle of the search
                closedWhileBusy = w.fakeForm().closed;
            }
        });
        w.click(W::Update);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " User Abort !! ");
        EXPECT_TRUE(w.fakeForm().closed); // closed once the search had ended
        EXPECT_FALSE(machine.port.isOpen());
    });
    EXPECT_FALSE(closedWhileBusy);
    EXPECT_LT(searchBytes(machine.port), 100);
    EXPECT_EQ(machine.settings["com"], "2");
}

TEST_F(UpdaterWindow, ChangePortHidesTheResultLinesAndOpensTheDialog) {
    Machine machine(board(254)); // " No Hex inside !! " with both board lines
    run(machine, [&](fake::FormView& w, app::Application&) {
        w.click(W::Update);
        ASSERT_TRUE(w.fakeLabel(W::Banner).shown);
        ASSERT_TRUE(w.fakeLabel(W::BiosLine).shown);
        ASSERT_TRUE(w.fakeLabel(W::BoardDescription).shown);
        const int bannerRepaints = w.fakeLabel(W::Banner).repaints;
        const int biosRepaints = w.fakeLabel(W::BiosLine).repaints;
        w.click(W::ChangePort);
        EXPECT_FALSE(w.fakeLabel(W::Banner).shown);
        EXPECT_FALSE(w.fakeLabel(W::BiosLine).shown);
        EXPECT_TRUE(w.fakeLabel(W::BoardDescription).shown); // the description line stays
        EXPECT_GT(w.fakeLabel(W::Banner).repaints, bannerRepaints);
        EXPECT_GT(w.fakeLabel(W::BiosLine).repaints, biosRepaints);
        EXPECT_TRUE(toolkit.view("PortSetupDialog").fakeForm().shown);
    });
}

TEST_F(UpdaterWindow, DoubleClickOnTheIdentityOpensOneVersionDialog) {
    Machine machine;
    run(machine, [&](fake::FormView& w, app::Application&) {
        w.doubleClick(W::Identity);
        w.doubleClick(W::Identity);
        fake::FormView& dialog = toolkit.view("VersionDialog");
        EXPECT_EQ(dialog.fakeForm().captionText, "ZQ710c 01.02|03|00   [ 16:51:17 - Jan 30 2012 ]");
        EXPECT_TRUE(dialog.fakeForm().shown);
        EXPECT_EQ(dialog.fakeForm().showCount, 1); // the second only brings it to the front
        // It lists this product's two images.
        const auto& lines = dialog.fakeChoiceList(app::VersionDialog::Images).items;
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2].rfind("2580   - BD02_R01[16PIN]", 0), 0u) << lines[2];
        EXPECT_EQ(lines[3].rfind("258    - ", 0), 0u) << lines[3];
        dialog.click(app::VersionDialog::Ok);
        EXPECT_FALSE(dialog.fakeForm().shown);
    });
}

// An open that fails: the result line says "Invalid Port Com"; a box says why when the user can
// do something about it.
TEST_F(UpdaterWindow, PortThatCannotBeOpenedIsInvalidPortComWithItsReason) {
    constexpr const char* kDescribed = "";
    struct Case {
        Kind kind;
        const char* message;
        const char* box; // nullptr: no box; kDescribed: the error described for the port
    } cases[] = {
        {Kind::PermissionDenied, "Permission denied", kDescribed},
        {Kind::Busy, "Device or resource busy", kDescribed},
        {Kind::Failed, "Input/output error", kDescribed},
        {Kind::Configure, "", "Unable to configure the serial port"},
        {Kind::Timeouts, "", "Unable to set the time-out parameters"},
        {Kind::NotFound, "No such file or directory", nullptr},
    };
    for (const Case& c : cases) {
        const serial::PortError error{c.kind, c.message};
        SCOPED_TRACE(serial::describe(error, "COM1"));
        fake::Toolkit tk;
        Machine machine(board('B'));
        machine.port.failOpens(error);
        apptest::runProgram(tk, machine, [&](fake::Toolkit& t, app::Application&) {
            fake::FormView& w = t.view("UpdaterWindow");
            w.click(W::Update);
            expectFailureBanner(w, "Invalid Port Com");
            expectReady(w);
        });
        EXPECT_TRUE(machine.port.writes().empty());
        if (c.box == nullptr) {
            EXPECT_TRUE(tk.boxes.empty());
            continue;
        }
        ASSERT_EQ(tk.boxes.size(), 1u);
        EXPECT_EQ(tk.boxes[0].text, c.box == kDescribed ? serial::describe(error, "COM1") : c.box);
        EXPECT_EQ(tk.boxes[0].caption, "Error");
    }
}

TEST_F(UpdaterWindow, PermissionBoxTellsTheUserWhatToDo) {
    Machine machine;
    machine.port.failOpens({Kind::PermissionDenied, "Permission denied"});
    run(machine, [&](fake::FormView& w, app::Application&) { w.click(W::Update); });
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_NE(toolkit.boxes[0].text.find("COM1"), std::string::npos) << toolkit.boxes[0].text;
    EXPECT_NE(toolkit.boxes[0].text.find("dialout"), std::string::npos) << toolkit.boxes[0].text;
}

TEST_F(UpdaterWindow, PortThatFailedOrWentAwayIsOpenedAgainByTheNextUpdate) {
    // The adapter is plugged in late, then pulled out during a write and plugged in again.
    Machine machine(board('B'));
    machine.port.failOpens({Kind::NotFound, "No such file or directory"});
    run(machine, [&](fake::FormView& w, app::Application&) {
        w.click(W::Update);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, "Invalid Port Com");
        machine.port.failOpens({});
        w.click(W::Update);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " Program Ok ");
        EXPECT_EQ(machine.port.opens(), 1);

        machine.port.onWait([&](int64_t) {
            if (w.fakeLabel(W::Banner).value == " Programming... ") machine.port.unplug();
        });
        w.click(W::Update);
        machine.port.onWait(nullptr);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " not Response ");
        w.click(W::Update);
        EXPECT_EQ(w.fakeLabel(W::Banner).value, " Program Ok ");
        EXPECT_EQ(machine.port.opens(), 2);
    });
}

TEST(Dispatch, AFailureInAHandlerIsShownAndTheLoopGoesOn) {
    fake::Toolkit tk;
    ui::dispatchGuarded(tk, [] { throw app::Failure("Failed to set data for 'com'"); });
    ui::dispatchGuarded(tk, [] { throw 42; });
    int after = 0;
    ui::dispatchGuarded(tk, [&] { ++after; });
    ASSERT_EQ(tk.boxes.size(), 2u);
    EXPECT_EQ(tk.boxes[0].text, "Failed to set data for 'com'");
    EXPECT_EQ(tk.boxes[1].text, "");
    EXPECT_EQ(after, 1);
}

} // namespace

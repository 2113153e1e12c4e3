// The Upgrade window, for a product whose identity carries an Upgrade code, with board-sim's
// bootloader as the board on the port.
#include "app/port_setup_dialog.h"
#include "app/upgrade_window.h"
#include "app_env.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using apptest::board;
using apptest::Machine;
using apptest::silentBoard;
using U = app::UpgradeWindow;

constexpr uint8_t kUpgradeSearch = 0xC5;

long searchBytes(const boardsim::SimulatedPort& port) {
    return std::count(port.writes().begin(), port.writes().end(),
                      std::vector<uint8_t>{kUpgradeSearch});
}

class UpgradeWindow : public ::testing::Test {
protected:
    // Runs the program on `machine`; `user` gets the Upgrade window's view.
    void run(Machine& machine, const std::function<void(fake::FormView&, app::Application&)>& user,
             std::vector<const char*> args = {}) {
        apptest::runProgram(
            toolkit, machine,
            [&](fake::Toolkit& tk, app::Application& app) {
                user(tk.view("UpgradeWindow"), app);
                machine.port.onWait(nullptr);
            },
            std::move(args));
    }

    fake::Toolkit toolkit;
};

TEST_F(UpgradeWindow, IsTheMainWindow) {
    Machine machine;
    machine.settings["com"] = "4";
    run(machine, [&](fake::FormView& w, app::Application&) {
        EXPECT_EQ(toolkit.createdOrder,
                  (std::vector<std::string>{"UpgradeWindow", "PortSetupDialog", "VersionDialog"}));
        EXPECT_EQ(w.fakeForm().captionText, "Upgrade 1.0 -   XR-HBD7 02.00|01|00   - Feb 2 2026");
        EXPECT_TRUE(w.fakeForm().shown);
        EXPECT_TRUE(w.fakeButton(U::Start).shown);
        EXPECT_FALSE(w.fakeButton(U::Stop).shown);
        EXPECT_EQ(w.fakeStatusBar(U::Status).panelText(app::kPortPanel), "COM5");
        EXPECT_TRUE(w.fakeProgressBar(U::Progress).smooth);
    });
    EXPECT_EQ(machine.settings["com"], "4");
}

TEST_F(UpgradeWindow, SuccessfulUpdateSaysProgramOkInTheActivityPanelOnly) {
    Machine machine(board('B'));
    bool programmingSeen = false;
    run(machine,
        [&](fake::FormView& w, app::Application&) {
            const fake::StatusBar& status = w.fakeStatusBar(U::Status);
            machine.port.onWait([&](int64_t) {
                if (status.panelText(app::kActivityPanel) != " Programming... ") return;
                programmingSeen = true;
                EXPECT_TRUE(w.fakeButton(U::Stop).shown);
                EXPECT_FALSE(w.fakeButton(U::Start).shown);
                EXPECT_FALSE(w.fakeMenu(U::SerialPort).enabledFlag);
            });
            w.click(U::Start);
            EXPECT_EQ(status.panelText(app::kActivityPanel), "Program OK");
            EXPECT_TRUE(w.fakeButton(U::Start).shown);
            EXPECT_TRUE(w.fakeButton(U::Start).focused);
            EXPECT_FALSE(w.fakeButton(U::Stop).shown);
            EXPECT_TRUE(w.fakeMenu(U::SerialPort).enabledFlag);
            // This window has no device, image or fifth panel texts.
            for (int panel : {app::kDevicePanel, app::kImagePanel, 4})
                EXPECT_EQ(status.panelText(panel), "") << panel;
        },
        {"\\P"});
    // A launching program waits for the result in this window too.
    EXPECT_EQ(machine.resultCodes, std::vector<int>{1});
    EXPECT_TRUE(programmingSeen);
    ASSERT_FALSE(machine.port.writes().empty());
    EXPECT_EQ(machine.port.writes().front(), std::vector<uint8_t>{kUpgradeSearch});
    EXPECT_EQ(machine.port.board().counters().frames, 3);
}

TEST_F(UpgradeWindow, FailureGoesToTheActivityPanelAndStartComesBack) {
    Machine machine(board('B', 10, [](auto& c) { c.refusals = {{0, 5}}; }));
    run(machine,
        [&](fake::FormView& w, app::Application&) {
            w.click(U::Start);
            EXPECT_EQ(w.fakeStatusBar(U::Status).panelText(app::kActivityPanel), " CHK Error !! ");
            EXPECT_TRUE(w.fakeButton(U::Start).shown);
            EXPECT_TRUE(w.fakeButton(U::Start).focused);
            EXPECT_FALSE(w.fakeButton(U::Stop).shown);
            // The resends are the Updater window's detail.
            for (const auto& [panel, text] : w.fakeStatusBar(U::Status).history)
                EXPECT_NE(text.rfind("Resend", 0), 0u) << text;
        },
        {"\\P"});
    EXPECT_EQ(machine.resultCodes, std::vector<int>{0});
}

TEST_F(UpgradeWindow, StopWhileIdleDoesNotAbortTheNextUpdate) {
    Machine machine(board('B'));
    run(machine, [&](fake::FormView& w, app::Application&) {
        w.click(U::Stop);
        EXPECT_TRUE(w.fakeButton(U::Start).shown);
        w.click(U::Start);
        EXPECT_EQ(w.fakeStatusBar(U::Status).panelText(app::kActivityPanel), "Program OK");
    });
}

TEST_F(UpgradeWindow, StartWithoutBoardCountsDownAndReturnsToStart) {
    Machine machine(silentBoard());
    run(machine, [&](fake::FormView& w, app::Application&) {
        w.click(U::Start);
        const fake::ProgressBar& bar = w.fakeProgressBar(U::Progress);
        ASSERT_GE(bar.positions.size(), 3u);
        EXPECT_EQ(bar.positions[1], 100); // after the reset to 0, the first try shows 100
        EXPECT_EQ(bar.positions[2], 99);
        EXPECT_EQ(bar.positions.back(), 0);
        EXPECT_EQ(w.fakeStatusBar(U::Status).panelText(app::kActivityPanel), "Device not Found");
        EXPECT_TRUE(w.fakeButton(U::Start).shown);
        EXPECT_TRUE(w.fakeButton(U::Start).focused);
        EXPECT_FALSE(w.fakeButton(U::Stop).shown);
    });
    // Every try sends this window's search byte.
    EXPECT_EQ(searchBytes(machine.port), 100);
    EXPECT_EQ(static_cast<long>(machine.port.writes().size()), 100);
}

TEST_F(UpgradeWindow, StopDuringTheSearchShowsStartAtOnceAndAbortsOnlyThatUpdate) {
    Machine machine(silentBoard());
    run(machine, [&](fake::FormView& w, app::Application&) {
        bool startShownAtOnce = false;
        long sentBeforeStop = -1;
        machine.port.onWait([&](int64_t wait) {
            if (wait != 40) return;
            w.click(U::Stop);
            startShownAtOnce = w.fakeButton(U::Start).shown && !w.fakeButton(U::Stop).shown;
            sentBeforeStop = searchBytes(machine.port);
        });
        w.click(U::Start);
        machine.port.onWait(nullptr);
        EXPECT_TRUE(startShownAtOnce);
        EXPECT_EQ(w.fakeStatusBar(U::Status).panelText(app::kActivityPanel), " User Abort !! ");
        EXPECT_EQ(searchBytes(machine.port), sentBeforeStop);

        // The next START searches in full.
        w.click(U::Start);
        EXPECT_EQ(w.fakeStatusBar(U::Status).panelText(app::kActivityPanel), "Device not Found");
        EXPECT_EQ(searchBytes(machine.port), sentBeforeStop + 100);
    });
}

TEST_F(UpgradeWindow, StartWhileAnUpdateRunsDoesNothing) {
    Machine machine(silentBoard());
    run(machine, [&](fake::FormView& w, app::Application& app) {
        long sentBeforeStart = -1;
        machine.port.onWait([&](int64_t wait) {
            if (wait != 40) return;
            // STOP shows START at once, while the update runs on to its next wait.
            w.click(U::Stop);
            sentBeforeStart = searchBytes(machine.port);
            w.click(U::Start);
            EXPECT_TRUE(app.updating());
        });
        w.click(U::Start);
        machine.port.onWait(nullptr);
        EXPECT_EQ(w.fakeStatusBar(U::Status).panelText(app::kActivityPanel), " User Abort !! ");
        EXPECT_EQ(searchBytes(machine.port), sentBeforeStart); // no search of its own
        EXPECT_TRUE(w.fakeButton(U::Start).shown);
        EXPECT_FALSE(app.updating());
    });
}

TEST_F(UpgradeWindow, SerialPortCommandOpensThePortSetupDialog) {
    Machine machine;
    machine.ports = {{"COM1", "/dev/ttyS0", "Communications Port (COM1)"}};
    run(machine, [&](fake::FormView& w, app::Application&) {
        w.click(U::SerialPort);
        auto& dialog = toolkit.view("PortSetupDialog");
        EXPECT_TRUE(dialog.fakeForm().shown);
        EXPECT_EQ(dialog.fakeChoiceList(app::PortSetupDialog::Ports).items,
                  std::vector<std::string>{"Communications Port (COM1)"});
    });
}

} // namespace

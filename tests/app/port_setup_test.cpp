// The Port setup dialog with a scripted list of ports, and the port its choice opens.
#include "app/port_setup_dialog.h"
#include "app/updater_window.h"
#include "app_env.h"
#include "serial/serial_port.h"

#include <gtest/gtest.h>

namespace {

using apptest::Machine;
using D = app::PortSetupDialog;
using Kind = serial::PortError::Kind;

serial::PortDescription port(const char* name, const char* friendlyName) {
    return {name, std::string("/dev/") + name, friendlyName};
}

class PortSetup : public ::testing::Test {
protected:
    // Runs the program with `stored` as the stored port, opens the dialog and hands it over.
    void withDialog(const char* stored,
                    const std::function<void(fake::FormView&, app::Application&)>& act) {
        machine.settings["com"] = stored;
        apptest::runProgram(toolkit, machine, [&](fake::Toolkit& tk, app::Application& app) {
            tk.view("UpdaterWindow").click(app::UpdaterWindow::ChangePort);
            act(tk.view("PortSetupDialog"), app);
        });
    }
    fake::Label& banner() {
        return toolkit.view("UpdaterWindow").fakeLabel(app::UpdaterWindow::Banner);
    }

    fake::Toolkit toolkit;
    Machine machine;
};

TEST_F(PortSetup, ListsThePortsAndPreselectsThePortInUse) {
    machine.ports = {port("COM1", "Communications Port (COM1)"), port("COM4", "USB Serial (COM4)")};
    withDialog("3", [](fake::FormView& d, app::Application&) {
        auto& names = d.fakeChoiceList(D::Ports);
        EXPECT_EQ(names.items,
                  (std::vector<std::string>{"Communications Port (COM1)", "USB Serial (COM4)"}));
        EXPECT_EQ(names.selected, 1);
        EXPECT_TRUE(d.fakeButton(D::Ok).enabledFlag);
    });
}

TEST_F(PortSetup, LongFriendlyNamesAreCutAt199Characters) {
    const std::string longName(250, 'x');
    machine.ports = {port("COM1", longName.c_str())};
    withDialog("0", [&](fake::FormView& d, app::Application&) {
        EXPECT_EQ(d.fakeChoiceList(D::Ports).items,
                  std::vector<std::string>{longName.substr(0, 199)});
    });
}

TEST_F(PortSetup, VanishedPortPreselectsTheFirstEntryAndOkOpensIt) {
    machine = Machine({}, "COM2");
    machine.ports = {port("COM2", "a"), port("COM3", "b")};
    withDialog("7", [&](fake::FormView& d, app::Application& app) {
        EXPECT_EQ(d.fakeChoiceList(D::Ports).selected, 0);
        d.click(D::Ok);
        EXPECT_EQ(app.selectedPort(), 1);
        EXPECT_TRUE(machine.port.isOpen()); // opened at once
        EXPECT_EQ(machine.port.opens(), 1);
        EXPECT_FALSE(d.fakeForm().shown);
        EXPECT_FALSE(banner().shown);
    });
    EXPECT_EQ(machine.settings["com"], "1");
}

TEST_F(PortSetup, SamePortIsNotReopened) {
    machine = Machine({}, "COM3");
    machine.ports = {port("COM3", "b")};
    withDialog("2", [&](fake::FormView& d, app::Application&) {
        d.click(D::Ok);
        EXPECT_EQ(machine.port.opens(), 0);
    });
}

TEST_F(PortSetup, CancelRestoresTheSelection) {
    machine.ports = {port("COM1", "a"), port("COM2", "b"), port("COM3", "c")};
    withDialog("2", [&](fake::FormView& d, app::Application& app) {
        d.fakeChoiceList(D::Ports).select(0);
        d.click(D::Cancel);
        EXPECT_EQ(d.fakeChoiceList(D::Ports).selected, 2);
        EXPECT_EQ(app.selectedPort(), 2);
        EXPECT_FALSE(d.fakeForm().shown);
    });
    EXPECT_EQ(machine.port.opens(), 0);
}

TEST_F(PortSetup, EmptyListGivesCom1OnOk) {
    machine.ports = {};
    withDialog("5", [&](fake::FormView& d, app::Application& app) {
        EXPECT_EQ(d.fakeChoiceList(D::Ports).selected, -1);
        d.click(D::Ok);
        EXPECT_EQ(app.selectedPort(), 0);
        EXPECT_TRUE(machine.port.isOpen()); // the board's port is COM1
    });
}

TEST_F(PortSetup, PortNamesInAnyLetterCase) {
    machine.ports = {port("com3", "lower"), port("COM12", "upper"), port("Com7x", "mixed")};
    struct Case {
        const char* stored;
        int preselected;
        int chosen; // the entry then chosen; -1: none
        int16_t port;
    } cases[] = {
        {"2", 0, 1, 11},  // com3 found for port 2; COM12 is port 11
        {"11", 1, 2, -1}, // Com7x is no COM name: no port
        {"40", 0, 0, 2},  // not listed: the first entry
        {"6", 0, -1, 0},  // "Com7x" is not COM7; nothing chosen: port 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        withDialog(c.stored, [&](fake::FormView& d, app::Application& app) {
            EXPECT_EQ(d.fakeChoiceList(D::Ports).selected, c.preselected);
            d.fakeChoiceList(D::Ports).select(c.chosen);
            d.click(D::Ok);
            EXPECT_EQ(app.selectedPort(), c.port);
        });
    }
}

TEST_F(PortSetup, PortThatCannotOpenIsReportedAndStaysChosen) {
    machine.ports = {port("COM1", "a"), port("COM9", "b")};
    withDialog("0", [&](fake::FormView& d, app::Application& app) {
        d.fakeChoiceList(D::Ports).select(1);
        d.click(D::Ok);
        EXPECT_EQ(app.selectedPort(), 8);
        EXPECT_EQ(banner().value, "Invalid Port Com");
        EXPECT_TRUE(banner().shown);
        EXPECT_EQ(banner().background, ui::kRed);
    });
    EXPECT_TRUE(toolkit.boxes.empty()); // no such device: the result line says it all
    EXPECT_EQ(machine.settings["com"], "8");
}

TEST_F(PortSetup, ChoiceThatMayNotBeOpenedShowsWhy) {
    machine = Machine({}, "COM2");
    machine.ports = {port("COM1", "a"), port("COM2", "b")};
    const serial::PortError denied{Kind::PermissionDenied, "Permission denied"};
    machine.port.failOpens(denied);
    withDialog("0", [&](fake::FormView& d, app::Application&) {
        d.fakeChoiceList(D::Ports).select(1);
        d.click(D::Ok);
        EXPECT_EQ(banner().value, "Invalid Port Com");
    });
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, serial::describe(denied, "COM2"));
    EXPECT_EQ(toolkit.boxes[0].caption, "Error");
}

TEST_F(PortSetup, ShowingAVisibleDialogDoesNotRefillIt) {
    machine.ports = {port("COM1", "a")};
    withDialog("0", [&](fake::FormView& d, app::Application&) {
        machine.ports = {port("COM1", "a"), port("COM2", "b")};
        d.fakeForm().show();
        EXPECT_EQ(d.fakeChoiceList(D::Ports).count(), 1);
        // Shown anew, it lists the ports present now.
        d.click(D::Cancel);
        d.fakeForm().show();
        EXPECT_EQ(d.fakeChoiceList(D::Ports).count(), 2);
    });
}

} // namespace

// The Port setup dialog with a scripted list of ports.
#include "app/program.h"
#include "app/serialsetup.h"
#include "app/trevane.h"
#include "app_env.h"
#include "fake_port_list.h"
#include "protocol/link_state.h"

#include <gtest/gtest.h>

namespace {

using apptest::runProgram;

class PortSetup : public ::testing::Test {
protected:
    void SetUp() override { fakeport::reset(); }
    apptest::TempSettings settings;
    fake::Toolkit toolkit;

    // Runs the program with `stored` as the stored port, opens the dialog and hands it over.
    void withDialog(const char* stored, const std::function<void(fake::FormView&, app::TForm3&)>& act) {
        settings.store(std::string("\"com\"=\"") + stored + "\"");
        runProgram(toolkit, [&](fake::Toolkit& tk) {
            tk.view("TForm1").click("S1");
            act(tk.view("TForm3"), *app::program.Form3);
        });
    }
};

TEST_F(PortSetup, ListsThePortsAndPreselectsThePortInUse) {
    fakeport::setPortList({{"COM1", "Communications Port (COM1)"}, {"COM4", "USB Serial (COM4)"}});
    withDialog("3", [](fake::FormView& d, app::TForm3&) {
        auto& names = d.fakeChoiceList("ComboBox1");
        EXPECT_EQ(names.items,
                  (std::vector<std::string>{"Communications Port (COM1)", "USB Serial (COM4)"}));
        EXPECT_EQ(d.fakeChoiceList("ComboBox2").items, (std::vector<std::string>{"COM1", "COM4"}));
        EXPECT_EQ(names.selected, 1);
    });
    EXPECT_EQ(fakeport::listsOpened(), 1);
    EXPECT_EQ(fakeport::listsClosed(), 1);
}

TEST_F(PortSetup, VanishedPortPreselectsTheFirstEntryAndOkTakesIt) {
    fakeport::setPortList({{"COM2", "a"}, {"COM3", "b"}});
    withDialog("7", [](fake::FormView& d, app::TForm3&) {
        EXPECT_EQ(d.fakeChoiceList("ComboBox1").selected, 0);
        d.click("Button1");
        EXPECT_EQ(protocol::link.selectedPort, 1);
        EXPECT_TRUE(fakeport::isOpen(1)); // opened at once
        EXPECT_FALSE(d.fakeForm().shown);
    });
    EXPECT_NE(settings.userFileContent().find("\"com\"=\"1\""), std::string::npos);
}

TEST_F(PortSetup, SamePortIsNotReopened) {
    fakeport::setPortList({{"COM3", "b"}});
    withDialog("2", [](fake::FormView& d, app::TForm3&) {
        d.click("Button1");
        EXPECT_EQ(fakeport::openCount(2), 0);
    });
}

TEST_F(PortSetup, CancelRestoresTheSelection) {
    fakeport::setPortList({{"COM1", "a"}, {"COM2", "b"}, {"COM3", "c"}});
    withDialog("2", [](fake::FormView& d, app::TForm3&) {
        d.fakeChoiceList("ComboBox1").select(0);
        d.click("Button2");
        EXPECT_EQ(d.fakeChoiceList("ComboBox1").selected, 2);
        EXPECT_EQ(protocol::link.selectedPort, 2);
        EXPECT_FALSE(d.fakeForm().shown);
    });
}

TEST_F(PortSetup, EmptyListGivesCom1OnOk) {
    fakeport::setPortList({});
    withDialog("5", [](fake::FormView& d, app::TForm3&) {
        EXPECT_EQ(d.fakeChoiceList("ComboBox1").selected, -1);
        d.click("Button1");
        EXPECT_EQ(protocol::link.selectedPort, 0);
    });
}

TEST_F(PortSetup, PortNamesInAnyLetterCase) {
    fakeport::setPortList({{"com3", "lower"}, {"COM12", "upper"}, {"Com7x", "mixed"}});
    withDialog("2", [](fake::FormView& d, app::TForm3& dialog) {
        EXPECT_EQ(d.fakeChoiceList("ComboBox1").selected, 0); // com3 found for port 2
        EXPECT_EQ(dialog.portNumberOfEntry(0), 2);
        EXPECT_EQ(dialog.portNumberOfEntry(1), 11);
        EXPECT_EQ(dialog.portNumberOfEntry(2), 6);
        EXPECT_EQ(dialog.portNumberOfEntry(-1), 0);
        EXPECT_EQ(dialog.portNumberOfEntry(9), 0);
        EXPECT_EQ(dialog.findPortEntry(11), 1);
        EXPECT_EQ(dialog.findPortEntry(40), 0);
    });
}

TEST_F(PortSetup, PortThatCannotOpenIsReportedAndStaysChosen) {
    fakeport::setPortList({{"COM1", "a"}, {"COM9", "b"}});
    fakeport::failOpen(8);
    withDialog("0", [](fake::FormView& d, app::TForm3&) {
        d.fakeChoiceList("ComboBox1").select(1);
        d.click("Button1");
        EXPECT_EQ(protocol::link.selectedPort, 8);
        EXPECT_EQ(app::program.Form1->view().label("Label2").text(), "Invalid Port Com");
    });
}

TEST_F(PortSetup, ShowingAVisibleDialogDoesNotRefillIt) {
    fakeport::setPortList({{"COM1", "a"}});
    withDialog("0", [](fake::FormView& d, app::TForm3&) {
        fakeport::setPortList({{"COM1", "a"}, {"COM2", "b"}});
        d.fakeForm().show();
        EXPECT_EQ(d.fakeChoiceList("ComboBox1").count(), 1);
    });
}

} // namespace

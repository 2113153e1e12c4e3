// The Upgrade window, for a product whose identity carries an Upgrade code.
#include "app/identity.h"
#include "app/program.h"
#include "app_env.h"
#include "protocol/link_state.h"
#include "protocol/reporter.h"

#include <gtest/gtest.h>

namespace {

using apptest::runProgram;

class UpgradeWindow : public ::testing::Test {
protected:
    void SetUp() override { fakeport::reset(); }
    apptest::TempSettings settings;
    fake::Toolkit toolkit;
};

TEST_F(UpgradeWindow, IsTheMainWindowWithTheUpdaterHiddenBehindIt) {
    settings.store("\"com\"=\"4\"");
    runProgram(toolkit, [](fake::Toolkit& tk) {
        EXPECT_EQ(tk.createdOrder,
                  (std::vector<std::string>{"TForm5", "TForm1", "TForm3", "TForm4"}));
        auto& w = tk.view("TForm5");
        EXPECT_EQ(w.fakeForm().captionText, "Upgrade 1.0 -   XR-HBD7 02.00|01|00   - Feb 2 2026");
        EXPECT_TRUE(w.fakeForm().shown);
        EXPECT_FALSE(tk.view("TForm1").fakeForm().shown);
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(0), "COM5");
        EXPECT_EQ(tk.view("TForm1").fakeStatusBar("StatusBar1").panelText(0), "COM5");
        EXPECT_EQ(protocol::link.devicePanelIndex, -2);
        EXPECT_TRUE(protocol::reporter().upgradeMode());
    });
}

TEST_F(UpgradeWindow, BannersGoToTheActivityPanelOnly) {
    runProgram(toolkit, [](fake::Toolkit& tk) {
        auto& w = tk.view("TForm5");
        auto& updater = tk.view("TForm1");
        protocol::reporter().showStopButton();
        EXPECT_TRUE(w.fakeButton("Button2").shown);
        EXPECT_FALSE(w.fakeButton("Button1").shown);
        protocol::reporter().showStatusBanner(" Programming... ", ui::kButtonFace);
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(1), " Programming... ");
        protocol::reporter().showErrorBanner(" CHK Error !! ", ui::kRed, 0);
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(1), " CHK Error !! ");
        EXPECT_FALSE(updater.fakeLabel("Label2").shown);
        protocol::reporter().showProgramOk();
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(1), "Program OK");
        EXPECT_TRUE(w.fakeButton("Button1").shown);
        EXPECT_TRUE(w.fakeButton("Button1").focused);
        EXPECT_FALSE(w.fakeButton("Button2").shown);
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(2), "");
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(4), "");
    });
}

TEST_F(UpgradeWindow, StopWhileIdleLeavesNoAbortPending) {
    runProgram(toolkit, [](fake::Toolkit& tk) {
        auto& w = tk.view("TForm5");
        w.click("Button2");
        EXPECT_EQ(protocol::link.abortRequest, 0);
        EXPECT_TRUE(w.fakeButton("Button1").shown);
    });
}

TEST_F(UpgradeWindow, StartWithoutBoardCountsDownAndReturnsToStart) {
    runProgram(toolkit, [](fake::Toolkit& tk) {
        auto& w = tk.view("TForm5");
        w.click("Button1");
        auto& bar = w.fakeProgressBar("ProgressBar1");
        ASSERT_GE(bar.positions.size(), 3u);
        EXPECT_EQ(bar.positions[1], 100); // after the reset to 0, the first try shows 100
        EXPECT_EQ(bar.positions.back(), 0);
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(1), "Device not Found");
        EXPECT_TRUE(w.fakeButton("Button1").shown);
        EXPECT_TRUE(w.fakeButton("Button1").focused);
        EXPECT_FALSE(w.fakeButton("Button2").shown);
        // The search byte of this window.
        const auto sent = fakeport::writtenBytes(0);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent[0], 197);
    });
}

TEST_F(UpgradeWindow, StopDuringTheSearchAbortsAndShowsStartAtOnce) {
    runProgram(toolkit, [](fake::Toolkit& tk) {
        auto& w = tk.view("TForm5");
        bool startShownAtOnce = false;
        fakeport::setStepHook([&](int64_t step) {
            if (step == 40) {
                w.click("Button2");
                startShownAtOnce = w.fakeButton("Button1").shown;
            }
        });
        w.click("Button1");
        fakeport::setStepHook(nullptr);
        EXPECT_TRUE(startShownAtOnce);
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(1), " User Abort !! ");
        EXPECT_EQ(protocol::link.abortRequest, 0);
    });
}

} // namespace

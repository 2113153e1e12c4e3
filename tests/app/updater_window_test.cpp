// The Updater window and the start-up around it, driven through the fake toolkit as a user would.
#include "app/identity.h"
#include "app/program.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "app/trevane.h"
#include "app_env.h"
#include "protocol/link_state.h"
#include "protocol/reporter.h"
#include "ui/dispatch.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using apptest::runProgram;
using apptest::TempSettings;

class UpdaterWindow : public ::testing::Test {
protected:
    void SetUp() override { fakeport::reset(); }
    TempSettings settings;
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
    runProgram(toolkit, [](fake::Toolkit& tk) {
        EXPECT_EQ(tk.createdOrder, (std::vector<std::string>{"TForm1", "TForm3", "TForm4"}));
        auto& w = tk.view("TForm1");
        EXPECT_EQ(w.fakeForm().captionText, "Updater 2.7 - ZQ710c 01.02|03|00   [ Jan 30 2012 ]");
        EXPECT_TRUE(w.fakeForm().shown);
        EXPECT_EQ(tk.applicationTitle, "ZQ710c 01.02|03|00");
        EXPECT_EQ(w.fakeLabel("Label1").value, "ZQ710c 01.02|03|00");
        EXPECT_FALSE(w.fakePicture("Image1").shown); // ZQ710: no logo
        EXPECT_FALSE(w.fakePicture("Image2").shown);
        EXPECT_TRUE(w.fakeButton("Button1").shown);
        EXPECT_FALSE(w.fakeButton("Button2").shown);
        EXPECT_FALSE(w.fakeLabel("Label2").shown);
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(0), "COM1"); // nothing stored
        EXPECT_FALSE(tk.view("TForm3").fakeForm().shown);
        EXPECT_FALSE(tk.view("TForm4").fakeForm().shown);
        EXPECT_EQ(protocol::link.openedPort, -1); // one below the selected port
    });
    EXPECT_TRUE(toolkit.boxes.empty());
}

TEST_F(UpdaterWindow, StoredPortIsShownAndWrittenBackOnClose) {
    struct Case {
        const char* stored;
        const char* panel;
        const char* written;
    } cases[] = {
        {"\"com\"=\"4\"", "COM5", "\"com\"=\"4\""},
        {"\"com\"=\"12\"", "COM13", "\"com\"=\"12\""},
        {"\"com\"=\"7abc\"", "COM8", "\"com\"=\"7\""},
        {"\"com\"=\"\"", "COM1", "\"com\"=\"0\""},
        {"\"com\"=\"-1\"", "-----", "\"com\"=\"-1\""},
    };
    for (const Case& c : cases) {
        TempSettings local;
        local.store(c.stored);
        fake::Toolkit tk;
        runProgram(tk, [&](fake::Toolkit& t) {
            EXPECT_EQ(t.view("TForm1").fakeStatusBar("StatusBar1").panelText(0), c.panel)
                << c.stored;
        });
        EXPECT_NE(local.userFileContent().find(c.written), std::string::npos)
            << c.stored << " -> " << local.userFileContent();
        // Closing before any search closes no port: the opened port is still one below.
        for (const std::string& call : fakeport::callLog())
            EXPECT_NE(call.rfind("close", 0), 0u) << call;
    }
}

TEST_F(UpdaterWindow, NonTextSettingEndsTheStartWithItsMessage) {
    settings.store("\"com\"=dword:00000004");
    bool ran = false;
    runProgram(toolkit, [&](fake::Toolkit&) { ran = true; });
    EXPECT_FALSE(ran);
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, "Invalid data type for 'com'");
}

TEST_F(UpdaterWindow, SecondCopyShowsOnlyTheBox) {
    app::SingleInstance first;
    ASSERT_TRUE(first.acquire());
    runProgram(toolkit, [](fake::Toolkit&) { ADD_FAILURE() << "a second copy ran"; });
    ASSERT_EQ(toolkit.boxes.size(), 1u);
    EXPECT_EQ(toolkit.boxes[0].text, "Already in progress");
    EXPECT_EQ(toolkit.boxes[0].caption, "Updater 2.7 - ZQ710c 01.02|03|00   [ Jan 30 2012 ]");
    EXPECT_EQ(toolkit.boxes[0].style, ui::MessageBoxStyle::TopMost);
    EXPECT_TRUE(toolkit.createdOrder.empty());
    EXPECT_TRUE(settings.userFileContent().empty()); // nothing read or written
}

TEST_F(UpdaterWindow, BannersSetTextColoursAndButtons) {
    runProgram(toolkit, [](fake::Toolkit& tk) {
        auto& w = tk.view("TForm1");
        protocol::Reporter& status = protocol::reporter();
        status.showStopButton();
        EXPECT_TRUE(w.fakeButton("Button2").shown);
        EXPECT_FALSE(w.fakeButton("Button1").shown);

        status.showStatusBanner(" Programming... ", ui::kButtonFace);
        EXPECT_EQ(w.fakeLabel("Label2").value, " Programming... ");
        EXPECT_TRUE(w.fakeLabel("Label2").shown);
        EXPECT_EQ(w.fakeLabel("Label2").background, ui::kButtonFace);
        EXPECT_EQ(w.fakeLabel("Label2").foreground, ui::kBlack);
        EXPECT_TRUE(w.fakeButton("Button2").shown); // buttons untouched by the status banner

        w.fakeMenu("S1").enabledFlag = false;
        status.showErrorBanner(" not Response ", ui::kRed, 0);
        status.showErrorBanner(" CHK Error !! ", ui::kRed, 0);
        EXPECT_EQ(w.fakeLabel("Label2").value, " CHK Error !! ");
        EXPECT_EQ(w.fakeLabel("Label2").background, ui::kRed);
        EXPECT_EQ(w.fakeLabel("Label2").foreground, ui::kWhite);
        EXPECT_TRUE(w.fakeMenu("S1").enabledFlag);
        EXPECT_FALSE(w.fakeButton("Button2").shown);
        EXPECT_TRUE(w.fakeButton("Button1").shown);
        EXPECT_TRUE(w.fakeButton("Button1").focused);

        status.showProgramOk();
        EXPECT_EQ(w.fakeLabel("Label2").value, " Program Ok ");
        EXPECT_EQ(w.fakeLabel("Label2").background, ui::kGreen);
    });
}

TEST_F(UpdaterWindow, StopSetsTheAbortRequestAndHidesItself) {
    runProgram(toolkit, [](fake::Toolkit& tk) {
        auto& w = tk.view("TForm1");
        protocol::reporter().showStopButton();
        w.click("Button2");
        EXPECT_EQ(protocol::link.abortRequest, 1);
        EXPECT_FALSE(w.fakeButton("Button2").shown);
    });
}

TEST_F(UpdaterWindow, ChangePortHidesTheResultLinesAndOpensTheDialog) {
    runProgram(toolkit, [](fake::Toolkit& tk) {
        auto& w = tk.view("TForm1");
        protocol::reporter().showErrorBanner(" Error !! ", ui::kRed, 0);
        w.fakeLabel("Label3").shown = true;
        w.fakeLabel("Label4").shown = true;
        w.click("S1");
        EXPECT_FALSE(w.fakeLabel("Label2").shown);
        EXPECT_FALSE(w.fakeLabel("Label3").shown);
        EXPECT_TRUE(w.fakeLabel("Label4").shown); // the description line stays
        EXPECT_GE(w.fakeLabel("Label2").repaints, 1);
        EXPECT_GE(w.fakeLabel("Label3").repaints, 1);
        EXPECT_TRUE(tk.view("TForm3").fakeForm().shown);
    });
}

TEST_F(UpdaterWindow, DoubleClickOnTheIdentityOpensOneVersionDialog) {
    runProgram(toolkit, [](fake::Toolkit& tk) {
        auto& w = tk.view("TForm1");
        w.doubleClick("Label1");
        w.doubleClick("Label1");
        auto& dialog = tk.view("TForm4").fakeForm();
        EXPECT_EQ(dialog.captionText, "ZQ710c 01.02|03|00   [ 16:51:17 - Jan 30 2012 ]");
        EXPECT_TRUE(dialog.shown);
        EXPECT_EQ(dialog.showCount, 1); // the second only brings it to the front
    });
}

TEST_F(UpdaterWindow, UpdateWithoutBoardDisablesChangePortWhileItRuns) {
    bool sawDisabled = false;
    runProgram(toolkit, [&](fake::Toolkit& tk) {
        auto& w = tk.view("TForm1");
        auto& confirm = tk.view("TForm3").fakeButton("Button1");
        w.click("S1"); // the Port setup dialog stays open during the update
        fakeport::setStepHook([&](int64_t) {
            if (!w.fakeMenu("S1").enabledFlag && !confirm.enabledFlag) sawDisabled = true;
        });
        w.click("Button1");
        fakeport::setStepHook(nullptr);
        EXPECT_EQ(w.fakeStatusBar("StatusBar1").panelText(1), "Device not Found");
        EXPECT_TRUE(w.fakeMenu("S1").enabledFlag);
        EXPECT_TRUE(confirm.enabledFlag);
        EXPECT_TRUE(w.fakeButton("Button1").shown);
        EXPECT_FALSE(w.fakeButton("Button2").shown);
    });
    EXPECT_TRUE(sawDisabled);
}

TEST_F(UpdaterWindow, ClosingDuringAnUpdateStopsItFirstThenCloses) {
    settings.store("\"com\"=\"2\"");
    bool closedWhileBusy = true;
    runProgram(toolkit, [&](fake::Toolkit& tk) {
        auto& w = tk.view("TForm1");
        fakeport::setStepHook([&](int64_t step) {
            if (step == 30) {
                w.fakeForm().close(); // the title-bar button in the middle of the search
                closedWhileBusy = w.fakeForm().closed;
            }
        });
        w.click("Button1");
        fakeport::setStepHook(nullptr);
        EXPECT_EQ(w.fakeLabel("Label2").value, " User Abort !! ");
        EXPECT_TRUE(w.fakeForm().closed); // closed once the search had ended
        EXPECT_FALSE(fakeport::isOpen(2));
    });
    EXPECT_FALSE(closedWhileBusy);
    EXPECT_NE(settings.userFileContent().find("\"com\"=\"2\""), std::string::npos);
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

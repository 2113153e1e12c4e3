#include "app/upgrade_window.h"

#include "app/application.h"
#include "app/identity.h"

#include <array>

namespace app {
namespace {

using ui::Align;
using ui::Kind;
using C = UpgradeWindow::Control;

constexpr ui::Font kBig{nullptr, 33, true};
constexpr std::array<int, 5> kPanels{50, 130, 130, 140, 20};

constexpr ui::ControlDesc kControls[] = {
    {Kind::MenuCommand, C::SerialPort, "serialPort", "Serial Port", {}},
    {Kind::Panel, C::ButtonPanel, "buttonPanel", "", {8, 8, 585, 113}},
    {Kind::Button, C::Start, "start", "START", {175, 25, 249, 65}, kBig, true, Align::Center,
     C::ButtonPanel},
    {Kind::Button, C::Stop, "stop", "STOP", {175, 25, 249, 65}, kBig, false, Align::Center,
     C::ButtonPanel},
    {Kind::ProgressBar, C::Progress, "progress", "", {5, 128, 596, 17}},
    {Kind::StatusBar, C::Status, "statusBar", "", {0, 152, 606, 29}, {}, true, Align::Left,
     ui::kNoParent, kPanels},
};

} // namespace

const ui::FormDesc kUpgradeForm{"UpgradeWindow", "Upgrade", 606, 181,
                                {"MS Sans Serif", 11, false}, ui::Border::Single, true, kControls};

UpgradeWindow::UpgradeWindow(Application& application)
    : app_(application), view_(application.toolkit().createForm(kUpgradeForm, *this)),
      serialPort_(view_->menu(C::SerialPort)), startButton_(view_->button(C::Start)),
      stopButton_(view_->button(C::Stop)), progressBar_(view_->progressBar(C::Progress)),
      statusBar_(view_->statusBar(C::Status)) {
    app_.startHostNotifier();
    app_.setTitles(view_->form(), upgradeTitle());
    app_.loadStoredPort(statusBar_);
    progressBar_.setSmooth(true);
}

void UpgradeWindow::showActivity(std::string_view text) {
    statusBar_.setPanelText(kActivityPanel, text);
}

void UpgradeWindow::showRunning(bool running) {
    stopButton_.setVisible(running);
    startButton_.setVisible(!running);
}

void UpgradeWindow::showStart() {
    showRunning(false);
    startButton_.setFocus();
}

void UpgradeWindow::onEvent(int control, ui::Event event) {
    if (event != ui::Event::Click) return;
    switch (control) {
    case C::Start:
        onStartClicked();
        break;
    case C::Stop:
        onStopClicked();
        break;
    case C::SerialPort:
        onSerialPortChosen();
        break;
    default:
        break;
    }
}

void UpgradeWindow::onStartClicked() {
    // STOP shows START at once while the update runs on to its next wait: a START then must
    // not begin a second update inside the first.
    if (app_.updating()) return;
    app_.runUpdate(progressBar_, statusBar_, serialPort_);
    // Back to START after every end, failures included.
    showStart();
    if (closePending_) view_->form().close();
}

void UpgradeWindow::onStopClicked() {
    showRunning(false);
    app_.stopUpdate();
}

void UpgradeWindow::onSerialPortChosen() { app_.showPortSetup(); }

bool UpgradeWindow::onCloseRequest() { return app_.requestMainWindowClose(closePending_); }

} // namespace app

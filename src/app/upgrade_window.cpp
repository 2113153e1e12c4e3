#include "app/upgrade_window.h"

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
    {Kind::Button,
     C::Start,
     "start",
     "START",
     {175, 25, 249, 65},
     kBig,
     true,
     Align::Center,
     C::ButtonPanel},
    {Kind::Button,
     C::Stop,
     "stop",
     "STOP",
     {175, 25, 249, 65},
     kBig,
     false,
     Align::Center,
     C::ButtonPanel},
    {Kind::ProgressBar, C::Progress, "progress", "", {5, 128, 596, 17}},
    {Kind::StatusBar,
     C::Status,
     "statusBar",
     "",
     {0, 152, 606, 29},
     {},
     true,
     Align::Left,
     ui::kNoParent,
     kPanels},
};

} // namespace

const ui::FormDesc kUpgradeForm{
    "UpgradeWindow",    "Upgrade", 606,      181, {"MS Sans Serif", 11, false},
    ui::Border::Single, true,      kControls};

UpgradeWindow::UpgradeWindow(ui::Toolkit& toolkit, MainWindowActions& actions)
    : MainWindow(toolkit, kUpgradeForm, C::Progress), actions_(actions),
      serialPort_(view_->menu(C::SerialPort)), startButton_(view_->button(C::Start)),
      stopButton_(view_->button(C::Stop)), statusBar_(view_->statusBar(C::Status)) {
    view_->form().setCaption(upgradeTitle());
    progressBar_->setSmooth(true);
}

engine::SessionOptions UpgradeWindow::sessionOptions() const {
    return engine::SessionOptions::upgrade();
}

void UpgradeWindow::showPort(std::string_view name) {
    statusBar_.setPanelText(kPortPanel, name);
}

void UpgradeWindow::enablePortCommand(bool enabled) {
    serialPort_.setEnabled(enabled);
}

void UpgradeWindow::showRunning(bool running) {
    stopButton_.setVisible(running);
    startButton_.setVisible(!running);
}

void UpgradeWindow::showSearchTry(int attempt) {
    // This window counts down.
    progressBar_->setPosition(engine::kSearchTries - attempt);
    statusBar_.setPanelText(kActivityPanel, "Search Device");
}

void UpgradeWindow::showActivity(std::string_view text) {
    statusBar_.setPanelText(kActivityPanel, text);
}

void UpgradeWindow::showResult(const engine::Result& result) {
    showActivity(result.ok() ? "Program OK" : result.text());
    if (result.outcome() == engine::Outcome::UnsuitableBoard)
        statusBar_.setPanelText(kImagePanel, "not suitable apparatus");
    // Back to START after every end, failures included.
    showStart();
}

void UpgradeWindow::showStart() {
    showRunning(false);
    startButton_.setFocus();
}

void UpgradeWindow::onEvent(int control, ui::Event event) {
    if (event != ui::Event::Click) return;
    switch (control) {
    case C::Start:
        actions_.runUpdate();
        break;
    case C::Stop:
        // START at once, while the update runs on to its next wait.
        showRunning(false);
        actions_.stopUpdate();
        break;
    case C::SerialPort:
        actions_.showPortSetup();
        break;
    default:
        break;
    }
}

bool UpgradeWindow::onCloseRequest() {
    return actions_.closeRequested();
}

} // namespace app

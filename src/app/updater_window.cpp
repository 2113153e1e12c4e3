#include "app/updater_window.h"

#include "app/identity.h"
#include "firmware/board_catalogue.h"

#include <array>
#include <cstdio>
#include <string>

namespace app {
namespace {

using ui::Align;
using ui::Kind;
using C = UpdaterWindow::Control;

constexpr ui::Font kBold24{nullptr, 24, true};
constexpr std::array<int, 4> kPanels{50, 130, 100, 50};

constexpr ui::ControlDesc kControls[] = {
    {Kind::MenuCommand, C::ChangePort, "changePort", "&Change port", {}},
    {Kind::Button, C::Update, "update", "&Update", {8, 8, 75, 25}},
    {Kind::Button, C::Stop, "stop", "&Stop", {8, 8, 75, 25}, {}, false},
    {Kind::Picture,
     C::LargeLogo,
     "largeLogo",
     "logo-large",
     {396, 0, 109, 45},
     {},
     true,
     Align::Center},
    {Kind::Picture,
     C::SmallLogo,
     "smallLogo",
     "logo-small",
     {372, 0, 135, 44},
     {},
     false,
     Align::Center,
     ui::kNoParent,
     {},
     true},
    {Kind::Frame, C::IdentityFrame, "identityFrame", "", {8, 48, 497, 50}},
    {Kind::Label,
     C::Identity,
     "identity",
     "",
     {10, 51, 493, 45},
     {"Times", 40, true},
     true,
     Align::Center},
    {Kind::Frame, C::ResultFrame, "resultFrame", "", {8, 110, 497, 108}},
    {Kind::Label, C::BiosLine, "biosLine", "", {13, 119, 484, 29}, kBold24, false, Align::Center},
    {Kind::Label,
     C::BoardDescription,
     "boardDescription",
     "",
     {13, 156, 484, 20},
     {nullptr, 16, true},
     false,
     Align::Center},
    {Kind::Label, C::Banner, "banner", "", {13, 182, 484, 29}, kBold24, false, Align::Center},
    {Kind::ProgressBar, C::Progress, "progress", "", {8, 224, 497, 16}},
    {Kind::StatusBar,
     C::Status,
     "statusBar",
     "",
     {0, 0, 0, 19},
     {},
     true,
     Align::Left,
     ui::kNoParent,
     kPanels},
};

void showPlain(ui::Label& label, std::string_view text) {
    label.setText(text);
    label.setVisible(true);
    label.setColor(ui::kButtonFace);
    label.setFontColor(ui::kBlack);
    label.repaint();
}

} // namespace

const ui::FormDesc kUpdaterForm{
    "UpdaterWindow",    "Updater", 511,      265, {"MS Sans Serif", 11, false},
    ui::Border::Single, true,      kControls};

UpdaterWindow::UpdaterWindow(ui::Toolkit& toolkit, MainWindowActions& actions)
    : MainWindow(toolkit, kUpdaterForm, C::Progress), actions_(actions),
      changePort_(view_->menu(C::ChangePort)), updateButton_(view_->button(C::Update)),
      stopButton_(view_->button(C::Stop)), identity_(view_->label(C::Identity)),
      biosLine_(view_->label(C::BiosLine)), boardDescription_(view_->label(C::BoardDescription)),
      banner_(view_->label(C::Banner)), statusBar_(view_->statusBar(C::Status)) {
    const LogoChoice logos = logoRule(productIdentity());
    view_->picture(C::LargeLogo).setVisible(logos.first);
    view_->picture(C::SmallLogo).setVisible(logos.second);
    view_->form().setCaption(updaterTitle());
    identity_.setText(productIdentity());
}

engine::SessionOptions UpdaterWindow::sessionOptions() const {
    return engine::SessionOptions::updater();
}

void UpdaterWindow::showPort(std::string_view name) {
    statusBar_.setPanelText(kPortPanel, name);
}

void UpdaterWindow::enablePortCommand(bool enabled) {
    changePort_.setEnabled(enabled);
}

void UpdaterWindow::showRunning(bool running) {
    stopButton_.setVisible(running);
    updateButton_.setVisible(!running);
}

void UpdaterWindow::showSearchTry(int attempt) {
    char text[16];
    std::snprintf(text, sizeof text, "Try %d", attempt);
    statusBar_.setPanelText(kActivityPanel, text);
}

void UpdaterWindow::showActivity(std::string_view text) {
    statusBar_.setPanelText(kActivityPanel, text);
}

void UpdaterWindow::showDevice(std::string_view text) {
    statusBar_.setPanelText(kDevicePanel, text);
}

void UpdaterWindow::showBoard(const engine::BoardFound& board) {
    const engine::Identification& id = board.identification;
    const uint8_t boardIndex = board.fullIdentification ? id.boardIndex : lastImage_.boardIndex;
    const uint8_t preparation = board.fullIdentification ? id.preparation : lastImage_.preparation;
    char text[64];
    std::snprintf(text, sizeof text, "BIOS:%02x - %s - Preparation%02x", id.biosCode,
                  firmware::boardName(boardIndex), preparation);
    showPlain(biosLine_, text);

    if (!engine::sendsBoardRecord(id.biosCode)) {
        boardDescription_.setVisible(false);
        return;
    }
    // Erased memory on the board reads 0xFF: shown as no description.
    const char* description = board.record.description;
    const bool erased = static_cast<uint8_t>(description[0]) == 0xFF;
    showPlain(boardDescription_, erased ? std::string_view() : std::string_view(description));
}

void UpdaterWindow::showImageLoaded(const engine::LoadedImage& image) {
    statusBar_.setPanelText(kImagePanel, engine::loadedText(image));
}

void UpdaterWindow::showProgress(std::string_view text) {
    showBanner(text, ui::kButtonFace, ui::kBlack);
}

void UpdaterWindow::showFrame(int32_t address) {
    char text[32];
    std::snprintf(text, sizeof text, "Program %05d (%05x)", static_cast<int>(address),
                  static_cast<unsigned>(address));
    statusBar_.setPanelText(kActivityPanel, text);
}

void UpdaterWindow::showResend(int attempt) {
    statusBar_.setPanelText(kActivityPanel, engine::resendText(attempt));
    statusBar_.repaint();
}

void UpdaterWindow::showEepromByte(int32_t index) {
    char text[24];
    const std::string_view eeprom = engine::phaseText(engine::Phase::Eeprom);
    std::snprintf(text, sizeof text, "%.*s %d", static_cast<int>(eeprom.size()), eeprom.data(),
                  static_cast<int>(index));
    statusBar_.setPanelText(kActivityPanel, text);
}

void UpdaterWindow::showFailure(std::string_view text) {
    showBanner(text, ui::kRed, ui::kWhite);
    showIdleButtons();
}

void UpdaterWindow::showResult(const engine::Result& result) {
    using engine::Outcome;
    switch (result.outcome()) {
    case Outcome::Ok:
        showBanner(result.text(), ui::kGreen, ui::kWhite);
        showIdleButtons();
        return;
    case Outcome::DeviceNotFound:
        // Nothing answered: no result line.
        showActivity(result.text());
        showRunning(false);
        return;
    case Outcome::UnknownChip:
        showFailure(result.text());
        showDevice(engine::deviceText(nullptr));
        return;
    case Outcome::NoImage:
    case Outcome::ImageTooBig:
        showFailure(result.text());
        showDevice("Warning");
        return;
    case Outcome::UnsuitableBoard:
        showFailure(result.text());
        showDevice("Warning!!");
        statusBar_.setPanelText(kImagePanel, "not suitable apparatus");
        return;
    case Outcome::InvalidPort:
    case Outcome::NotResponse:
    case Outcome::UserAbort:
    case Outcome::ChecksumError:
    case Outcome::IncompatibleBootloader:
        showFailure(result.text());
        return;
    }
}

void UpdaterWindow::showBanner(std::string_view text, ui::Color colour, ui::Color fontColour) {
    banner_.setText(text);
    banner_.setVisible(true);
    banner_.setColor(colour);
    banner_.setFontColor(fontColour);
}

void UpdaterWindow::showIdleButtons() {
    changePort_.setEnabled(true);
    stopButton_.setVisible(false);
    updateButton_.setVisible(true);
    updateButton_.setFocus();
}

void UpdaterWindow::onEvent(int control, ui::Event event) {
    if (event == ui::Event::Click) {
        switch (control) {
        case C::Update:
            actions_.runUpdate();
            break;
        case C::Stop:
            stopButton_.setVisible(false);
            actions_.stopUpdate();
            break;
        case C::ChangePort:
            onChangePortChosen();
            break;
        default:
            break;
        }
    } else if (event == ui::Event::DblClick && control == C::Identity) {
        onIdentityDoubleClicked();
    }
}

void UpdaterWindow::onChangePortChosen() {
    // Both lines disappear before the dialog opens.
    banner_.setVisible(false);
    banner_.repaint();
    biosLine_.setVisible(false);
    biosLine_.repaint();
    actions_.showPortSetup();
}

void UpdaterWindow::onIdentityDoubleClicked() {
    actions_.showVersionDialog(identity_.text() + "   [ " + std::string(buildTimeText()) + " - " +
                               std::string(buildDateText()) + " ]");
}

bool UpdaterWindow::onCloseRequest() {
    return actions_.closeRequested();
}

} // namespace app

#include "app/session_presenter.h"

#include "app/application.h"
#include "app/updater_window.h"
#include "chips/chip_table.h"
#include "engine/session.h"

#include <cstdio>

namespace app {

SessionPresenter::SessionPresenter(Application& application, ui::ProgressBar& progressBar,
                                   ui::StatusBar& statusBar)
    : app_(application), progressBar_(progressBar), statusBar_(statusBar),
      upgrade_(application.upgradeMode()) {}

void SessionPresenter::searchStarted() {
    app_.showStopButton();
    progressBar_.setPosition(0);
    progressBar_.setSmooth(true);
    progressBar_.setMax(engine::kSearchTries);
}

void SessionPresenter::searchTry(int attempt) {
    if (upgrade_) {
        // The Upgrade window counts down.
        progressBar_.setPosition(engine::kSearchTries - attempt);
        statusBar_.setPanelText(kActivityPanel, "Search Device");
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "Try %d", attempt);
    statusBar_.setPanelText(kActivityPanel, text);
}

void SessionPresenter::searchEnded() { progressBar_.setPosition(0); }

void SessionPresenter::sessionStarted() {
    progressBar_.setPosition(0);
    progressBar_.setSmooth(false);
}

void SessionPresenter::boardFound(const engine::BoardFound& board) {
    board_ = board;
    boardKnown_ = true;
}

void SessionPresenter::showDevice(const char* text) {
    if (!upgrade_) statusBar_.setPanelText(kDevicePanel, text);
}

void SessionPresenter::chipNamed(const chips::Chip& chip) { showDevice(chip.statusText); }

void SessionPresenter::imageIdentified(const firmware::ImageIdentity& image) {
    if (UpdaterWindow* updater = app_.updaterWindow()) updater->rememberImage(image);
    refreshBoardLines();
}

void SessionPresenter::refreshBoardLines() {
    UpdaterWindow* updater = app_.updaterWindow();
    if (updater && boardKnown_) updater->showBoard(board_);
}

void SessionPresenter::imageLoaded(const engine::LoadedImage& image) {
    if (upgrade_) return;
    // The count is of program-memory addresses, as this text has always shown it.
    char text[64];
    std::snprintf(text, sizeof text, "Loaded %d bytes (%04X to %04X)",
                  static_cast<int>(image.bytes / image.addressUnit),
                  static_cast<unsigned>(image.firstAddress), static_cast<unsigned>(image.endAddress));
    statusBar_.setPanelText(kImagePanel, text);
}

void SessionPresenter::programModeEntry() {
    statusBar_.setPanelText(kActivityPanel, "Entry in PrgMode");
}

void SessionPresenter::programmingStarted() {
    app_.showStatusBanner(" Programming... ", ui::kButtonFace);
}

void SessionPresenter::flashStarted(int32_t maximum) {
    progressBar_.setPosition(0);
    progressBar_.setMax(maximum);
}

void SessionPresenter::frameStarted(int32_t address) {
    if (upgrade_) return;
    char text[32];
    std::snprintf(text, sizeof text, "Program %05d (%05x)", static_cast<int>(address),
                  static_cast<unsigned>(address));
    statusBar_.setPanelText(kActivityPanel, text);
}

void SessionPresenter::progress(int32_t position) { progressBar_.setPosition(position); }

void SessionPresenter::resend(int attempt) {
    // Always the Updater window's panel: in Upgrade mode that window is hidden.
    UpdaterWindow* updater = app_.updaterWindow();
    if (!updater) return;
    char text[24];
    std::snprintf(text, sizeof text, "Resend %d", attempt);
    updater->statusBar().setPanelText(kActivityPanel, text);
    updater->statusBar().repaint();
}

void SessionPresenter::fixFrame() { statusBar_.setPanelText(kActivityPanel, "Fix Program"); }

void SessionPresenter::eepromStarted(int32_t length) {
    progressBar_.setPosition(0);
    progressBar_.setMax(length);
}

void SessionPresenter::eepromByte(int32_t index) {
    if (upgrade_) return;
    char text[24];
    std::snprintf(text, sizeof text, "Program EEP %d", static_cast<int>(index));
    statusBar_.setPanelText(kActivityPanel, text);
}

void SessionPresenter::writeEnded() { progressBar_.setPosition(0); }

void SessionPresenter::finished(const engine::Result& result) {
    using engine::Outcome;
    switch (result.outcome()) {
    case Outcome::Ok:
        app_.showProgramOk();
        return;
    case Outcome::DeviceNotFound:
        // No result line and no datagram: nothing answered.
        statusBar_.setPanelText(kActivityPanel, result.text());
        app_.showUpdateButton();
        return;
    case Outcome::InvalidPort:
        app_.showErrorBanner(result.text(), ui::kRed, 0);
        app_.showUpdateButton();
        return;
    case Outcome::UnknownChip:
        app_.showErrorBanner(result.text(), ui::kRed, 0);
        showDevice("Unknow Device");
        return;
    case Outcome::NoImage:
    case Outcome::ImageTooBig:
        app_.showErrorBanner(result.text(), ui::kRed, 0);
        if (upgrade_) return;
        if (UpdaterWindow* updater = app_.updaterWindow())
            updater->statusBar().setPanelText(kDevicePanel, "Warning");
        refreshBoardLines();
        return;
    case Outcome::UnsuitableBoard:
        app_.showErrorBanner(result.text(), ui::kRed, 0);
        showDevice("Warning!!");
        statusBar_.setPanelText(kImagePanel, "not suitable apparatus");
        return;
    case Outcome::NotResponse:
    case Outcome::UserAbort:
    case Outcome::ChecksumError:
    case Outcome::IncompatibleBootloader:
        app_.showErrorBanner(result.text(), ui::kRed, 0);
        return;
    }
}

} // namespace app

// What the windows show of a running update: the engine's events turned into the texts,
// colours, buttons and result datagrams of the Updater and the Upgrade window.
#pragma once

#include "engine/observer.h"
#include "ui/widgets.h"

namespace app {

class Application;

class SessionPresenter final : public engine::SessionObserver {
public:
    // The progress bar and status bar of the window that started the update.
    SessionPresenter(Application& application, ui::ProgressBar& progressBar,
                     ui::StatusBar& statusBar);

    void searchStarted() override;
    void searchTry(int attempt) override;
    void searchEnded() override;
    void sessionStarted() override;
    void boardFound(const engine::BoardFound& board) override;
    void chipNamed(const chips::Chip& chip) override;
    void imageIdentified(const firmware::ImageIdentity& image) override;
    void imageLoaded(const engine::LoadedImage& image) override;
    void programModeEntry() override;
    void programmingStarted() override;
    void flashStarted(int32_t maximum) override;
    void frameStarted(int32_t address) override;
    void progress(int32_t position) override;
    void resend(int attempt) override;
    void fixFrame() override;
    void eepromStarted(int32_t length) override;
    void eepromByte(int32_t index) override;
    void writeEnded() override;
    void finished(const engine::Result& result) override;

private:
    // The device panel: the Upgrade window has none.
    void showDevice(const char* text);
    // The Updater window's BIOS and board description lines (also while it is hidden).
    void refreshBoardLines();

    Application& app_;
    ui::ProgressBar& progressBar_;
    ui::StatusBar& statusBar_;
    const bool upgrade_;
    bool boardKnown_ = false;
    engine::BoardFound board_;
};

} // namespace app

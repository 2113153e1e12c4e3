// The Upgrade window: the operator's front end of products whose identity carries an Upgrade
// code. One large START button, which turns into STOP while an update runs, a progress bar, a
// status bar and the "Serial Port" command. What the Updater window shows in its large lines
// shows here, if at all, in the activity panel.
#pragma once

#include "app/main_window.h"

namespace app {

extern const ui::FormDesc kUpgradeForm;

class UpgradeWindow final : public MainWindow {
public:
    enum Control : int { SerialPort, ButtonPanel, Start, Stop, Progress, Status };

    UpgradeWindow(ui::Toolkit& toolkit, MainWindowActions& actions);

    engine::SessionOptions sessionOptions() const override;
    void showPort(std::string_view name) override;
    void enablePortCommand(bool enabled) override;
    void showRunning(bool running) override;
    void showSearchTry(int attempt) override;
    void showActivity(std::string_view text) override;
    void showProgress(std::string_view text) override { showActivity(text); }
    void showFailure(std::string_view text) override { showActivity(text); }
    void showResult(const engine::Result& result) override;

    // The device, the board, the image and the steps of the writing are not shown here.
    void showDevice(std::string_view) override {}
    void rememberImage(const firmware::ImageIdentity&) override {}
    void showBoard(const engine::BoardFound&) override {}
    void showImageLoaded(const engine::LoadedImage&) override {}
    void showFrame(int32_t) override {}
    void showResend(int) override {}
    void showEepromByte(int32_t) override {}

    void onEvent(int control, ui::Event event) override;
    bool onCloseRequest() override;

private:
    void showStart(); // START shown and focused, STOP hidden

    MainWindowActions& actions_;
    ui::MenuCommand& serialPort_;
    ui::Button& startButton_;
    ui::Button& stopButton_;
    ui::StatusBar& statusBar_;
};

} // namespace app

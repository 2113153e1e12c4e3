// The Upgrade window: the operator's front end of products whose identity carries an Upgrade
// code. One large START button, which turns into STOP while an update runs, a progress bar, a
// status bar and the "Serial Port" command.
#pragma once

#include "ui/toolkit.h"

#include <memory>
#include <string_view>

namespace app {

class Application;

extern const ui::FormDesc kUpgradeForm;

class UpgradeWindow final : public ui::FormHandler {
public:
    enum Control : int { SerialPort, ButtonPanel, Start, Stop, Progress, Status };

    explicit UpgradeWindow(Application& application);

    ui::FormView& view() { return *view_; }
    ui::StatusBar& statusBar() { return statusBar_; }

    // The banners of the status functions land in the activity panel.
    void showActivity(std::string_view text);
    void showRunning(bool running);
    void showStart(); // START shown and focused, STOP hidden

    void onEvent(int control, ui::Event event) override;
    bool onCloseRequest() override;

    void onStartClicked();
    void onStopClicked();
    void onSerialPortChosen();

private:
    Application& app_;
    std::unique_ptr<ui::FormView> view_;
    ui::MenuCommand& serialPort_;
    ui::Button& startButton_;
    ui::Button& stopButton_;
    ui::ProgressBar& progressBar_;
    ui::StatusBar& statusBar_;
    bool closePending_ = false;
};

} // namespace app

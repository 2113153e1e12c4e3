// The Updater window: the main window of every product without an Upgrade code. It shows the
// product identity, the port, the progress of a search and of a session, the board found and
// one large coloured result line; "&Update" starts an update, "&Stop" stops it, and its menu
// command opens the Port setup dialog.
#pragma once

#include "engine/observer.h"
#include "firmware/image_table.h"
#include "ui/toolkit.h"

#include <memory>
#include <string_view>

namespace app {

class Application;

extern const ui::FormDesc kUpdaterForm;

class UpdaterWindow final : public ui::FormHandler {
public:
    enum Control : int {
        ChangePort,
        Update,
        Stop,
        LargeLogo,
        SmallLogo,
        IdentityFrame,
        Identity,
        ResultFrame,
        BiosLine,
        BoardDescription,
        Banner,
        Progress,
        Status,
    };

    explicit UpdaterWindow(Application& application);

    ui::FormView& view() { return *view_; }
    ui::StatusBar& statusBar() { return statusBar_; }
    ui::ProgressBar& progressBar() { return progressBar_; }

    // The window's share of the status functions.
    void showBanner(std::string_view text, ui::Color colour, ui::Color fontColour);
    void showIdleButtons(); // "&Change port" enabled, Stop hidden, Update shown and focused
    void showRunning(bool running);

    // The BIOS line and the board description line for the board just found. An older
    // bootloader names no board: the line then shows the board of the image last read.
    void rememberImage(const firmware::ImageIdentity& image) { lastImage_ = image; }
    void showBoard(const engine::BoardFound& board);

    void onEvent(int control, ui::Event event) override;
    bool onCloseRequest() override;

    void onUpdateClicked();
    void onStopClicked();
    void onChangePortChosen();
    void onIdentityDoubleClicked();

private:
    Application& app_;
    std::unique_ptr<ui::FormView> view_;
    ui::MenuCommand& changePort_;
    ui::Button& updateButton_;
    ui::Button& stopButton_;
    ui::Label& identity_;
    ui::Label& biosLine_;
    ui::Label& boardDescription_;
    ui::Label& banner_;
    ui::ProgressBar& progressBar_;
    ui::StatusBar& statusBar_;
    firmware::ImageIdentity lastImage_;
    bool closePending_ = false;
};

} // namespace app

// The Updater window: the main window of every product without an Upgrade code. It shows the
// product identity, the port, the progress of a search and of a session, the board found and
// one large coloured result line; "&Update" starts an update, "&Stop" stops it, and its menu
// command opens the Port setup dialog.
#pragma once

#include "app/main_window.h"

namespace app {

extern const ui::FormDesc kUpdaterForm;

class UpdaterWindow final : public MainWindow {
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

    UpdaterWindow(ui::Toolkit& toolkit, MainWindowActions& actions);

    engine::SessionOptions sessionOptions() const override;
    void showPort(std::string_view name) override;
    void enablePortCommand(bool enabled) override;
    void showRunning(bool running) override;
    void showSearchTry(int attempt) override;
    void showActivity(std::string_view text) override;
    void showDevice(std::string_view text) override;
    void rememberImage(const firmware::ImageIdentity& image) override { lastImage_ = image; }
    void showBoard(const engine::BoardFound& board) override;
    void showImageLoaded(const engine::LoadedImage& image) override;
    void showProgress(std::string_view text) override;
    void showFrame(int32_t address) override;
    void showResend(int attempt) override;
    void showEepromByte(int32_t index) override;
    void showFailure(std::string_view text) override;
    void showResult(const engine::Result& result) override;

    void onEvent(int control, ui::Event event) override;
    bool onCloseRequest() override;

private:
    void showBanner(std::string_view text, ui::Color colour, ui::Color fontColour);
    void showIdleButtons(); // "&Change port" enabled, Stop hidden, Update shown and focused
    void onChangePortChosen();
    void onIdentityDoubleClicked();

    MainWindowActions& actions_;
    ui::MenuCommand& changePort_;
    ui::Button& updateButton_;
    ui::Button& stopButton_;
    ui::Label& identity_;
    ui::Label& biosLine_;
    ui::Label& boardDescription_;
    ui::Label& banner_;
    ui::StatusBar& statusBar_;
    firmware::ImageIdentity lastImage_;
};

} // namespace app

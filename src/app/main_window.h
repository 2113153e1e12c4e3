// The main window of a run: the Updater window, or for products with an Upgrade code the
// Upgrade window. Both show the same things, each in its own way; nothing outside them needs
// to know which of the two runs.
#pragma once

#include "engine/observer.h"
#include "engine/session.h"
#include "ui/toolkit.h"

#include <memory>
#include <string_view>

namespace app {

// Status-bar panels, the same in both main windows.
inline constexpr int kPortPanel = 0;     // "COM5" or "-----"
inline constexpr int kActivityPanel = 1; // search and write progress
inline constexpr int kDevicePanel = 2;   // the chip found (the Updater window only)
inline constexpr int kImagePanel = 3;    // the image loaded

// What a main window's commands ask of the program.
class MainWindowActions {
public:
    virtual ~MainWindowActions() = default;
    // One update with this window; nothing while one runs.
    virtual void runUpdate() = 0;
    // The running update ends at its next wait with " User Abort !! ".
    virtual void stopUpdate() = 0;
    virtual void showPortSetup() = 0;
    virtual void showVersionDialog(std::string_view caption) = 0;
    // The window's close button: false keeps it open for now (an update is stopped first).
    virtual bool closeRequested() = 0;
};

class MainWindow : public ui::FormHandler {
public:
    ui::FormView& view() { return *view_; }
    // The search and rules of this window's boards.
    virtual engine::SessionOptions sessionOptions() const = 0;
    // The bar that follows the search and the writing.
    ui::ProgressBar& progressBar() { return *progressBar_; }

    // The port of the next update ("COM5", "-----").
    virtual void showPort(std::string_view name) = 0;
    // While an update runs the port command is disabled and Stop is offered.
    virtual void enablePortCommand(bool enabled) = 0;
    virtual void showRunning(bool running) = 0;

    virtual void showSearchTry(int attempt) = 0;
    // A step both windows name (engine::phaseText): "Entry in PrgMode", "Fix Program".
    virtual void showActivity(std::string_view text) = 0;
    virtual void showDevice(std::string_view text) = 0;
    // An older bootloader names no board: the board lines then name the image's board.
    virtual void rememberImage(const firmware::ImageIdentity& image) = 0;
    virtual void showBoard(const engine::BoardFound& board) = 0;
    virtual void showImageLoaded(const engine::LoadedImage& image) = 0;
    // The neutral progress line (" Programming... ").
    virtual void showProgress(std::string_view text) = 0;
    virtual void showFrame(int32_t address) = 0;
    virtual void showResend(int attempt) = 0;
    virtual void showEepromByte(int32_t index) = 0;

    // A failure in the result line: red, and the window ready for the next update.
    virtual void showFailure(std::string_view text) = 0;
    // How the update ended; the last call of every update.
    virtual void showResult(const engine::Result& result) = 0;

protected:
    MainWindow(ui::Toolkit& toolkit, const ui::FormDesc& form, int progressBarId);

    std::unique_ptr<ui::FormView> view_;
    ui::ProgressBar* progressBar_;
};

// The main window that the product identity calls for.
std::unique_ptr<MainWindow> makeMainWindow(std::string_view identity, ui::Toolkit& toolkit,
                                           MainWindowActions& actions);

} // namespace app

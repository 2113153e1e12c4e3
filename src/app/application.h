// One run of the windowed program: the context that the windows share. It holds the windows,
// the host notifier, the serial port and the user's choice of port, and runs the updates that
// the windows start. Nothing of it is program-wide: tests run it again and again.
#pragma once

#include "firmware/image_table.h"
#include "serial/port_list.h"
#include "ui/toolkit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace engine {
class Session;
}
namespace notify {
class HostNotifier;
}
namespace serial {
class SerialPort;
struct PortError;
} // namespace serial

namespace app {

class UpdaterWindow;
class UpgradeWindow;

// Status-bar panels, the same in both main windows.
inline constexpr int kPortPanel = 0;     // "COM5" or "-----"
inline constexpr int kActivityPanel = 1; // search and write progress
inline constexpr int kDevicePanel = 2;   // the chip found (the Updater window only)
inline constexpr int kImagePanel = 3;    // the image loaded
class PortSetupDialog;
class VersionDialog;

// The operating-system services the windows use; tests put simulated ones in their place.
struct Platform {
    std::unique_ptr<serial::SerialPort> port;
    std::function<std::vector<serial::PortDescription>()> listPorts;
};

class Application {
public:
    Application(ui::Toolkit& toolkit, int argc, const char* const* argv, Platform platform);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The whole run: single instance, windows, event loop. Always 0.
    int run();

    ui::Toolkit& toolkit() { return toolkit_; }
    const firmware::ImageTable& images() const;
    // The product's identity carries an Upgrade code: the Upgrade window is the main window.
    bool upgradeMode() const { return upgrade_; }
    UpdaterWindow* updaterWindow() { return updaterWindow_.get(); }

    // The steps every main window runs while it is created: the host notifier (when the first
    // argument is the "\P" switch), the caption and the application title, the stored port and
    // the port panel.
    void startHostNotifier();
    void setTitles(ui::Form& form, const std::string& caption);
    void loadStoredPort(ui::StatusBar& statusBar);

    // The user's choice: port number n is COM(n+1); below 0 is no port ("-----").
    int16_t selectedPort() const { return selectedPort_; }
    // The Port setup dialog's "&Ok": a new choice is opened at once.
    void choosePort(int16_t port);
    void showPortPanel(ui::StatusBar& statusBar) const;
    std::vector<serial::PortDescription> listPorts() const { return platform_.listPorts(); }

    // Runs one update (search, then the session when a board answered) with the calling
    // window's controls. The port commands are disabled while it runs, since choosing another
    // port would reopen it under the update. Does nothing while an update runs.
    void runUpdate(ui::ProgressBar& progressBar, ui::StatusBar& statusBar,
                   ui::MenuCommand& portCommand);
    bool updating() const { return busy_; }
    // Stop: the running update ends at its next wait with " User Abort !! ".
    void stopUpdate();

    // Close request of a main window. During an update it stops the update and answers false,
    // noting in closePending that the window is to close once the update has ended. Otherwise
    // it closes the port and stores the chosen one (a failure to store is shown; the window
    // closes all the same) and answers true.
    bool requestMainWindowClose(bool& closePending);

    void showPortSetup();
    void showVersionDialog(std::string_view caption);

    // The status functions: a coloured result line in the Updater window (which also sends the
    // result code to the launching program and puts the idle buttons back), the neutral
    // progress line, and the buttons' switch; in Upgrade mode all of it goes to the Upgrade
    // window's activity panel and its START/STOP buttons.
    void showErrorBanner(std::string_view text, ui::Color colour, uint8_t resultCode);
    void showStatusBanner(std::string_view text, ui::Color colour);
    void showStopButton();
    void showUpdateButton();
    void showProgramOk();

private:
    // Opens the chosen port unless it is open already; says why when it cannot be.
    void openSelectedPort();
    void explainPortFailure(const serial::PortError& error, const std::string& name);
    void createWindows();

    ui::Toolkit& toolkit_;
    int argc_;
    const char* const* argv_;
    Platform platform_;
    const bool upgrade_;
    std::unique_ptr<notify::HostNotifier> notifier_;
    std::unique_ptr<UpgradeWindow> upgradeWindow_;
    std::unique_ptr<UpdaterWindow> updaterWindow_;
    std::unique_ptr<PortSetupDialog> portSetup_;
    std::unique_ptr<VersionDialog> versionDialog_;
    int16_t selectedPort_ = 0;
    int16_t openedPort_ = -1;              // the choice the port was last opened for
    std::set<std::string> latencyToldFor_; // ports whose slow adapter has been pointed out
    bool busy_ = false;
    engine::Session* running_ = nullptr;
};

// The program's start-up, shared by the front ends: Application::run.
int runApplication(ui::Toolkit& toolkit, int argc, const char* const* argv, Platform platform);

} // namespace app

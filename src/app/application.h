// One run of the windowed program: the context that the windows share. It holds the windows,
// the system's services, the serial port and the user's choice of port, and runs the updates
// that the main window starts. Nothing of it is program-wide: tests run it again and again.
#pragma once

#include "app/main_window.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "firmware/image_table.h"
#include "notify/host_notifier.h"
#include "serial/listing/port_list.h"
#include "serial/serial_port.h"
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

namespace app {

class PortSetupDialog;
class VersionDialog;

// The operating-system services the windows use; the entry point fills it, and tests put
// simulated ones in their place.
struct Platform {
    std::unique_ptr<serial::SerialPort> port;
    std::function<std::vector<serial::PortDescription>()> listPorts;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<InstanceLock> instanceLock;
    // Binds the result notifier when the run asks for one; throws notify::BindError.
    std::function<std::unique_ptr<notify::ResultNotifier>()> startNotifier;
};

// This system's port, port listing (their links in `links`), settings store, instance lock and
// notifier.
Platform systemPlatform(const serial::PortLinks& links);

class Application final : private MainWindowActions {
public:
    Application(ui::Toolkit& toolkit, int argc, const char* const* argv, Platform platform);
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The whole run: single instance, start-up, windows, event loop. Always 0.
    int run();

    ui::Toolkit& toolkit() { return toolkit_; }
    const firmware::ImageTable& images() const;

    // The user's choice: port number n is COM(n+1); below 0 is no port ("-----").
    int16_t selectedPort() const { return selectedPort_; }
    // The Port setup dialog's "&Ok": a new choice is opened at once.
    void choosePort(int16_t port);
    std::vector<serial::PortDescription> listPorts() const { return platform_.listPorts(); }
    // While an update runs, the port commands are disabled: another port would be opened under
    // the update.
    bool updating() const { return busy_; }

private:
    // What the main window's commands do.
    void runUpdate() override;
    void stopUpdate() override;
    void showPortSetup() override;
    void showVersionDialog(std::string_view caption) override;
    // During an update it stops the update and answers false, and the window closes once the
    // update has ended. Otherwise it closes the port and stores the chosen one (a failure to
    // store is shown; the window closes all the same) and answers true.
    bool closeRequested() override;

    // The services the windows rely on: the host notifier (when the first argument is the "\P"
    // switch), the application title and the stored port.
    void startUp();
    void createWindows();
    // Opens the chosen port unless it is open already; says why when it cannot be.
    void openSelectedPort();
    void explainPortFailure(const serial::PortError& error, const std::string& name);
    std::string portPanelText() const;

    ui::Toolkit& toolkit_;
    int argc_;
    const char* const* argv_;
    Platform platform_;
    std::unique_ptr<notify::ResultNotifier> notifier_;
    std::unique_ptr<MainWindow> mainWindow_;
    std::unique_ptr<PortSetupDialog> portSetup_;
    std::unique_ptr<VersionDialog> versionDialog_;
    int16_t selectedPort_ = 0;
    int16_t openedPort_ = -1;              // the choice the port was last opened for
    std::set<std::string> latencyToldFor_; // ports whose slow adapter has been pointed out
    bool busy_ = false;
    bool closeAfterUpdate_ = false;
    engine::Session* running_ = nullptr;
};

// The program's start-up, shared by the front ends: Application::run.
int runApplication(ui::Toolkit& toolkit, int argc, const char* const* argv, Platform platform);

} // namespace app

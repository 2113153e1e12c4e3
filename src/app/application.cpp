#include "app/application.h"

#include "app/identity.h"
#include "app/port_setup_dialog.h"
#include "app/session_presenter.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "app/updater_window.h"
#include "app/upgrade_window.h"
#include "app/version_dialog.h"
#include "engine/session.h"
#include "firmware/product.h"
#include "notify/host_notifier.h"
#include "serial/serial_port.h"

#include <cstdio>
#include <exception>

namespace app {
namespace {

// Each 5 ms step of a wait serves the window events (Stop, repaints, the dialogs), since the
// update runs inside a click handler on the window thread. They are served before the step
// waits, so that an answer arriving during the wait is read at once rather than after them.
class WindowWait final : public engine::WaitStrategy {
public:
    explicit WindowWait(ui::Toolkit& toolkit) : toolkit_(toolkit) {}
    void step(serial::SerialPort& port) override {
        toolkit_.processEvents();
        port.waitReadable(engine::kStepMs);
    }

private:
    ui::Toolkit& toolkit_;
};

// "COM<n+1>"; no name for a negative port number (no port chosen).
std::string portName(int16_t port) {
    return port < 0 ? std::string() : "COM" + std::to_string(port + 1);
}

} // namespace

Application::Application(ui::Toolkit& toolkit, int argc, const char* const* argv, Platform platform)
    : toolkit_(toolkit), argc_(argc), argv_(argv), platform_(std::move(platform)),
      upgrade_(hasUpgradeCode(productIdentity())) {}

Application::~Application() = default;

const firmware::ImageTable& Application::images() const {
    return firmware::thisProduct().images;
}

int Application::run() {
    SingleInstance instance;
    if (!instance.acquire()) {
        toolkit_.messageBox("Already in progress", updaterTitle(), ui::MessageBoxStyle::TopMost);
        return 0;
    }
    ui::FormView* mainView = nullptr;
    try {
        createWindows();
        mainView = upgrade_ ? &upgradeWindow_->view() : &updaterWindow_->view();
    } catch (const std::exception& failure) {
        toolkit_.messageBox(failure.what(), "");
    } catch (...) {
        toolkit_.messageBox("", "");
    }
    if (mainView) {
        mainView->form().show();
        toolkit_.run(*mainView);
    }
    return 0;
}

void Application::createWindows() {
    // The Upgrade window comes first, so that it is the main window of the run.
    if (upgrade_) upgradeWindow_ = std::make_unique<UpgradeWindow>(*this);
    updaterWindow_ = std::make_unique<UpdaterWindow>(*this);
    portSetup_ = std::make_unique<PortSetupDialog>(*this);
    versionDialog_ = std::make_unique<VersionDialog>(*this);
}

void Application::startHostNotifier() {
    if (notifier_ || !hasNotifierSwitch(argc_, argv_)) return;
    auto notifier = std::make_unique<notify::HostNotifier>(notify::kLocalPort);
    notifier->activate();
    notifier_ = std::move(notifier);
}

void Application::setTitles(ui::Form& form, const std::string& caption) {
    form.setCaption(caption);
    toolkit_.setApplicationTitle(productIdentity());
}

void Application::loadStoredPort(ui::StatusBar& statusBar) {
    const std::string stored = readSetting("com");
    selectedPort_ = stored.empty() ? 0 : leadingNumber(stored);
    // One below the choice, so that the first update opens the port.
    openedPort_ = static_cast<int16_t>(selectedPort_ - 1);
    showPortPanel(statusBar);
}

void Application::showPortPanel(ui::StatusBar& statusBar) const {
    statusBar.setPanelText(kPortPanel, selectedPort_ < 0 ? "-----" : portName(selectedPort_));
}

void Application::openSelectedPort() {
    serial::SerialPort& port = *platform_.port;
    // The same choice is left alone only while its port really is open: a port that failed or
    // went away is tried again, so plugging the adapter in late needs no other choice.
    if (openedPort_ == selectedPort_ && port.usable()) return;
    openedPort_ = selectedPort_;
    const std::string name = portName(selectedPort_);
    if (const serial::PortError error = port.open(name)) {
        explainPortFailure(error, name);
        return;
    }
    // An adapter that holds every reply back slows each frame down: said once a port, on
    // standard error, for whoever looks into why updates are slow.
    const std::optional<serial::AdapterLatency> latency = port.adapterLatency();
    if (latency && latency->timerMs > serial::kLowLatencyMs && latencyToldFor_.insert(name).second)
        std::fprintf(stderr,
                     "trevane: %s: the adapter's latency timer is %d ms, and every reply of the "
                     "board waits for it. Fix: %s\n",
                     name.c_str(), latency->timerMs, latency->fix.c_str());
}

void Application::explainPortFailure(const serial::PortError& error, const std::string& name) {
    using Kind = serial::PortError::Kind;
    switch (error.kind) {
    case Kind::None:
    case Kind::InvalidName: // no port chosen: the result line says it all
        return;
    case Kind::Configure:
        toolkit_.messageBox("Unable to configure the serial port", "Error");
        return;
    case Kind::Timeouts:
        toolkit_.messageBox("Unable to set the time-out parameters", "Error");
        return;
    case Kind::NotFound: // the adapter is not plugged in: common, and the result line says so
        std::fprintf(stderr, "trevane: %s\n", serial::describe(error, name).c_str());
        return;
    case Kind::PermissionDenied:
    case Kind::Busy:
    case Kind::Failed:
        toolkit_.messageBox(serial::describe(error, name), "Error");
        return;
    }
}

void Application::choosePort(int16_t port) {
    if (port == selectedPort_) return;
    selectedPort_ = port;
    openSelectedPort();
    if (!platform_.port->isOpen()) showErrorBanner("Invalid Port Com", ui::kRed, 0);
}

void Application::runUpdate(ui::ProgressBar& progressBar, ui::StatusBar& statusBar,
                            ui::MenuCommand& portCommand) {
    if (busy_) return; // one update at a time
    busy_ = true;
    portCommand.setEnabled(false);
    portSetup_->setConfirmEnabled(false);

    openSelectedPort();
    showPortPanel(statusBar);
    SessionPresenter presenter(*this, progressBar, statusBar);
    WindowWait wait(toolkit_);
    engine::Session session(*platform_.port, images(),
                            upgrade_ ? engine::SessionOptions::upgrade()
                                     : engine::SessionOptions::updater(),
                            wait, presenter);
    running_ = &session;
    const engine::Result result = session.run();
    running_ = nullptr;
    if (result.cause() == engine::Cause::PortGone)
        std::fprintf(stderr, "trevane: %s: the adapter was removed at %d %%\n",
                     portName(selectedPort_).c_str(), result.percentDone());

    portSetup_->setConfirmEnabled(true);
    portCommand.setEnabled(true);
    busy_ = false;
}

void Application::stopUpdate() {
    if (running_) running_->requestAbort();
}

bool Application::requestMainWindowClose(bool& closePending) {
    if (busy_) {
        closePending = true;
        stopUpdate();
        return false;
    }
    // Only the port of the current choice can be open.
    platform_.port->close();
    try {
        writeSetting("com", std::to_string(selectedPort_));
    } catch (const Failure& failure) {
        toolkit_.messageBox(failure.what(), "");
    }
    return true;
}

void Application::showPortSetup() {
    portSetup_->show();
}

void Application::showVersionDialog(std::string_view caption) {
    versionDialog_->show(caption);
}

void Application::showErrorBanner(std::string_view text, ui::Color colour, uint8_t resultCode) {
    // The launching program hears of the result first, whichever window shows it.
    if (notifier_) notifier_->sendResultCode(resultCode);
    if (upgrade_) {
        if (upgradeWindow_) upgradeWindow_->showActivity(text);
        return;
    }
    if (updaterWindow_) {
        updaterWindow_->showBanner(text, colour, ui::kWhite);
        updaterWindow_->showIdleButtons();
    }
}

void Application::showStatusBanner(std::string_view text, ui::Color colour) {
    if (upgrade_) {
        if (upgradeWindow_) upgradeWindow_->showActivity(text);
        return;
    }
    if (updaterWindow_) updaterWindow_->showBanner(text, colour, ui::kBlack);
}

void Application::showStopButton() {
    if (upgrade_) {
        if (upgradeWindow_) upgradeWindow_->showRunning(true);
    } else if (updaterWindow_) {
        updaterWindow_->showRunning(true);
    }
}

void Application::showUpdateButton() {
    if (upgrade_) {
        if (upgradeWindow_) upgradeWindow_->showRunning(false);
    } else if (updaterWindow_) {
        updaterWindow_->showRunning(false);
    }
}

void Application::showProgramOk() {
    if (!upgrade_) {
        showErrorBanner(" Program Ok ", ui::kGreen, 1);
        return;
    }
    // A launching program waits for the result in this window too.
    if (notifier_) notifier_->sendResultCode(1);
    if (upgradeWindow_) {
        upgradeWindow_->showActivity("Program OK");
        upgradeWindow_->showStart();
    }
}

int runApplication(ui::Toolkit& toolkit, int argc, const char* const* argv, Platform platform) {
    Application application(toolkit, argc, argv, std::move(platform));
    return application.run();
}

} // namespace app

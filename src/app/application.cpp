#include "app/application.h"

#include "app/identity.h"
#include "app/port_setup_dialog.h"
#include "app/session_presenter.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "app/version_dialog.h"
#include "engine/session.h"
#include "firmware/product.h"
#include "notify/host_notifier.h"
#include "serial/listing/adapter_facts.h"
#include "serial/port_name.h"
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
    return port < 0 ? std::string() : serial::comName(port + 1);
}

} // namespace

Application::Application(ui::Toolkit& toolkit, int argc, const char* const* argv, Platform platform)
    : toolkit_(toolkit), argc_(argc), argv_(argv), platform_(std::move(platform)) {}

Application::~Application() = default;

const firmware::ImageTable& Application::images() const {
    return firmware::thisProduct().images;
}

int Application::run() {
    if (!platform_.instanceLock->acquire()) {
        toolkit_.messageBox("Already in progress", updaterTitle(), ui::MessageBoxStyle::TopMost);
        return 0;
    }
    try {
        startUp();
        createWindows();
    } catch (const std::exception& failure) {
        toolkit_.messageBox(failure.what(), "");
        return 0;
    } catch (...) {
        toolkit_.messageBox("", "");
        return 0;
    }
    ui::FormView& main = mainWindow_->view();
    main.form().show();
    toolkit_.run(main);
    return 0;
}

void Application::startUp() {
    if (hasNotifierSwitch(argc_, argv_)) notifier_ = platform_.startNotifier();
    toolkit_.setApplicationTitle(productIdentity());
    const std::string stored = platform_.settings->read("com");
    selectedPort_ = stored.empty() ? 0 : leadingNumber(stored);
    // One below the choice, so that the first update opens the port.
    openedPort_ = static_cast<int16_t>(selectedPort_ - 1);
}

void Application::createWindows() {
    mainWindow_ = makeMainWindow(productIdentity(), toolkit_, *this);
    mainWindow_->showPort(portPanelText());
    portSetup_ = std::make_unique<PortSetupDialog>(*this);
    versionDialog_ = std::make_unique<VersionDialog>(*this);
}

std::string Application::portPanelText() const {
    return selectedPort_ < 0 ? "-----" : portName(selectedPort_);
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
    const std::optional<std::string> advice = serial::latencyAdvice(name, port.adapterLatency());
    if (advice && latencyToldFor_.insert(name).second)
        std::fprintf(stderr, "trevane: %s\n", advice->c_str());
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
    if (platform_.port->isOpen()) return;
    if (notifier_) notifier_->sendResultCode(0);
    mainWindow_->showFailure(engine::fixedText(engine::Outcome::InvalidPort));
}

void Application::runUpdate() {
    if (busy_) return; // one update at a time
    busy_ = true;
    mainWindow_->enablePortCommand(false);
    portSetup_->setConfirmEnabled(false);

    openSelectedPort();
    mainWindow_->showPort(portPanelText());
    SessionPresenter presenter(*mainWindow_, notifier_.get());
    WindowWait wait(toolkit_);
    engine::Session session(*platform_.port, images(), mainWindow_->sessionOptions(), wait,
                            presenter);
    running_ = &session;
    const engine::Result result = session.run();
    running_ = nullptr;
    if (result.cause() == engine::Cause::PortGone)
        std::fprintf(stderr, "trevane: %s: the adapter was removed at %d %%\n",
                     portName(selectedPort_).c_str(), result.percentDone());

    portSetup_->setConfirmEnabled(true);
    mainWindow_->enablePortCommand(true);
    busy_ = false;
    if (closeAfterUpdate_) mainWindow_->view().form().close();
}

void Application::stopUpdate() {
    if (running_) running_->requestAbort();
}

bool Application::closeRequested() {
    if (busy_) {
        closeAfterUpdate_ = true;
        stopUpdate();
        return false;
    }
    // Only the port of the current choice can be open.
    platform_.port->close();
    try {
        platform_.settings->write("com", std::to_string(selectedPort_));
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

int runApplication(ui::Toolkit& toolkit, int argc, const char* const* argv, Platform platform) {
    Application application(toolkit, argc, argv, std::move(platform));
    return application.run();
}

} // namespace app

#include "app/program.h"

#include "app/identity.h"
#include "app/serialsetup.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "app/status.h"
#include "app/trevane.h"
#include "app/zedir.h"
#include "firmware/image_table.h"
#include "firmware/version.h"
#include "notify/host_notifier.h"
#include "protocol/link_state.h"
#include "protocol/search.h"
#include "protocol/session.h"
#include "serial/port_driver.h"

#include <string>

namespace app {

Program program;

namespace {

void pumpEvents() {
    if (program.toolkit) program.toolkit->processEvents();
}

void showDriverMessage(const char* text, const char* caption) {
    if (program.toolkit) program.toolkit->messageBox(text, caption);
}

// Everything the run creates, destroyed in reverse order when the run ends.
struct Windows {
    std::unique_ptr<notify::HostNotifier> notifier;
    std::unique_ptr<TForm5> form5;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<firmware::TForm4> form4;
};

Windows* windows = nullptr;

} // namespace

void startHostNotifier() {
    if (program.notifier || !hasNotifierSwitch(program.argc, program.argv)) return;
    auto notifier = std::make_unique<notify::HostNotifier>(notify::kLocalPort);
    notifier->activate();
    program.notifier = notifier.get();
    if (windows) windows->notifier = std::move(notifier);
}

void setTitles(ui::Form& form, const std::string& caption) {
    form.setCaption(caption);
    program.toolkit->setApplicationTitle(productIdentity());
}

void loadPortAndImages(ui::StatusBar& statusBar) {
    const std::string stored = readSetting("com");
    protocol::link.selectedPort = stored.empty() ? 0 : leadingNumber(stored);
    protocol::link.openedPort = static_cast<int16_t>(protocol::link.selectedPort - 1);
    firmware::buildImageTable();
    protocol::showPortPanel(statusBar);
}

bool requestMainWindowClose(bool& closePending) {
    if (program.busy) {
        closePending = true;
        protocol::link.abortRequest = 1;
        return false;
    }
    if (protocol::link.openedPort == protocol::link.selectedPort)
        serial::closePort(protocol::link.selectedPort);
    try {
        writeSetting("com", std::to_string(protocol::link.selectedPort));
    } catch (const Failure& failure) {
        program.toolkit->messageBox(failure.what(), "");
    }
    return true;
}

void runUpdate(ui::ProgressBar& progressBar, ui::StatusBar& statusBar, ui::MenuCommand& portCommand) {
    // A Port setup dialog left open would otherwise reopen the port under the update.
    ui::Button* confirmPort = program.Form3 ? &program.Form3->view().button("Button1") : nullptr;
    program.busy = true;
    // A Stop pressed while nothing waited for it (during the board record wait of a session
    // that then ended early) belongs to that update, not to this one.
    protocol::link.abortRequest = 0;
    portCommand.setEnabled(false);
    if (confirmPort) confirmPort->setEnabled(false);
    if (protocol::searchDevice(progressBar, statusBar) == 0)
        protocol::runProgrammingSession(progressBar, statusBar);
    if (confirmPort) confirmPort->setEnabled(true);
    portCommand.setEnabled(true);
    program.busy = false;
}

int runApplication(ui::Toolkit& toolkit, int argc, const char* const* argv) {
    SingleInstance instance;
    if (!instance.acquire()) {
        toolkit.messageBox("Already in progress", updaterTitle(), ui::MessageBoxStyle::TopMost);
        return 0;
    }

    program = Program{};
    program.toolkit = &toolkit;
    program.argc = argc;
    program.argv = argv;
    protocol::resetLinkState();
    StatusFunctions status;
    protocol::setReporter(&status);
    serial::setEventPump(&pumpEvents);
    serial::setMessageHook(&showDriverMessage);

    Windows created;
    windows = &created;
    ui::FormView* mainView = nullptr;
    try {
        if (hasUpgradeCode(productIdentity())) {
            created.form5 = std::make_unique<TForm5>(toolkit);
            mainView = &created.form5->view();
        }
        created.form1 = std::make_unique<TForm1>(toolkit);
        if (!mainView) mainView = &created.form1->view();
        created.form3 = std::make_unique<TForm3>(toolkit);
        created.form4 = std::make_unique<firmware::TForm4>(toolkit);
        program.Form4 = created.form4.get();
    } catch (const std::exception& failure) {
        toolkit.messageBox(failure.what(), "");
        mainView = nullptr;
    } catch (...) {
        toolkit.messageBox("", "");
        mainView = nullptr;
    }

    if (mainView) {
        mainView->form().show();
        toolkit.run(*mainView);
    }

    serial::setEventPump(nullptr);
    serial::setMessageHook(nullptr);
    protocol::setReporter(nullptr);
    program = Program{};
    windows = nullptr;
    return 0;
}

} // namespace app

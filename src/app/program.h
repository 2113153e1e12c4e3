// Program-wide references: the windows, the host notifier and the command line, set during
// start-up and valid until the program ends. Other units reach one another only through these.
#pragma once

#include "ui/toolkit.h"

#include <memory>

namespace notify {
class HostNotifier;
}
namespace firmware {
class TForm4;
}

namespace app {

class TForm1;
class TForm3;
class TForm5;

struct Program {
    ui::Toolkit* toolkit = nullptr;
    int argc = 0;
    const char* const* argv = nullptr;

    TForm5* Form5 = nullptr; // set only in Upgrade mode
    TForm1* Form1 = nullptr;
    TForm3* Form3 = nullptr;
    firmware::TForm4* Form4 = nullptr;
    notify::HostNotifier* notifier = nullptr;

    // An update (search and session) is running inside a click handler.
    bool busy = false;

    bool upgradeMode() const { return Form5 != nullptr; }
};

extern Program program;

// Creates and activates the host notifier when the first argument is the "\P" switch and none
// exists yet. Throws notify::BindError when local port 3004 is taken.
void startHostNotifier();

// Steps every main window runs while it is created, after its caption is known: caption and
// application title, the stored port, the image table and the port panel.
void setTitles(ui::Form& form, const std::string& caption);
void loadPortAndImages(ui::StatusBar& statusBar);

// Close request of either main window. During an update it stops the update and answers false,
// noting in closePending that the window is to close once the update has ended. Otherwise it
// closes the port in use and stores the selected port (a failure to store is shown; the window
// closes all the same) and answers true.
bool requestMainWindowClose(bool& closePending);

// Runs one update (search, then the session when a board answered) with the window's controls,
// marking the program busy and disabling the window's port command and the Port setup dialog's
// "&Ok" for its duration: choosing another port would reopen it under the running update.
void runUpdate(ui::ProgressBar& progressBar, ui::StatusBar& statusBar, ui::MenuCommand& portCommand);

// The whole run: single instance, windows, event loop. Always returns 0.
int runApplication(ui::Toolkit& toolkit, int argc, const char* const* argv);

} // namespace app

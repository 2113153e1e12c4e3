// What the protocol needs from the windows: the status functions and the few controls it
// writes outside the calling window. The shell installs one Reporter for the whole run.
#pragma once

#include "ui/widgets.h"

#include <cstdint>
#include <string_view>

namespace protocol {

class Reporter {
public:
    virtual ~Reporter() = default;

    // Forwards the result code to the host notifier (when there is one), then shows the text:
    // a coloured banner in the Updater window, the activity panel in Upgrade mode.
    virtual void showErrorBanner(std::string_view text, ui::Color colour, uint8_t resultCode) = 0;
    virtual void showStatusBanner(std::string_view text, ui::Color colour) = 0;
    virtual void showStopButton() = 0;
    virtual void showUpdateButton() = 0;

    // The Upgrade window exists.
    virtual bool upgradeMode() const = 0;

    // The Updater window's controls that the protocol writes whichever window started the
    // operation ("Resend %d", "Warning", the BIOS and board description labels). Null before
    // the Updater window exists.
    virtual ui::StatusBar* updaterStatusBar() = 0;
    virtual ui::Label* biosLabel() = 0;
    virtual ui::Label* boardDescriptionLabel() = 0;

    // A programming session ended with every frame acknowledged: in Upgrade mode "Program OK"
    // and START back; otherwise the green banner with result code 1 and Update back.
    virtual void showProgramOk() = 0;
};

void setReporter(Reporter* reporter);
Reporter& reporter(); // the installed one; a do-nothing reporter when none is

} // namespace protocol

#include "app/status.h"

#include "app/program.h"
#include "app/trevane.h"
#include "app/zedir.h"
#include "notify/host_notifier.h"

namespace app {

namespace {
constexpr int kActivityPanel = 1;
}

void StatusFunctions::showErrorBanner(std::string_view text, ui::Color colour, uint8_t resultCode) {
    // The launching program hears of the result first, whichever window shows it.
    if (program.notifier) program.notifier->sendResultCode(resultCode);
    if (program.Form5) {
        program.Form5->statusBar().setPanelText(kActivityPanel, text);
        return;
    }
    if (!program.Form1) return;
    program.Form1->showBanner(text, colour, ui::kWhite);
    program.Form1->showIdleButtons();
}

void StatusFunctions::showStatusBanner(std::string_view text, ui::Color colour) {
    if (program.Form5) {
        program.Form5->statusBar().setPanelText(kActivityPanel, text);
        return;
    }
    if (program.Form1) program.Form1->showBanner(text, colour, ui::kBlack);
}

void StatusFunctions::showStopButton() {
    if (program.Form5) program.Form5->setButtons(true);
    else if (program.Form1) program.Form1->setButtons(true);
}

void StatusFunctions::showUpdateButton() {
    if (program.Form5) program.Form5->setButtons(false);
    else if (program.Form1) program.Form1->setButtons(false);
}

bool StatusFunctions::upgradeMode() const { return program.upgradeMode(); }

ui::StatusBar* StatusFunctions::updaterStatusBar() {
    return program.Form1 ? &program.Form1->statusBar() : nullptr;
}

ui::Label* StatusFunctions::biosLabel() {
    return program.Form1 ? &program.Form1->biosLabel() : nullptr;
}

ui::Label* StatusFunctions::boardDescriptionLabel() {
    return program.Form1 ? &program.Form1->boardDescriptionLabel() : nullptr;
}

void StatusFunctions::showProgramOk() {
    if (program.Form5) {
        // A launching program waits for the result in this window too.
        if (program.notifier) program.notifier->sendResultCode(1);
        program.Form5->statusBar().setPanelText(kActivityPanel, "Program OK");
        program.Form5->showStart();
        return;
    }
    showErrorBanner(" Program Ok ", ui::kGreen, 1);
}

} // namespace app

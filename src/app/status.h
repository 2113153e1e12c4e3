// The status functions through which the protocol reports: banners and button switches that act
// on the Updater window, or on the Upgrade window's status bar when that window exists.
#pragma once

#include "protocol/reporter.h"

namespace app {

class StatusFunctions final : public protocol::Reporter {
public:
    void showErrorBanner(std::string_view text, ui::Color colour, uint8_t resultCode) override;
    void showStatusBanner(std::string_view text, ui::Color colour) override;
    void showStopButton() override;
    void showUpdateButton() override;
    bool upgradeMode() const override;
    ui::StatusBar* updaterStatusBar() override;
    ui::Label* biosLabel() override;
    ui::Label* boardDescriptionLabel() override;
    void showProgramOk() override;
};

} // namespace app

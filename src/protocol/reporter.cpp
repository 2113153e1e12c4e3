#include "protocol/reporter.h"

namespace protocol {
namespace {

class SilentReporter final : public Reporter {
public:
    void showErrorBanner(std::string_view, ui::Color, uint8_t) override {}
    void showStatusBanner(std::string_view, ui::Color) override {}
    void showStopButton() override {}
    void showUpdateButton() override {}
    bool upgradeMode() const override { return false; }
    ui::StatusBar* updaterStatusBar() override { return nullptr; }
    ui::Label* biosLabel() override { return nullptr; }
    ui::Label* boardDescriptionLabel() override { return nullptr; }
    void showProgramOk() override {}
};

SilentReporter silent;
Reporter* installed = &silent;

} // namespace

void setReporter(Reporter* r) { installed = r ? r : &silent; }

Reporter& reporter() { return *installed; }

} // namespace protocol

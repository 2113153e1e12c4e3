// The Port setup dialog: lists the COM ports present by their friendly names, preselects the
// port in use, and on "&Ok" makes the chosen one the port of the next update.
#pragma once

#include "ui/toolkit.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace app {

class Application;

extern const ui::FormDesc kPortSetupForm;

class PortSetupDialog final : public ui::FormHandler {
public:
    enum Control : int { PortCaption, Ports, Ok, Cancel };

    explicit PortSetupDialog(Application& application);

    ui::FormView& view() { return *view_; }
    // Shows the dialog, or brings it to the front when it is shown already.
    void show() { view_->form().show(); }
    // "&Ok" is disabled while an update runs: it would reopen the port under the update.
    void setConfirmEnabled(bool enabled) { okButton_.setEnabled(enabled); }

    // Position of port p (COM(p+1)) in the list, 0 when it is not there.
    int findPortEntry(int16_t p) const;
    // The port number that the entry at position i names; 0 when there is none, -1 (no port)
    // for a name that is no COM name.
    int16_t portNumberOfEntry(int i) const;

    void onEvent(int control, ui::Event event) override;
    void onShow() override;

    void onOkClicked();
    void onCancelClicked();

private:
    Application& app_;
    std::unique_ptr<ui::FormView> view_;
    ui::ChoiceList& friendlyNames_;
    ui::Button& okButton_;
    std::vector<std::string> portNames_; // the port name of each entry of the list, in order
};

} // namespace app

// The Port setup dialog: lists the COM ports present by their friendly names and makes the
// chosen one the selected port.
#pragma once

#include "ui/toolkit.h"

#include <memory>

namespace app {

extern const ui::FormDesc kSetupForm;

class TForm3 : public ui::FormHandler {
public:
    explicit TForm3(ui::Toolkit& toolkit);

    ui::Form& form() { return view_->form(); }
    ui::FormView& view() { return *view_; }

    // Position of port p in the hidden list of port names, 0 when it is not there.
    int16_t findPortEntry(int16_t p);
    // The 0-based port number that the port name at position i names.
    int portNumberOfEntry(int i);

    void onEvent(std::string_view control, ui::Event event) override;
    void onShow() override { FormShow(); }

    void FormShow();
    void Button1Click(); // "&Ok"
    void Button2Click(); // "&Cancel"

private:
    std::unique_ptr<ui::FormView> view_;
};

} // namespace app

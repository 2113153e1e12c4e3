// The Upgrade window: the operator's START/STOP front end, the main window of products whose
// identity carries an Upgrade code.
#pragma once

#include "ui/toolkit.h"

#include <memory>
#include <string_view>

namespace app {

extern const ui::FormDesc kUpgradeForm;

class TForm5 : public ui::FormHandler {
public:
    explicit TForm5(ui::Toolkit& toolkit);

    ui::FormView& view() { return *view_; }
    ui::StatusBar& statusBar() { return view_->statusBar("StatusBar1"); }
    ui::ProgressBar& progressBar() { return view_->progressBar("ProgressBar1"); }

    void setButtons(bool running);
    void showStart(); // START shown and focused, STOP hidden

    void onEvent(std::string_view control, ui::Event event) override;
    bool onCloseRequest() override;

    void Button1Click();     // START
    void Button2Click();     // STOP
    void SerialPort1Click(); // "Serial Port"

private:
    std::unique_ptr<ui::FormView> view_;
    bool closePending_ = false;
};

} // namespace app

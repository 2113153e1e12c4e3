// The Updater window: the main window of every run that is not in Upgrade mode.
#pragma once

#include "ui/toolkit.h"

#include <memory>
#include <string_view>

namespace app {

extern const ui::FormDesc kUpdaterForm;

class TForm1 : public ui::FormHandler {
public:
    explicit TForm1(ui::Toolkit& toolkit);

    ui::FormView& view() { return *view_; }
    ui::StatusBar& statusBar() { return view_->statusBar("StatusBar1"); }
    ui::ProgressBar& progressBar() { return view_->progressBar("ProgressBar1"); }
    ui::Label& biosLabel() { return view_->label("Label3"); }
    ui::Label& boardDescriptionLabel() { return view_->label("Label4"); }

    // The window's share of the status functions.
    void showBanner(std::string_view text, ui::Color colour, ui::Color fontColour);
    void showIdleButtons(); // Change port enabled, Stop hidden, Update shown and focused
    void setButtons(bool running);

    void onEvent(std::string_view control, ui::Event event) override;
    bool onCloseRequest() override;

    void Button1Click(); // "&Update"
    void Button2Click(); // "&Stop"
    void S1Click();      // "&Change port"
    void Label1DblClick();

private:
    std::unique_ptr<ui::FormView> view_;
    bool closePending_ = false;
};

} // namespace app

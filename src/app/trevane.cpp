#include "app/trevane.h"

#include "app/identity.h"
#include "app/program.h"
#include "app/serialsetup.h"
#include "firmware/version.h"
#include "protocol/link_state.h"

#include <array>

namespace app {
namespace {

using ui::Align;
using ui::Kind;

constexpr ui::Font kBold24{nullptr, 24, true};
constexpr std::array<int, 4> kPanels{50, 130, 100, 50};

constexpr ui::ControlDesc kControls[] = {
    {Kind::MenuCommand, "S1", "&Change port", {}},
    {Kind::Button, "Button1", "&Update", {8, 8, 75, 25}},
    {Kind::Button, "Button2", "&Stop", {8, 8, 75, 25}, {}, false},
    {Kind::Picture, "Image1", "logo-large", {396, 0, 109, 45}, {}, true, Align::Center},
    {Kind::Picture, "Image2", "logo-small", {372, 0, 135, 44}, {}, false, Align::Center, nullptr,
     {}, true},
    {Kind::Frame, "Bevel1", "", {8, 48, 497, 50}},
    {Kind::Label, "Label1", "", {10, 51, 493, 45}, {"Times", 40, true}, true, Align::Center},
    {Kind::Frame, "Bevel2", "", {8, 110, 497, 108}},
    {Kind::Label, "Label3", "", {13, 119, 484, 29}, kBold24, false, Align::Center},
    {Kind::Label, "Label4", "", {13, 156, 484, 20}, {nullptr, 16, true}, false, Align::Center},
    {Kind::Label, "Label2", "", {13, 182, 484, 29}, kBold24, false, Align::Center},
    {Kind::ProgressBar, "ProgressBar1", "", {8, 224, 497, 16}},
    {Kind::StatusBar, "StatusBar1", "", {0, 0, 0, 19}, {}, true, Align::Left, nullptr, kPanels},
};

} // namespace

const ui::FormDesc kUpdaterForm{
    "TForm1", "Updater", 511, 265, {"MS Sans Serif", 11, false}, ui::Border::Single, true,
    kControls};

TForm1::TForm1(ui::Toolkit& toolkit) : view_(toolkit.createForm(kUpdaterForm, *this)) {
    program.Form1 = this;
    startHostNotifier();
    const LogoChoice logos = logoRule(productIdentity());
    view_->picture("Image1").setVisible(logos.first);
    view_->picture("Image2").setVisible(logos.second);
    setTitles(view_->form(), updaterTitle());
    view_->label("Label1").setText(productIdentity());
    loadPortAndImages(statusBar());
}

void TForm1::showBanner(std::string_view text, ui::Color colour, ui::Color fontColour) {
    ui::Label& banner = view_->label("Label2");
    banner.setText(text);
    banner.setVisible(true);
    banner.setColor(colour);
    banner.setFontColor(fontColour);
}

void TForm1::showIdleButtons() {
    view_->menu("S1").setEnabled(true);
    view_->button("Button2").setVisible(false);
    view_->button("Button1").setVisible(true);
    view_->button("Button1").setFocus();
}

void TForm1::setButtons(bool running) {
    view_->button("Button2").setVisible(running);
    view_->button("Button1").setVisible(!running);
}

void TForm1::onEvent(std::string_view control, ui::Event event) {
    if (event == ui::Event::Click) {
        if (control == "Button1") Button1Click();
        else if (control == "Button2") Button2Click();
        else if (control == "S1") S1Click();
    } else if (event == ui::Event::DblClick && control == "Label1") {
        Label1DblClick();
    }
}

void TForm1::Button1Click() {
    if (program.busy) return; // one update at a time
    runUpdate(progressBar(), statusBar(), view_->menu("S1"));
    if (closePending_) view_->form().close();
}

void TForm1::Button2Click() {
    view_->button("Button2").setVisible(false);
    protocol::link.abortRequest = 1;
}

void TForm1::S1Click() {
    ui::Label& banner = view_->label("Label2");
    banner.setVisible(false);
    banner.repaint();
    ui::Label& bios = view_->label("Label3");
    bios.setVisible(false);
    bios.repaint();
    if (program.Form3) program.Form3->form().show();
}

void TForm1::Label1DblClick() {
    if (!program.Form4) return;
    ui::Form& dialog = program.Form4->form();
    dialog.setCaption(view_->label("Label1").text() + "   [ " + std::string(buildTimeText()) +
                      " - " + std::string(buildDateText()) + " ]");
    dialog.show();
}

bool TForm1::onCloseRequest() {
    if (program.upgradeMode()) return true; // hidden; never the main window then
    return requestMainWindowClose(closePending_);
}

} // namespace app

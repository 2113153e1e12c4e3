#include "app/zedir.h"

#include "app/identity.h"
#include "app/program.h"
#include "app/serialsetup.h"
#include "protocol/link_state.h"

#include <array>

namespace app {
namespace {

using ui::Align;
using ui::Kind;

constexpr ui::Font kBig{nullptr, 33, true};
constexpr std::array<int, 5> kPanels{50, 130, 130, 140, 20};

constexpr ui::ControlDesc kControls[] = {
    {Kind::MenuCommand, "SerialPort1", "Serial Port", {}},
    {Kind::Panel, "Panel1", "", {8, 8, 585, 113}},
    {Kind::Button, "Button1", "START", {175, 25, 249, 65}, kBig, true, Align::Center, "Panel1"},
    {Kind::Button, "Button2", "STOP", {175, 25, 249, 65}, kBig, false, Align::Center, "Panel1"},
    {Kind::ProgressBar, "ProgressBar1", "", {5, 128, 596, 17}},
    {Kind::StatusBar, "StatusBar1", "", {0, 152, 606, 29}, {}, true, Align::Left, nullptr, kPanels},
};

} // namespace

const ui::FormDesc kUpgradeForm{"TForm5", "Upgrade", 606, 181, {"MS Sans Serif", 11, false},
                                ui::Border::Single, true, kControls};

TForm5::TForm5(ui::Toolkit& toolkit) : view_(toolkit.createForm(kUpgradeForm, *this)) {
    program.Form5 = this;
    startHostNotifier();
    setTitles(view_->form(), upgradeTitle());
    loadPortAndImages(statusBar());
    progressBar().setSmooth(true);
    protocol::link.devicePanelIndex = -2; // this window has no device panel
}

void TForm5::setButtons(bool running) {
    view_->button("Button2").setVisible(running);
    view_->button("Button1").setVisible(!running);
}

void TForm5::showStart() {
    setButtons(false);
    view_->button("Button1").setFocus();
}

void TForm5::onEvent(std::string_view control, ui::Event event) {
    if (event != ui::Event::Click) return;
    if (control == "Button1") Button1Click();
    else if (control == "Button2") Button2Click();
    else if (control == "SerialPort1") SerialPort1Click();
}

void TForm5::Button1Click() {
    // STOP shows START at once, while the update still runs until its next wait: a START
    // then must not begin a second update inside the first.
    if (program.busy) return;
    runUpdate(progressBar(), statusBar(), view_->menu("SerialPort1"));
    // Back to START after every end, failures included.
    showStart();
    if (closePending_) view_->form().close();
}

void TForm5::Button2Click() {
    setButtons(false);
    // A STOP with nothing running must not abort the next search.
    if (program.busy) protocol::link.abortRequest = 1;
}

void TForm5::SerialPort1Click() {
    if (program.Form3) program.Form3->form().show();
}

bool TForm5::onCloseRequest() { return requestMainWindowClose(closePending_); }

} // namespace app

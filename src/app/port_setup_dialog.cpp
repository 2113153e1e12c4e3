#include "app/port_setup_dialog.h"

#include "app/application.h"
#include "serial/port_name.h"

namespace app {
namespace {

using ui::Kind;
using C = PortSetupDialog::Control;

constexpr ui::ControlDesc kControls[] = {
    {Kind::Label, C::PortCaption, "portCaption", "Port :", {9, 19, 28, 13}},
    {Kind::ComboBox, C::Ports, "ports", "", {41, 16, 408, 21}},
    {Kind::Button, C::Ok, "ok", "&Ok", {293, 56, 75, 25}},
    {Kind::Button, C::Cancel, "cancel", "&Cancel", {373, 56, 75, 25}},
};

// The list holds friendly names of up to 199 characters; a longer one is cut there.
constexpr std::size_t kFriendlyNameLimit = 199;

} // namespace

const ui::FormDesc kPortSetupForm{
    "PortSetupDialog",  "Setup", 456,      94, {"MS Sans Serif", 11, false},
    ui::Border::Dialog, false,   kControls};

PortSetupDialog::PortSetupDialog(Application& application)
    : app_(application), view_(application.toolkit().createForm(kPortSetupForm, *this)),
      friendlyNames_(view_->choiceList(C::Ports)), okButton_(view_->button(C::Ok)) {}

void PortSetupDialog::onEvent(int control, ui::Event event) {
    if (event != ui::Event::Click) return;
    if (control == C::Ok)
        onOkClicked();
    else if (control == C::Cancel)
        onCancelClicked();
}

void PortSetupDialog::onShow() {
    friendlyNames_.clear();
    portNames_.clear();
    for (const serial::PortDescription& port : app_.listPorts()) {
        friendlyNames_.append(port.friendlyName.substr(0, kFriendlyNameLimit));
        portNames_.push_back(port.name);
    }
    friendlyNames_.select(findPortEntry(app_.selectedPort()));
}

int PortSetupDialog::findPortEntry(int16_t p) const {
    const std::string target = serial::comName(p + 1);
    for (std::size_t i = 0; i < portNames_.size(); ++i)
        if (serial::samePortName(portNames_[i], target)) return static_cast<int>(i);
    return 0;
}

int16_t PortSetupDialog::portNumberOfEntry(int i) const {
    if (i < 0 || static_cast<std::size_t>(i) >= portNames_.size()) return 0;
    // "COM" in any letter case: a port listed as "com3" is port 2, not unusable. A name that
    // is no COM name stands for no port.
    const int number = serial::comNumber(portNames_[static_cast<std::size_t>(i)]);
    return static_cast<int16_t>(number < 0 ? -1 : number - 1);
}

void PortSetupDialog::onOkClicked() {
    app_.choosePort(portNumberOfEntry(friendlyNames_.selectedIndex()));
    view_->form().hide();
}

void PortSetupDialog::onCancelClicked() {
    // The list shows the port in use again the next time.
    friendlyNames_.select(findPortEntry(app_.selectedPort()));
    view_->form().hide();
}

} // namespace app

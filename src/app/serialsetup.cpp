#include "app/serialsetup.h"

#include "app/program.h"
#include "app/settings_store.h"
#include "protocol/link_state.h"
#include "protocol/search.h"
#include "serial/port_list.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace app {
namespace {

using ui::Kind;

constexpr ui::ControlDesc kControls[] = {
    {Kind::Label, "Label1", "Port :", {9, 19, 28, 13}},
    {Kind::ComboBox, "ComboBox1", "", {41, 16, 408, 21}},
    {Kind::HiddenList, "ComboBox2", "", {41, 40, 408, 21}, {}, false},
    {Kind::Button, "Button1", "&Ok", {293, 56, 75, 25}},
    {Kind::Button, "Button2", "&Cancel", {373, 56, 75, 25}},
};

bool equalNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

const ui::FormDesc kSetupForm{"TForm3", "Setup", 456, 94, {"MS Sans Serif", 11, false},
                              ui::Border::Dialog, false, kControls};

TForm3::TForm3(ui::Toolkit& toolkit) : view_(toolkit.createForm(kSetupForm, *this)) {
    program.Form3 = this;
}

void TForm3::onEvent(std::string_view control, ui::Event event) {
    if (event != ui::Event::Click) return;
    if (control == "Button1") Button1Click();
    else if (control == "Button2") Button2Click();
}

void TForm3::FormShow() {
    ui::ChoiceList& names = view_->choiceList("ComboBox1");
    ui::ChoiceList& ports = view_->choiceList("ComboBox2");
    names.clear();
    ports.clear();
    if (serial::PortList* list = serial::openPortList()) {
        char port[serial::kPortNameSize] = {};
        char friendly[serial::kFriendlyNameSize] = {};
        while (serial::nextPort(list, port, friendly) == 1) {
            names.append(friendly);
            ports.append(port);
        }
        serial::closePortList(list);
    }
    names.select(findPortEntry(protocol::link.selectedPort));
}

int16_t TForm3::findPortEntry(int16_t p) {
    char target[16];
    std::snprintf(target, sizeof target, "COM%d", p + 1);
    ui::ChoiceList& ports = view_->choiceList("ComboBox2");
    for (int i = 0; i < ports.count(); ++i)
        if (equalNoCase(ports.text(i), target)) return static_cast<int16_t>(i);
    return 0;
}

int TForm3::portNumberOfEntry(int i) {
    const std::string text = view_->choiceList("ComboBox2").text(i);
    if (text.empty()) return 0;
    // "COM" in any letter case: a port listed as "com3" is port 2, not unusable.
    size_t k = 0;
    while (k < text.size() && std::strchr("COMcom", text[k]) != nullptr) ++k;
    if (k == text.size()) return 0;
    return leadingNumber(std::string_view(text).substr(k)) - 1;
}

void TForm3::Button1Click() {
    const int p = portNumberOfEntry(view_->choiceList("ComboBox1").selectedIndex());
    if (p != protocol::link.selectedPort) {
        protocol::link.selectedPort = static_cast<int16_t>(p);
        protocol::reopenSelectedPort();
    }
    view_->form().hide();
}

void TForm3::Button2Click() {
    view_->choiceList("ComboBox1").select(findPortEntry(protocol::link.selectedPort));
    view_->form().hide();
}

} // namespace app

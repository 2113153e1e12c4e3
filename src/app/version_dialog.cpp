#include "app/version_dialog.h"

#include "app/application.h"
#include "firmware/version_listing.h"

namespace app {
namespace {

using C = VersionDialog::Control;

// Designed as 412 x 272 outside at 96 dpi. With the classic dialog frame (3 pixels each side)
// and a 19-pixel caption bar that leaves a 406 x 247 client area, which still holds the list
// (to 381, 194) and the button (to 378, 230) with the designed margins.
constexpr ui::ControlDesc kControls[] = {
    {.kind = ui::Kind::ListBox,
     .id = C::Images,
     .name = "images",
     .caption = "",
     .rect = {8, 10, 373, 184},
     .font = {"Courier", 11, false}},
    {.kind = ui::Kind::Button,
     .id = C::Ok,
     .name = "ok",
     .caption = "&Ok",
     .rect = {303, 204, 75, 26}},
};

} // namespace

const ui::FormDesc kVersionForm{
    .className = "VersionDialog",
    .caption = "Version ..",
    .clientWidth = 406,
    .clientHeight = 247,
    .font = {"MS Sans Serif", 11, false},
    .border = ui::Border::Dialog,
    .minimizeBox = false,
    .controls = kControls,
};

VersionDialog::VersionDialog(Application& application)
    : app_(application), view_(application.toolkit().createForm(kVersionForm, *this)),
      images_(view_->choiceList(C::Images)) {}

void VersionDialog::show(std::string_view caption) {
    view_->form().setCaption(caption);
    view_->form().show();
}

void VersionDialog::onEvent(int control, ui::Event event) {
    // Only hidden: the Updater window opens it again.
    if (control == C::Ok && event == ui::Event::Click) view_->form().hide();
}

void VersionDialog::onShow() {
    images_.clear();
    for (const std::string& line : firmware::versionListing(app_.images()))
        images_.append(line);
}

} // namespace app

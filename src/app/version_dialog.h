// The Version dialog: the firmware images the build carries, listed anew every time it is shown.
#pragma once

#include "ui/toolkit.h"

#include <memory>
#include <string_view>

namespace app {

class Application;

extern const ui::FormDesc kVersionForm;

class VersionDialog final : public ui::FormHandler {
public:
    enum Control : int { Images, Ok };

    explicit VersionDialog(Application& application);

    ui::FormView& view() { return *view_; }
    // Shows the dialog with this caption, or brings it to the front when it is shown already.
    void show(std::string_view caption);

    void onEvent(int control, ui::Event event) override;
    void onShow() override;

private:
    Application& app_;
    std::unique_ptr<ui::FormView> view_;
    ui::ChoiceList& images_;
};

} // namespace app

// The Qt 6 Widgets binding: forms built from their descriptions, widgets behind the ui/
// interfaces, events forwarded to the window units. No window behaviour lives here.
#pragma once

#include "ui/toolkit.h"

class QWidget;

namespace ui::qt {

class QtToolkit final : public ui::Toolkit {
public:
    std::unique_ptr<ui::FormView> createForm(const ui::FormDesc& desc,
                                             ui::FormHandler& handler) override;
    void processEvents() override;
    void messageBox(std::string_view text, std::string_view caption,
                    ui::MessageBoxStyle style) override;
    bool ask(std::string_view text, std::string_view caption) override;
    void beep() override;
    std::unique_ptr<ui::Timer> every(int ms, std::function<void()> tick) override;
    void setApplicationTitle(std::string_view title) override;
    void run(ui::FormView& mainForm) override;
};

// Whether the program can show windows: a display (X11, Wayland) or a Qt platform chosen by
// the user. When there is none it says so on standard error, naming the program and how to
// start it under a virtual display, and answers false.
bool displayAvailable(const char* program, const char* invokedAs);

// The top-level widget of a created form (tests and screenshots find controls through it: each
// control's objectName is its component name).
QWidget* windowOf(ui::FormView& view);

} // namespace ui::qt

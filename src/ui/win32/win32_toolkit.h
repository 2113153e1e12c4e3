// The Win32 binding: native windows built from the form descriptions, widgets behind the ui/
// interfaces, events forwarded to the window units. No window behaviour lives here.
#pragma once

#include "ui/toolkit.h"

#include <string>
#include <vector>

namespace ui::win32 {

// A widget whose changes reach its native control at the toolkit's next pass of the event loop.
class DeferredWidget {
public:
    virtual ~DeferredWidget() = default;
    virtual void flush() = 0;
};

class Win32Toolkit final : public ui::Toolkit {
public:
    Win32Toolkit();
    ~Win32Toolkit() override;
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

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

    const std::string& applicationTitle() const { return applicationTitle_; }
    // Set when the main form closed (the event loop ends); processEvents notes it too.
    bool quitting() const { return quit_; }
    void requestQuit();

    void addDeferred(DeferredWidget* widget) { deferred_.push_back(widget); }
    void removeDeferred(DeferredWidget* widget);
    // Hands every deferred change to its native control.
    void flushDeferred();

    class Timers; // what `every` made, and the window their messages come to

private:
    // One message through the dialog manager (access keys, Tab) or the window procedure.
    void route(void* msg);

    std::string applicationTitle_;
    bool quit_ = false;
    std::vector<DeferredWidget*> deferred_;
    std::unique_ptr<Timers> timers_;
};

// The top-level window (HWND) of a created form, and of one of its controls by component name
// (nullptr when it has no window of its own): for tests and screenshots.
void* windowOf(ui::FormView& view);
void* controlOf(ui::FormView& view, std::string_view name);

} // namespace ui::win32

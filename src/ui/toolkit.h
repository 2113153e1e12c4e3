// What the window units need from a front end: forms made from a FormDesc, the widgets of a
// form by id, message boxes, timers and the event loop.
#pragma once

#include "ui/form_desc.h"
#include "ui/widgets.h"

#include <functional>
#include <memory>
#include <string_view>

namespace ui {

// The widgets of one created form, by the id its description gives them. An id that the
// description does not hold, or holds for another kind, is a programming error: bindings throw
// std::logic_error.
class FormView {
public:
    virtual ~FormView() = default;
    virtual Form& form() = 0;
    virtual Label& label(int id) = 0;
    virtual Button& button(int id) = 0;
    virtual MenuCommand& menu(int id) = 0;
    virtual ProgressBar& progressBar(int id) = 0;
    virtual StatusBar& statusBar(int id) = 0;
    virtual ChoiceList& choiceList(int id) = 0;
    virtual Picture& picture(int id) = 0;
    virtual Panel& panel(int id) = 0;
};

// Implemented by each window unit; the binding calls it for every user action.
class FormHandler {
public:
    virtual ~FormHandler() = default;
    virtual void onEvent(int control, Event event) = 0;
    virtual void onShow() {}
    // The title-bar close button (or Alt+F4). Return false to keep the form open for now.
    virtual bool onCloseRequest() { return true; }
};

enum class MessageBoxStyle { Plain, TopMost };

// A repeating timer of the toolkit: destroying it stops its ticks, one already due included.
class Timer {
public:
    virtual ~Timer() = default;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;
    // Creates the form hidden. The handler outlives the form.
    virtual std::unique_ptr<FormView> createForm(const FormDesc& desc, FormHandler& handler) = 0;
    virtual void processEvents() = 0;
    virtual void messageBox(std::string_view text, std::string_view caption,
                            MessageBoxStyle style = MessageBoxStyle::Plain) = 0;
    // A Yes/No question; true for Yes. No is the answer a bare Enter gives.
    virtual bool ask(std::string_view text, std::string_view caption) = 0;
    virtual void beep() = 0;
    // Calls `tick` every `ms` milliseconds on the thread that runs the event loop (modal boxes
    // included), guarded as control events are. Made on that thread; the toolkit outlives it.
    virtual std::unique_ptr<Timer> every(int ms, std::function<void()> tick) = 0;
    virtual void setApplicationTitle(std::string_view title) = 0;
    // Runs the event loop until the main form has closed.
    virtual void run(FormView& mainForm) = 0;
};

} // namespace ui

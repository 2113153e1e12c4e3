#include "fake_ui.h"

#include "ui/dispatch.h"

#include <stdexcept>

namespace fake {

void Form::show() {
    if (shown) return; // already visible: only brought to the front
    shown = true;
    ++showCount;
    if (handler) handler->onShow();
}

void Form::close() {
    ++closeRequests;
    if (!handler || handler->onCloseRequest()) {
        shown = false;
        closed = true;
    }
}

FormView::FormView(const ui::FormDesc& desc, ui::FormHandler& handler) : desc_(desc) {
    form_.handler = &handler;
    form_.captionText = desc.caption;
    form_.clientWidth = desc.clientWidth;
    form_.clientHeight = desc.clientHeight;
    for (const ui::ControlDesc& c : desc.controls) {
        const int name = c.id;
        switch (c.kind) {
        case ui::Kind::Button:
            buttons_[name].shown = c.shown;
            break;
        case ui::Kind::Label:
            labels_[name].value = c.caption ? c.caption : "";
            labels_[name].shown = c.shown;
            break;
        case ui::Kind::Picture:
            pictures_[name].shown = c.shown;
            break;
        case ui::Kind::ProgressBar:
            bars_[name];
            break;
        case ui::Kind::StatusBar:
            statusBars_[name];
            break;
        case ui::Kind::ComboBox:
        case ui::Kind::ListBox:
            lists_[name];
            break;
        case ui::Kind::MenuCommand:
            menus_[name];
            break;
        case ui::Kind::Panel:
            panels_[name].rect = c.rect;
            panels_[name].shown = c.shown;
            break;
        case ui::Kind::Frame:
            break;
        }
    }
}

std::unique_ptr<ui::FormView> Toolkit::createForm(const ui::FormDesc& desc,
                                                  ui::FormHandler& handler) {
    auto view = std::make_unique<FormView>(desc, handler);
    views_.emplace_back(desc.className, view.get());
    createdOrder.emplace_back(desc.className);
    return view;
}

void Toolkit::processEvents() {
    ++eventPasses;
    if (onProcessEvents) onProcessEvents();
}

bool Toolkit::ask(std::string_view text, std::string_view caption) {
    questions.push_back({std::string(text), std::string(caption)});
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

namespace {

struct Timer : ui::Timer {
    explicit Timer(std::shared_ptr<TimerRecord> record) : record(std::move(record)) {}
    ~Timer() override { record->live = false; }
    std::shared_ptr<TimerRecord> record;
};

} // namespace

std::unique_ptr<ui::Timer> Toolkit::every(int ms, std::function<void()> tick) {
    timers.push_back(std::make_shared<TimerRecord>(TimerRecord{ms, std::move(tick)}));
    return std::make_unique<Timer>(timers.back());
}

void Toolkit::fireTimers() {
    // A tick may make or destroy timers, its own included.
    const auto due = timers;
    for (const auto& timer : due)
        if (timer->live) ui::dispatchGuarded(*this, timer->tick);
}

void Toolkit::run(ui::FormView& mainForm) {
    auto& main = static_cast<FormView&>(mainForm);
    while (!main.fakeForm().closed) {
        if (!loop || !loop(*this)) break;
    }
}

FormView& Toolkit::view(std::string_view className) {
    for (auto it = views_.rbegin(); it != views_.rend(); ++it)
        if (it->first == className) return *it->second;
    throw std::logic_error("no form " + std::string(className));
}

bool Toolkit::has(std::string_view className) const {
    for (const auto& v : views_)
        if (v.first == className) return true;
    return false;
}

} // namespace fake

// A fake toolkit for the window units and the protocol: every control remembers what it was
// told, message boxes are recorded, and a test can script what happens while events are
// processed (a click during a wait, say).
#pragma once

#include "ui/toolkit.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fake {

struct Label : ui::Label {
    std::string value;
    bool shown = false;
    ui::Color background = ui::kButtonFace;
    ui::Color foreground = ui::kBlack;
    int repaints = 0;
    void setText(std::string_view t) override { value = t; }
    std::string text() const override { return value; }
    void setVisible(bool v) override { shown = v; }
    bool visible() const override { return shown; }
    void setColor(ui::Color c) override { background = c; }
    void setFontColor(ui::Color c) override { foreground = c; }
    void repaint() override { ++repaints; }
};

struct Button : ui::Button {
    bool shown = true;
    bool enabledFlag = true;
    bool focused = false;
    std::function<void()> onFocus;
    void setVisible(bool v) override { shown = v; }
    bool visible() const override { return shown; }
    void setEnabled(bool e) override { enabledFlag = e; }
    void setFocus() override {
        focused = true;
        if (onFocus) onFocus();
    }
};

struct MenuCommand : ui::MenuCommand {
    bool enabledFlag = true;
    void setEnabled(bool e) override { enabledFlag = e; }
    bool enabled() const override { return enabledFlag; }
};

struct ProgressBar : ui::ProgressBar {
    int maximum = 100;
    int position = 0;
    bool smooth = false;
    std::vector<int> positions; // every position set, in order
    void setMax(int m) override { maximum = m; }
    void setPosition(int p) override {
        position = p;
        positions.push_back(p);
    }
    void setSmooth(bool s) override { smooth = s; }
};

struct StatusBar : ui::StatusBar {
    std::map<int, std::string> panels;
    std::vector<std::pair<int, std::string>> history; // every write, in order
    int repaints = 0;
    void setPanelText(int i, std::string_view t) override {
        panels[i] = std::string(t);
        history.emplace_back(i, std::string(t));
    }
    std::string panelText(int i) const override {
        auto it = panels.find(i);
        return it == panels.end() ? std::string() : it->second;
    }
    void repaint() override { ++repaints; }
};

struct ChoiceList : ui::ChoiceList {
    std::vector<std::string> items;
    int selected = -1;
    void clear() override {
        items.clear();
        selected = -1;
    }
    void append(std::string_view t) override { items.emplace_back(t); }
    int count() const override { return static_cast<int>(items.size()); }
    std::string text(int i) const override {
        return i >= 0 && i < count() ? items[static_cast<size_t>(i)] : std::string();
    }
    int selectedIndex() const override { return selected; }
    void select(int i) override { selected = (i >= 0 && i < count()) ? i : -1; }
};

struct Picture : ui::Picture {
    bool shown = true;
    void setVisible(bool v) override { shown = v; }
    bool visible() const override { return shown; }
};

struct Panel : ui::Panel {
    ui::Rect rect;
    bool shown = true;
    void setRect(ui::Rect r) override { rect = r; }
    void setVisible(bool v) override { shown = v; }
    bool visible() const override { return shown; }
};

class Toolkit;

struct Form : ui::Form {
    std::string captionText;
    bool shown = false;
    int showCount = 0;
    int closeRequests = 0;
    ui::FormHandler* handler = nullptr;
    bool closed = false;
    int clientWidth = 0, clientHeight = 0;
    void setCaption(std::string_view c) override { captionText = c; }
    std::string caption() const override { return captionText; }
    void show() override;
    void hide() override { shown = false; }
    bool visible() const override { return shown; }
    void close() override;
    void setClientSize(int width, int height) override {
        clientWidth = width;
        clientHeight = height;
    }
};

// The widgets of one form, created from its description like a real binding does.
class FormView : public ui::FormView {
public:
    explicit FormView(const ui::FormDesc& desc, ui::FormHandler& handler);

    ui::Form& form() override { return form_; }
    ui::Label& label(int id) override { return find(labels_, id); }
    ui::Button& button(int id) override { return find(buttons_, id); }
    ui::MenuCommand& menu(int id) override { return find(menus_, id); }
    ui::ProgressBar& progressBar(int id) override { return find(bars_, id); }
    ui::StatusBar& statusBar(int id) override { return find(statusBars_, id); }
    ui::ChoiceList& choiceList(int id) override { return find(lists_, id); }
    ui::Picture& picture(int id) override { return find(pictures_, id); }
    ui::Panel& panel(int id) override { return find(panels_, id); }

    // Typed access for assertions.
    Label& fakeLabel(int id) { return find(labels_, id); }
    Button& fakeButton(int id) { return find(buttons_, id); }
    MenuCommand& fakeMenu(int id) { return find(menus_, id); }
    ProgressBar& fakeProgressBar(int id) { return find(bars_, id); }
    StatusBar& fakeStatusBar(int id) { return find(statusBars_, id); }
    ChoiceList& fakeChoiceList(int id) { return find(lists_, id); }
    Picture& fakePicture(int id) { return find(pictures_, id); }
    Panel& fakePanel(int id) { return find(panels_, id); }
    Form& fakeForm() { return form_; }

    // Acts as the user would on a control of this form.
    void click(int control) { form_.handler->onEvent(control, ui::Event::Click); }
    void doubleClick(int control) { form_.handler->onEvent(control, ui::Event::DblClick); }

    const ui::FormDesc& desc() const { return desc_; }

private:
    // Defined here: every test that looks a control up instantiates it.
    template <typename T> static T& find(std::map<int, T>& m, int id) {
        auto it = m.find(id);
        if (it == m.end()) throw std::logic_error("no control " + std::to_string(id));
        return it->second;
    }

    const ui::FormDesc& desc_;
    Form form_;
    std::map<int, Label> labels_;
    std::map<int, Button> buttons_;
    std::map<int, MenuCommand> menus_;
    std::map<int, ProgressBar> bars_;
    std::map<int, StatusBar> statusBars_;
    std::map<int, ChoiceList> lists_;
    std::map<int, Picture> pictures_;
    std::map<int, Panel> panels_;
};

struct MessageBox {
    std::string text;
    std::string caption;
    ui::MessageBoxStyle style;
};

struct Question {
    std::string text;
    std::string caption;
};

// A timer made by `every`; live until its ui::Timer is destroyed.
struct TimerRecord {
    int ms = 0;
    std::function<void()> tick;
    bool live = true;
};

class Toolkit : public ui::Toolkit {
public:
    std::unique_ptr<ui::FormView> createForm(const ui::FormDesc& desc,
                                             ui::FormHandler& handler) override;
    void processEvents() override;
    void messageBox(std::string_view text, std::string_view caption,
                    ui::MessageBoxStyle style) override {
        boxes.push_back({std::string(text), std::string(caption), style});
    }
    bool ask(std::string_view text, std::string_view caption) override;
    void beep() override { ++beeps; }
    std::unique_ptr<ui::Timer> every(int ms, std::function<void()> tick) override;
    void setApplicationTitle(std::string_view t) override { applicationTitle = t; }
    // Runs the scripted loop: calls `loop` until the main form is closed or it returns false.
    void run(ui::FormView& mainForm) override;

    // The form views created so far, by class name ("UpdaterWindow").
    FormView& view(std::string_view className);
    bool has(std::string_view className) const;
    // Runs the tick of every live timer once, guarded as a binding's are.
    void fireTimers();

    std::vector<MessageBox> boxes;
    std::vector<Question> questions;
    std::deque<bool> answers; // taken in order by ask(); No once they run out
    int beeps = 0;
    std::vector<std::shared_ptr<TimerRecord>> timers; // every timer made, in order
    std::string applicationTitle;
    int eventPasses = 0;
    std::function<void()> onProcessEvents; // called from processEvents
    std::function<bool(Toolkit&)> loop;    // the "user" while run() runs
    std::vector<std::string> createdOrder; // class names in creation order

private:
    std::vector<std::pair<std::string, FormView*>> views_;
};

} // namespace fake

// The controls of a created form by component name: the lookup half of FormView, the same for
// every binding. A binding fills the tables while it creates its widgets.
#pragma once

#include "ui/toolkit.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace ui {

class ControlSet : public FormView {
public:
    Label& label(std::string_view n) override { return find(labels_, n); }
    Button& button(std::string_view n) override { return find(buttons_, n); }
    MenuCommand& menu(std::string_view n) override { return find(menus_, n); }
    ProgressBar& progressBar(std::string_view n) override { return find(bars_, n); }
    StatusBar& statusBar(std::string_view n) override { return find(statusBars_, n); }
    ChoiceList& choiceList(std::string_view n) override { return find(lists_, n); }
    Picture& picture(std::string_view n) override { return find(pictures_, n); }

protected:
    template <typename T> using Table = std::map<std::string, std::unique_ptr<T>, std::less<>>;

    Table<Label> labels_;
    Table<Button> buttons_;
    Table<MenuCommand> menus_;
    Table<ProgressBar> bars_;
    Table<StatusBar> statusBars_;
    Table<ChoiceList> lists_;
    Table<Picture> pictures_;

private:
    // A name the form's description does not hold is a programming error.
    template <typename T> static T& find(Table<T>& table, std::string_view n) {
        const auto it = table.find(n);
        if (it == table.end()) throw std::logic_error("no control " + std::string(n));
        return *it->second;
    }
};

} // namespace ui

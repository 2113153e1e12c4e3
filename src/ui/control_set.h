// The controls of a created form by id: the lookup half of FormView, the same for every
// binding. A binding fills the tables while it creates its widgets.
#pragma once

#include "ui/toolkit.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace ui {

class ControlSet : public FormView {
public:
    Label& label(int id) override { return find(labels_, id); }
    Button& button(int id) override { return find(buttons_, id); }
    MenuCommand& menu(int id) override { return find(menus_, id); }
    ProgressBar& progressBar(int id) override { return find(bars_, id); }
    StatusBar& statusBar(int id) override { return find(statusBars_, id); }
    ChoiceList& choiceList(int id) override { return find(lists_, id); }
    Picture& picture(int id) override { return find(pictures_, id); }
    Panel& panel(int id) override { return find(panels_, id); }

protected:
    template <typename T> using Table = std::map<int, std::unique_ptr<T>>;

    Table<Label> labels_;
    Table<Button> buttons_;
    Table<MenuCommand> menus_;
    Table<ProgressBar> bars_;
    Table<StatusBar> statusBars_;
    Table<ChoiceList> lists_;
    Table<Picture> pictures_;
    Table<Panel> panels_;

private:
    template <typename T> static T& find(Table<T>& table, int id) {
        const auto it = table.find(id);
        if (it == table.end()) throw std::logic_error("no such control: " + std::to_string(id));
        return *it->second;
    }
};

} // namespace ui

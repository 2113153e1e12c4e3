// A choice list that is never shown (the Port setup dialog's list of port names): plain data,
// the same in every binding.
#pragma once

#include "ui/widgets.h"

#include <string>
#include <vector>

namespace ui {

class HiddenList final : public ChoiceList {
public:
    void clear() override {
        items_.clear();
        selected_ = -1;
    }
    void append(std::string_view text) override { items_.emplace_back(text); }
    int count() const override { return static_cast<int>(items_.size()); }
    std::string text(int i) const override {
        return (i >= 0 && i < count()) ? items_[static_cast<size_t>(i)] : std::string();
    }
    int selectedIndex() const override { return selected_; }
    void select(int i) override { selected_ = (i >= 0 && i < count()) ? i : -1; }

private:
    std::vector<std::string> items_;
    int selected_ = -1;
};

} // namespace ui

// The Version dialog: lists the firmware images the build carries, with the board, connector
// and options each was made for, recomputed every time the dialog is shown.
#pragma once

#include "ui/toolkit.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace firmware {

// One row of the listing plan: board 0 first, the other boards only when board 0 has no image.
struct ListingRow {
    const char* chipLabel; // exactly six characters
    uint8_t chipSlot;
    int identityOffset; // flash byte of the image board index; the preparation follows it
    std::span<const uint8_t> otherBoards;
};

extern const std::span<const ListingRow> listingPlan;
extern const ui::FormDesc form4Desc;

class TForm4 : public ui::FormHandler {
public:
    // Creates the dialog hidden.
    explicit TForm4(ui::Toolkit& toolkit);

    // The opener sets the caption and shows the dialog through this.
    ui::Form& form() { return view_->form(); }

    void FormShow();
    void Button1Click();
    void fillVersionList();
    void addImageLine(int8_t lineNumber, const char* chipLabel, int8_t imageBoardIndex,
                      uint8_t imagePreparation);

    void onEvent(std::string_view control, ui::Event event) override;
    void onShow() override { FormShow(); }

private:
    std::unique_ptr<ui::FormView> view_;
    ui::ChoiceList& ListBox1;
};

} // namespace firmware

// The station window's form: a header (the product, the image, the operator, the totals,
// Start and Stop), a grid of tiles, one a bay, four to a row, and a status bar with the journal.
// Up to 16 tiles are shown at full size (16 fit a 1366x768 screen); from 17 to 32 each tile is
// cut to its top half, so that all of them stay in view without scrolling.
#pragma once

#include "ui/form_desc.h"

#include <deque>
#include <string>
#include <vector>

namespace app {

inline constexpr int kMaxTiles = 32;
inline constexpr int kFullTiles = 16; // at most this many at full size

namespace station_form {

enum Control : int {
    Title = 1,
    Build,
    Image,
    Operator,
    Totals,
    Start,
    Stop,
    Status,
    FirstTile = 100, // tile t: FirstTile + t * TileStride + one of the TilePart
    TileStride = 10,
};

enum TilePart : int {
    Panel = 0,
    Bay,
    Port,
    State,
    Progress,
    Counts,
    Adapter, // shown at full size only
    Detail,  // shown at full size only
};

constexpr int tileControl(int tile, TilePart part) {
    return FirstTile + tile * TileStride + part;
}

// Status bar panels.
inline constexpr int kJournalPanel = 0;
inline constexpr int kRunPanel = 1;

} // namespace station_form

// Where tile `tile` sits among `shown` tiles.
ui::Rect tileRect(int tile, int shown);
// Whether tiles are cut to their top half when `shown` are shown.
inline bool compactTiles(int shown) {
    return shown > kFullTiles;
}

// The form, made once: its controls' names live as long as it does.
class StationForm {
public:
    StationForm();
    StationForm(const StationForm&) = delete;
    StationForm& operator=(const StationForm&) = delete;
    const ui::FormDesc& desc() const { return desc_; }

private:
    std::deque<std::string> names_; // stable addresses for the controls' names
    std::vector<ui::ControlDesc> controls_;
    ui::FormDesc desc_;
};

} // namespace app

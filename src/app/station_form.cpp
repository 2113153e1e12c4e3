#include "app/station_form.h"

#include <array>

namespace app {

namespace {

using namespace station_form;
using ui::Kind;

constexpr int kColumns = 4;
constexpr int kGap = 6;
constexpr int kTileWidth = 300; // four to a row fit a screen 1280 wide
constexpr int kTileHeight = 128;
// Eight rows of cut tiles take the room of four rows of whole ones.
constexpr int kCompactTileHeight =
    (kFullTiles / kColumns * (kTileHeight + kGap)) / (kMaxTiles / kColumns) - kGap;
constexpr int kHeaderHeight = 72;
constexpr int kStatusHeight = 22;
constexpr int kClientWidth = kGap + kColumns * (kTileWidth + kGap);
constexpr int kClientHeight =
    kHeaderHeight + kFullTiles / kColumns * (kTileHeight + kGap) + kGap + kStatusHeight;
constexpr std::array<int, 2> kStatusPanels{900, 0};

constexpr ui::Font kTitleFont{nullptr, 18, true};
constexpr ui::Font kBold{nullptr, 13, true};
constexpr ui::Font kBayFont{nullptr, 16, true};

} // namespace

ui::Rect tileRect(int tile, int shown) {
    const int height = compactTiles(shown) ? kCompactTileHeight : kTileHeight;
    return {kGap + tile % kColumns * (kTileWidth + kGap),
            kHeaderHeight + kGap + tile / kColumns * (height + kGap), kTileWidth, height};
}

StationForm::StationForm() {
    const auto add = [this](Kind kind, int id, std::string name, const char* caption, ui::Rect rect,
                            ui::Font font = {}, bool shown = true,
                            ui::Align align = ui::Align::Left, int parent = ui::kNoParent) {
        names_.push_back(std::move(name));
        ui::ControlDesc c{kind,  id,    names_.back().c_str(), caption, rect, font, shown,
                          align, parent};
        controls_.push_back(c);
        return &controls_.back();
    };
    controls_.reserve(8 + kMaxTiles * 8);
    add(Kind::Label, Title, "title", "", {8, 6, 620, 24}, kTitleFont);
    add(Kind::Label, Build, "build", "", {8, 32, 620, 16});
    add(Kind::Label, Operator, "operator", "", {8, 50, 620, 16});
    add(Kind::Label, Image, "image", "", {640, 8, 440, 18});
    add(Kind::Label, Totals, "totals", "", {640, 32, 440, 20}, kBold);
    add(Kind::Button, Start, "start", "&Start", {kClientWidth - 128, 14, 120, 40});
    add(Kind::Button, Stop, "stop", "&Stop", {kClientWidth - 128, 14, 120, 40}, {}, false);
    ui::ControlDesc* status =
        add(Kind::StatusBar, Status, "statusBar", "", {0, 0, 0, kStatusHeight});
    status->panelWidths = kStatusPanels;

    for (int t = 0; t < kMaxTiles; ++t) {
        const std::string tile = "tile" + std::to_string(t) + ".";
        const int panel = tileControl(t, Panel);
        // Laid out for the most tiles; the window moves them for as many as it shows.
        add(Kind::Panel, panel, tile + "panel", "", tileRect(t, kMaxTiles), {}, false);
        // Inside the tile: its top half, which a tile cut to it keeps, then the rest.
        constexpr int inner = kTileWidth - 12;
        const auto part = [&](Kind kind, TilePart what, const char* name, ui::Rect rect,
                              ui::Font font = {}, ui::Align align = ui::Align::Left) {
            add(kind, tileControl(t, what), tile + name, "", rect, font, true, align, panel);
        };
        part(Kind::Label, Bay, "bay", {6, 4, 100, 20}, kBayFont);
        part(Kind::Label, Port, "port", {110, 6, inner - 104, 18});
        part(Kind::Label, State, "state", {6, 26, inner, 20}, kBold, ui::Align::Center);
        part(Kind::ProgressBar, Progress, "progress", {6, 50, 130, 8});
        part(Kind::Label, Counts, "counts", {142, 45, inner - 136, 16});
        part(Kind::Label, Adapter, "adapter", {6, 68, inner, 18});
        part(Kind::Label, Detail, "detail", {6, 90, inner, 32});
    }
    desc_ = ui::FormDesc{"StationWindow",
                         "Trevane Station",
                         kClientWidth,
                         kClientHeight,
                         {"MS Sans Serif", 12, false},
                         ui::Border::Single,
                         true,
                         controls_};
}

} // namespace app

#include "app/station_tiles.h"

#include "chips/chip_table.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace app {

namespace {

constexpr const char* kWaiting = "Waiting for a board";
constexpr const char* kAdapterRemoved = "Adapter removed";
constexpr const char* kNoAdapter = "No adapter";

// Working: light amber; passed and failed: the windows' own green and red; absent: grey.
constexpr ui::Color kWorking{255, 224, 130};
constexpr ui::Color kAbsent{176, 176, 176};

std::string countsText(int programmed, int failed) {
    return std::to_string(programmed) + " programmed, " + std::to_string(failed) + " failed";
}

// What names the adapter for a person: its serial number, else its place, else its name.
std::string adapterText(const serial::PortDescription& port) {
    if (!port.serial.empty()) return "adapter " + port.serial;
    if (!port.place.empty()) return port.place;
    return port.friendlyName;
}

} // namespace

ui::Color tileColor(TileState state) {
    switch (state) {
    case TileState::Absent:
        return kAbsent;
    case TileState::Waiting:
        return ui::kButtonFace;
    case TileState::Found:
    case TileState::Writing:
        return kWorking;
    case TileState::Passed:
        return ui::kGreen;
    case TileState::Failed:
        return ui::kRed;
    }
    return ui::kButtonFace;
}

ui::Color tileTextColor(TileState state) {
    return state == TileState::Passed || state == TileState::Failed ? ui::kWhite : ui::kBlack;
}

StationTiles::StationTiles(const std::vector<station::Bay>& bays,
                           const std::vector<std::string>& ports) {
    for (const station::Bay& bay : bays) {
        Tile& tile = tiles_[static_cast<size_t>(tileOf(bay.label, {}))];
        tile.view.adapter = bay.match; // what finds its port, until the port is there
    }
    // Named ports are tiles of their own only where no bay names them.
    if (bays.empty())
        for (const std::string& port : ports)
            tileOf({}, port);
}

int StationTiles::tileOf(const std::string& bay, const std::string& port) {
    const std::string key = bay.empty() ? port : bay;
    for (size_t i = 0; i < tiles_.size(); ++i)
        if (tiles_[i].key == key) return static_cast<int>(i);
    Tile& tile = tiles_.emplace_back();
    tile.key = key;
    tile.view.bay = bay;
    tile.view.port = port;
    tile.view.state = kNoAdapter;
    tile.view.counts = countsText(0, 0);
    return static_cast<int>(tiles_.size() - 1);
}

template <typename Change> void StationTiles::update(int station, Change change) {
    std::lock_guard lock(mutex_);
    if (station < 0 || static_cast<size_t>(station) >= tileOfStation_.size()) return;
    const int tile = tileOfStation_[static_cast<size_t>(station)];
    if (tile < 0) return;
    Tile& t = tiles_[static_cast<size_t>(tile)];
    const TileView before = t.view;
    change(t.view);
    t.changed = t.changed || !(t.view == before);
}

void StationTiles::stationStarted(int station, const serial::PortDescription& port,
                                  const std::string& bay) {
    {
        std::lock_guard lock(mutex_);
        if (static_cast<size_t>(station) >= tileOfStation_.size())
            tileOfStation_.resize(static_cast<size_t>(station) + 1, -1);
        tileOfStation_[static_cast<size_t>(station)] = tileOf(bay, port.name);
    }
    update(station, [&](TileView& v) {
        v.port = port.name;
        v.adapter = adapterText(port);
        v.kind = TileState::Waiting;
        v.state = kWaiting;
        v.progressPermille = 0;
    });
}

void StationTiles::portGone(int station) {
    update(station, [](TileView& v) {
        v.kind = TileState::Absent;
        v.state = kAdapterRemoved;
        v.progressPermille = 0;
    });
}

void StationTiles::portDescribed(int station, const serial::PortDescription& port) {
    update(station, [&](TileView& v) { v.adapter = adapterText(port); });
}

void StationTiles::searchTry(int station, int attempt) {
    if (attempt != 0) return;
    // A new search after a result: the board has been taken away.
    update(station, [](TileView& v) {
        if (v.kind == TileState::Waiting) return;
        v.kind = TileState::Waiting;
        v.state = kWaiting;
        v.progressPermille = 0;
    });
}

void StationTiles::boardFound(int station, const engine::BoardFound&, const chips::Chip* chip) {
    update(station, [&](TileView& v) {
        v.kind = TileState::Found;
        v.state = engine::deviceText(chip);
        v.chip = chip ? chip->part : "";
        v.detail = v.chip;
        v.progressPermille = 0;
    });
}

void StationTiles::phase(int station, engine::Phase phase) {
    if (phase != engine::Phase::ProgramModeEntry && phase != engine::Phase::Programming) return;
    update(station, [](TileView& v) {
        if (v.kind == TileState::Writing) return;
        v.kind = TileState::Writing;
        v.state = "Writing 0 %";
    });
}

void StationTiles::progress(int station, station::Stage stage, int32_t done, int32_t total) {
    const int permille =
        total > 0 ? static_cast<int>(std::clamp<int64_t>(int64_t{done} * 1000 / total, 0, 1000))
                  : 0;
    update(station, [&](TileView& v) {
        v.kind = TileState::Writing;
        v.progressPermille = permille;
        v.state = std::string(stage == station::Stage::Flash ? "Writing " : "EEPROM ") +
                  std::to_string(permille / 10) + " %";
    });
}

void StationTiles::result(int station, const station::BoardResult& board, int, int) {
    {
        std::lock_guard lock(mutex_);
        // Stopped by the operator is no board to look at.
        if (!board.ok() && board.result.outcome() != engine::Outcome::UserAbort) ++boardsFailed_;
    }
    update(station, [&](TileView& v) {
        v.kind = board.ok() ? TileState::Passed : TileState::Failed;
        v.state = std::string(board.result.text()); // the windows' text, blanks and all
        if (board.ok()) {
            ++v.programmed;
            v.progressPermille = 1000;
        } else {
            ++v.failed;
        }
        v.counts = countsText(v.programmed, v.failed);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", board.seconds);
        if (board.notRecorded)
            v.detail = "programmed, not recorded";
        else if (board.result.cause() == engine::Cause::PortGone)
            v.detail = station::resultText(board.result); // the adapter was removed at N %
        else
            v.detail = (v.chip.empty() ? std::string() : v.chip + ", ") + seconds;
    });
}

void StationTiles::problem(int station, const std::string& text) {
    update(station, [&](TileView& v) { v.detail = text; });
}

StationTiles::Changes StationTiles::take() {
    std::lock_guard lock(mutex_);
    Changes changes;
    changes.tileCount = static_cast<int>(tiles_.size());
    for (size_t i = 0; i < tiles_.size(); ++i) {
        if (!tiles_[i].changed) continue;
        tiles_[i].changed = false;
        changes.tiles.emplace_back(static_cast<int>(i), tiles_[i].view);
    }
    changes.boardsFailed = std::exchange(boardsFailed_, 0);
    return changes;
}

void StationTiles::runEnded() {
    std::lock_guard lock(mutex_);
    for (Tile& t : tiles_) {
        if (t.view.kind != TileState::Waiting) continue;
        t.view.state = "Stopped";
        t.changed = true;
    }
}

int StationTiles::boardsInProgress() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(tiles_.begin(), tiles_.end(), [](const Tile& t) {
        return t.view.kind == TileState::Found || t.view.kind == TileState::Writing;
    }));
}

std::pair<int, int> StationTiles::totals() const {
    std::lock_guard lock(mutex_);
    std::pair<int, int> sum;
    for (const Tile& t : tiles_) {
        sum.first += t.view.programmed;
        sum.second += t.view.failed;
    }
    return sum;
}

} // namespace app

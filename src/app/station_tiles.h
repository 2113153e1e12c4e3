// What the station window shows of each bay: a tile per bay (or per port), made from the
// stations' events. The events come on the stations' threads; the window takes what changed on
// its own thread, at most about 30 times a second, so a tile never costs more than that however
// fast its frames go.
#pragma once

#include "station/bays.h"
#include "station/observer.h"
#include "ui/widgets.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace app {

enum class TileState {
    Absent,  // no adapter: never seen, or pulled out (grey)
    Waiting, // the port is open and searched: waiting for a board
    Found,   // a board answered: its chip is named, nothing written yet
    Writing, // frames going out, with a progress bar
    Passed,  // the result " Program Ok " (green)
    Failed,  // any other result (red)
};

// What one tile shows.
struct TileView {
    std::string bay;     // the bay's label; "" for a port in no bay
    std::string port;    // "COM33"
    std::string adapter; // its place or serial number, or its friendly name
    std::string state;   // "Waiting for a board", "Found 24HJ64", "Writing 43 %", " Program Ok "
    std::string chip;    // the chip of the board met last: "PIC24HJ64"
    std::string detail;  // the chip and how long its board took, why it failed, a port problem
    std::string counts;  // "12 programmed, 1 failed"
    TileState kind = TileState::Absent;
    int progressPermille = 0; // 0 to 1000, shown while writing
    int programmed = 0;
    int failed = 0;

    bool operator==(const TileView&) const = default;
};

// The colours of a state: the tile's background and its text.
ui::Color tileColor(TileState state);
ui::Color tileTextColor(TileState state);

class StationTiles final : public station::StationObserver {
public:
    // A tile for every bay, and for every port named, before any station starts: an operator
    // sees the bench as it is meant to be.
    StationTiles(const std::vector<station::Bay>& bays, const std::vector<std::string>& ports);

    // What changed since the last call, on the window's thread.
    struct Changes {
        std::vector<std::pair<int, TileView>> tiles; // by tile number
        int tileCount = 0;
        int boardsFailed = 0; // boards that failed since the last call, those stopped left out
    };
    Changes take();
    // Boards met and not yet ended: those a stop would cut short.
    int boardsInProgress() const;
    // Programmed and failed, over every tile.
    std::pair<int, int> totals() const;
    // The run has ended: tiles that waited for a board say so no more.
    void runEnded();

    // The stations' events.
    void stationStarted(int station, const serial::PortDescription& port,
                        const std::string& bay) override;
    void portGone(int station) override;
    void portDescribed(int station, const serial::PortDescription& port) override;
    void searchTry(int station, int attempt) override;
    void boardFound(int station, const engine::BoardFound& board, const chips::Chip* chip) override;
    void phase(int station, engine::Phase phase) override;
    void progress(int station, station::Stage stage, int32_t done, int32_t total) override;
    void result(int station, const station::BoardResult& board, int programmed,
                int failed) override;
    void problem(int station, const std::string& text) override;

private:
    struct Tile {
        TileView view;
        std::string key; // the bay's label, else the port's name
        bool changed = true;
    };
    // The tile of a bay or port, made when it is first met. Under mutex_.
    int tileOf(const std::string& bay, const std::string& port);
    // Changes the station's tile under the lock. A station never started has no tile.
    template <typename Change> void update(int station, Change change);

    mutable std::mutex mutex_;
    std::vector<Tile> tiles_;
    std::vector<int> tileOfStation_; // by station number; -1: none
    int boardsFailed_ = 0;
};

} // namespace app

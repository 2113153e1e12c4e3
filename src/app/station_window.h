// The station window: trevane-cli's production station for operators. A tile per bay shows what
// its board is doing; Start and Stop act on the whole station. A station is defined by its
// command line alone (ports, bays, journal, operator, firmware file, search byte), so that a
// shortcut holds it and nothing in the window can change it. Records are kept always: without
// --journal in the user's own journal.
#pragma once

#include "app/station_form.h"
#include "app/station_tiles.h"
#include "firmware/product.h"
#include "station/run.h"
#include "station/station_files.h"
#include "ui/toolkit.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The command line of the station window: trevane-cli's station options.
struct StationArguments {
    std::vector<std::string> ports; // none: every port present, and those plugged in later
    std::string bays;
    std::string journal; // "": the user's own journal
    std::string operatorName;
    std::string image;    // "": the built-in images
    bool upgrade = false; // the Upgrade window's search byte and rules
};

// The arguments, or a usage error (with the usage) in `error`.
std::optional<StationArguments> parseStationArguments(int argc, const char* const* argv,
                                                      bool devicePaths, std::string& error);

// What the station window takes from its system; tests put simulated boards in its place.
struct StationPlatform {
    serial::Ports ports;
    station::OpenRecordFile openJournal;
    std::string hostName;
    std::string userJournal; // the journal without --journal: per user, its folder made as needed
    int watchPeriodMs = 500;
    bool devicePaths = false; // ports may be named by device path
};

// This system's ports (their links in `links`), journals and the user's own journal, for a
// station on this machine whose name is `hostName`.
StationPlatform systemStationPlatform(std::string hostName, const serial::PortLinks& links);

class StationWindow final : public ui::FormHandler {
public:
    // The files of the station must have been read (openStationFiles) without fault.
    StationWindow(ui::Toolkit& toolkit, const firmware::Product& product, std::string version,
                  StationArguments arguments, station::StationFiles files,
                  StationPlatform platform);
    ~StationWindow() override;

    ui::FormView& view() { return *view_; }
    // Shows the window and starts the station.
    void show();
    // From any thread (SIGTERM, Ctrl+C): every board stops at its next wait, gets its record,
    // and the window closes, without asking.
    void requestClose() { closeRequested_ = true; }

    void onEvent(int control, ui::Event event) override;
    bool onCloseRequest() override;

    // The window's work on its own thread, about 30 times a second while anything changes (four
    // times a second when nothing has for a second): what the tiles changed, a beep for a failed
    // board, a journal that failed, a stop that has ended. Public for tests.
    void refresh();
    // The journal this station writes.
    const std::string& journalPath() const { return journalPath_; }
    const StationTiles& tiles() const { return *tiles_; }

private:
    void start();
    void stop();
    void showRunning(bool running);
    void showTile(int tile, const TileView& view);
    void showTotals();
    void layOut(int shown);
    void refreshEvery(int ms);

    ui::Toolkit& toolkit_;
    const firmware::Product& product_;
    const std::string version_;
    const StationArguments arguments_;
    station::StationFiles files_;
    const StationPlatform platform_;
    std::string journalPath_;
    StationForm form_;
    std::unique_ptr<ui::FormView> view_;
    std::unique_ptr<StationTiles> tiles_;
    std::unique_ptr<station::Journal> journal_;
    std::unique_ptr<station::Run> run_;
    std::unique_ptr<ui::Timer> refreshTimer_;
    int refreshMs_ = 0;
    int quietRefreshes_ = 0; // in a row, with nothing to show
    std::atomic<bool> closeRequested_{false};
    int tilesShown_ = 0;
    bool stopping_ = false;
    bool closing_ = false;    // closes once the run has ended
    bool refreshing_ = false; // a message box inside refresh runs the loop again
    bool journalFailureShown_ = false;
};

// The station window's whole run: arguments, files, the window and its event loop. The exit
// status: 0, or 2 for a usage error or a file at fault (said in a message box).
int runStationWindow(ui::Toolkit& toolkit, const firmware::Product& product,
                     const std::string& version, int argc, const char* const* argv,
                     StationPlatform platform,
                     const std::function<void(std::function<void()>)>& onInterrupt);

} // namespace app

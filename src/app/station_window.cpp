#include "app/station_window.h"

#include "serial/port_name.h"

#include <cstdio>
#include <filesystem>
#include <utility>

namespace app {

namespace {

using namespace station_form;

constexpr const char* kCaption = "Trevane Station";
// About 30 times a second while anything changes: progress drawn no oftener than that. A bench
// that waits for boards is looked at four times a second, so that it costs next to nothing.
constexpr int kRefreshMs = 33;
constexpr int kIdleRefreshMs = 250;
constexpr int kRefreshesBeforeIdle = 30; // a second without a change

std::string usage() {
    return "usage: trevane-station [--bays FILE] [--journal FILE] [--operator NAME] "
           "[--image FILE] [--upgrade] [PORT...]";
}

std::string boardsQuestion(int boards) {
    if (boards == 1) return "1 board is being written. Stop it?";
    return std::to_string(boards) + " boards are being written. Stop them?";
}

} // namespace

std::optional<StationArguments> parseStationArguments(int argc, const char* const* argv,
                                                      bool devicePaths, std::string& error) {
    StationArguments a;
    const auto fail = [&](const std::string& why) {
        error = why + "\n" + usage();
        return std::nullopt;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (arg == "--upgrade") {
            a.upgrade = true;
        } else if (arg == "--bays" || arg == "--journal" || arg == "--operator" ||
                   arg == "--image") {
            std::string& into = arg == "--bays"      ? a.bays
                                : arg == "--journal" ? a.journal
                                : arg == "--image"   ? a.image
                                                     : a.operatorName;
            if (!value(into) || into.empty()) return fail(arg + " needs a value");
        } else if (serial::comNumber(arg) > 0 || (devicePaths && arg.rfind("/", 0) == 0)) {
            for (const std::string& earlier : a.ports)
                if (serial::samePortName(earlier, arg)) return fail(arg + " is given twice");
            a.ports.push_back(arg);
        } else {
            return fail("'" + arg + "' is neither an option nor a port (COM1 to COM257)");
        }
    }
    return a;
}

StationWindow::StationWindow(ui::Toolkit& toolkit, const firmware::Product& product,
                             std::string version, StationArguments arguments,
                             station::StationFiles files, StationPlatform platform)
    : toolkit_(toolkit), product_(product), version_(std::move(version)),
      arguments_(std::move(arguments)), files_(std::move(files)), platform_(std::move(platform)),
      journalPath_(arguments_.journal.empty() ? platform_.userJournal : arguments_.journal),
      view_(toolkit.createForm(form_.desc(), *this)),
      tiles_(std::make_unique<StationTiles>(files_.bays, arguments_.ports)) {
    view_->form().setCaption(kCaption);
    view_->label(Title).setText(product_.identity);
    view_->label(Build).setText(std::string("Built ") + product_.buildDate + " " +
                                product_.buildTime + ", Trevane " + version_);
    view_->label(Operator).setText(
        "Operator: " + (arguments_.operatorName.empty() ? "(none)" : arguments_.operatorName));
    view_->label(Image).setText(files_.image ? "Image: " + files_.image->fileName() + ", sha256 " +
                                                   files_.image->fileSha256().substr(0, 12)
                                             : std::string("Image: built in"));
    view_->statusBar(Status).setPanelText(kJournalPanel, "Journal: " + journalPath_);
    refresh();
    showRunning(false);
}

StationWindow::~StationWindow() {
    refreshTimer_.reset();
    if (run_) {
        run_->stop(station::StopReason::UserInterrupt);
        run_->finish();
    }
}

void StationWindow::show() {
    view_->form().show();
    refreshEvery(kRefreshMs);
    start();
}

void StationWindow::refreshEvery(int ms) {
    if (refreshTimer_ && refreshMs_ == ms) return;
    refreshMs_ = ms;
    refreshTimer_ = toolkit_.every(ms, [this] { refresh(); });
}

void StationWindow::onEvent(int control, ui::Event event) {
    if (event != ui::Event::Click) return;
    if (control == Start) start();
    if (control == Stop) stop();
}

void StationWindow::start() {
    if (run_) return;
    // No record, no programming: a journal that cannot be opened keeps the station stopped.
    std::error_code made;
    if (arguments_.journal.empty())
        std::filesystem::create_directories(std::filesystem::path(journalPath_).parent_path(),
                                            made);
    std::string error;
    std::unique_ptr<station::RecordFile> file =
        platform_.openJournal ? platform_.openJournal(journalPath_, error) : nullptr;
    if (!file) {
        toolkit_.messageBox("The journal " + journalPath_ + " cannot be opened: " + error +
                                ".\nNo record, no programming: the station does not start.",
                            kCaption);
        return;
    }
    journal_ = std::make_unique<station::Journal>(
        std::move(file), station::JournalContext{platform_.hostName, arguments_.operatorName,
                                                 product_.identity, version_});

    station::RunSetup setup = station::runSetup(product_, files_.image.get(), arguments_.upgrade);
    setup.stations.watch = true;
    setup.stations.journal = journal_.get();
    setup.bays = files_.bays;
    setup.watchedNames = arguments_.ports;
    station::RunServices services{platform_.ports, platform_.watchPeriodMs, {}};
    run_ = std::make_unique<station::Run>(std::move(setup), std::move(services), *tiles_);
    run_->start();
    journalFailureShown_ = false;
    stopping_ = false;
    showRunning(true);
}

void StationWindow::stop() {
    if (!run_ || stopping_) return;
    stopping_ = true;
    run_->stop(station::StopReason::UserInterrupt);
    view_->statusBar(Status).setPanelText(kRunPanel, "Stopping");
}

bool StationWindow::onCloseRequest() {
    if (!run_) return true;
    if (closing_) return false; // once every board has stopped and has its record
    if (!closeRequested_) {
        const int boards = tiles_->boardsInProgress();
        if (boards > 0 && !toolkit_.ask(boardsQuestion(boards), kCaption)) return false;
    }
    closing_ = true;
    stop();
    return false;
}

void StationWindow::refresh() {
    if (refreshing_) return; // a message box below runs the event loop, and so this, again
    refreshing_ = true;
    if (closeRequested_ && !closing_ && run_) {
        closing_ = true;
        stop();
    }
    const StationTiles::Changes changes = tiles_->take();
    quietRefreshes_ = changes.tiles.empty() && !stopping_ ? quietRefreshes_ + 1 : 0;
    if (refreshTimer_)
        refreshEvery(quietRefreshes_ >= kRefreshesBeforeIdle ? kIdleRefreshMs : kRefreshMs);
    if (changes.tileCount != tilesShown_) layOut(std::min(changes.tileCount, kMaxTiles));
    for (const auto& [tile, shown] : changes.tiles)
        if (tile < kMaxTiles) showTile(tile, shown);
    if (!changes.tiles.empty()) showTotals();
    // Once for each refresh that saw a board fail: an operator looks up.
    if (changes.boardsFailed > 0) toolkit_.beep();

    if (run_ && run_->stopReason() == station::StopReason::RecordLost && !journalFailureShown_) {
        journalFailureShown_ = true;
        stopping_ = true;
        view_->statusBar(Status).setPanelText(kRunPanel, "Stopping");
        toolkit_.messageBox("The journal " + journalPath_ + " cannot be written (" +
                                journal_->error() +
                                ").\nNo record, no programming: every bay has stopped.",
                            kCaption);
    }
    if (run_ && stopping_ && run_->waitForEnd(0)) {
        run_->finish();
        run_.reset();
        journal_.reset();
        tiles_->runEnded();
        stopping_ = false;
        showRunning(false);
        refreshing_ = false;
        refresh(); // the tiles that stopped
        if (closing_) view_->form().close();
        return;
    }
    refreshing_ = false;
}

void StationWindow::showRunning(bool running) {
    view_->button(Start).setVisible(!running);
    view_->button(Stop).setVisible(running);
    view_->statusBar(Status).setPanelText(kRunPanel, running ? "Running" : "Stopped");
}

void StationWindow::layOut(int shown) {
    tilesShown_ = shown;
    for (int t = 0; t < kMaxTiles; ++t) {
        ui::Panel& panel = view_->panel(tileControl(t, Panel));
        panel.setVisible(t < shown);
        if (t >= shown) continue;
        panel.setRect(tileRect(t, shown));
        view_->label(tileControl(t, Adapter)).setVisible(!compactTiles(shown));
        view_->label(tileControl(t, Detail)).setVisible(!compactTiles(shown));
    }
}

void StationWindow::showTile(int tile, const TileView& v) {
    // A port in no bay is named by its port alone.
    view_->label(tileControl(tile, Bay)).setText(v.bay.empty() ? v.port : v.bay);
    view_->label(tileControl(tile, Port)).setText(v.bay.empty() ? "" : v.port);
    ui::Label& state = view_->label(tileControl(tile, State));
    state.setText(v.state);
    state.setColor(tileColor(v.kind));
    state.setFontColor(tileTextColor(v.kind));
    ui::ProgressBar& progress = view_->progressBar(tileControl(tile, Progress));
    progress.setMax(1000);
    progress.setPosition(v.progressPermille);
    view_->label(tileControl(tile, Counts)).setText(v.counts);
    view_->label(tileControl(tile, Adapter)).setText(v.adapter);
    view_->label(tileControl(tile, Detail)).setText(v.detail);
}

void StationWindow::showTotals() {
    const auto [programmed, failed] = tiles_->totals();
    std::string text =
        std::to_string(programmed) + " programmed, " + std::to_string(failed) + " failed";
    if (programmed + failed > 0) {
        char yield[32];
        std::snprintf(yield, sizeof yield, ", yield %.1f %%",
                      100.0 * programmed / (programmed + failed));
        text += yield;
    }
    view_->label(Totals).setText(text);
}

int runStationWindow(ui::Toolkit& toolkit, const firmware::Product& product,
                     const std::string& version, int argc, const char* const* argv,
                     StationPlatform platform,
                     const std::function<void(std::function<void()>)>& onInterrupt) {
    toolkit.setApplicationTitle(kCaption);
    std::string error;
    std::optional<StationArguments> arguments =
        parseStationArguments(argc, argv, platform.devicePaths, error);
    if (!arguments) {
        toolkit.messageBox(error, kCaption);
        return 2;
    }
    // The firmware file and the bays are read before any port is touched; the journal is
    // opened by each start.
    std::vector<std::string> faults;
    std::optional<station::StationFiles> files = station::openStationFiles(
        {arguments->image, arguments->bays, ""}, product, {}, platform.openJournal, faults);
    if (!files) {
        std::string text;
        for (const std::string& line : faults)
            text += (text.empty() ? "" : "\n") + line;
        toolkit.messageBox(text, kCaption);
        return 2;
    }
    StationWindow window(toolkit, product, version, std::move(*arguments), std::move(*files),
                         std::move(platform));
    if (onInterrupt) onInterrupt([&window] { window.requestClose(); });
    window.show();
    toolkit.run(window.view());
    if (onInterrupt) onInterrupt(nullptr);
    return 0;
}

} // namespace app

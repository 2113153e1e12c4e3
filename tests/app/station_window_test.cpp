// The station window's logic through the fake toolkit: what each tile shows for each state, the
// counts a bay keeps across plugs, and the question a close asks while boards are written, with
// board-sim's bootloader behind every port.
#include "app/station_tiles.h"
#include "app/station_window.h"
#include "chips/chip_table.h"
#include "fake_ui.h"
#include "simulated_port.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace {

using app::TileState;
namespace form = app::station_form;

engine::Result failure(engine::Outcome outcome) {
    return engine::Result(outcome);
}

TEST(StationTiles, EachStateItsTextAndColour) {
    app::StationTiles tiles({{"A1", "usb-0:2"}}, {});
    serial::PortDescription port{"COM33", "/dev/ttyUSB0", "FT232R (ttyUSB0)", "usb-0:2"};
    port.serial = "A5X";
    engine::BoardFound board;
    station::BoardResult ok;
    ok.result = engine::Result(engine::Outcome::Ok);
    station::BoardResult refused;
    refused.result = failure(engine::Outcome::ChecksumError);
    station::BoardResult unrecorded = ok;
    unrecorded.notRecorded = true;
    const struct {
        const char* what;
        std::function<void()> event;
        const char* state;
        TileState kind;
        ui::Color color;
    } steps[] = {
        {"before its port is there", [] {}, "No adapter", TileState::Absent, {176, 176, 176}},
        {"started", [&] { tiles.stationStarted(0, port, "A1"); }, "Waiting for a board",
         TileState::Waiting, ui::kButtonFace},
        {"found",
         [&] { tiles.boardFound(0, board, chips::chipByCode(254)); },
         "Found 24HJ64",
         TileState::Found,
         {255, 224, 130}},
        {"writing",
         [&] { tiles.progress(0, station::Stage::Flash, 16000, 32587); },
         "Writing 49 %",
         TileState::Writing,
         {255, 224, 130}},
        {"passed", [&] { tiles.result(0, ok, 1, 0); }, " Program Ok ", TileState::Passed,
         ui::kGreen},
        {"taken away", [&] { tiles.searchTry(0, 0); }, "Waiting for a board", TileState::Waiting,
         ui::kButtonFace},
        {"refused", [&] { tiles.result(0, refused, 1, 1); }, " CHK Error !! ", TileState::Failed,
         ui::kRed},
        {"not recorded", [&] { tiles.result(0, unrecorded, 1, 2); }, " Program Ok ",
         TileState::Failed, ui::kRed},
        {"pulled out",
         [&] { tiles.portGone(0); },
         "Adapter removed",
         TileState::Absent,
         {176, 176, 176}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.event();
        const app::StationTiles::Changes changes = tiles.take();
        ASSERT_EQ(changes.tileCount, 1);
        ASSERT_EQ(changes.tiles.size(), 1u);
        const app::TileView& v = changes.tiles[0].second;
        EXPECT_EQ(v.state, step.state);
        EXPECT_EQ(v.kind, step.kind);
        EXPECT_EQ(app::tileColor(v.kind), step.color);
        EXPECT_EQ(v.bay, "A1");
    }
    // The bay keeps its counts when its port comes again; a failed board is one beep.
    tiles.stationStarted(0, port, "A1");
    tiles.result(0, refused, 0, 1); // the station's own count starts again
    const app::StationTiles::Changes last = tiles.take();
    EXPECT_EQ(last.tiles.at(0).second.counts, "1 programmed, 3 failed");
    EXPECT_EQ(last.tiles.at(0).second.adapter, "adapter A5X");
    EXPECT_EQ(last.boardsFailed, 1);
    EXPECT_TRUE(tiles.take().tiles.empty()) << "nothing changed since";
    // udev names the adapter only after the station started: the tile follows.
    port.serial = "B7Y";
    tiles.portDescribed(0, port);
    EXPECT_EQ(tiles.take().tiles.at(0).second.adapter, "adapter B7Y");
}

// Every port a simulated board; a board can be held in the middle of its write.
class Bench {
public:
    explicit Bench(int boards) {
        for (int i = 0; i < boards; ++i) {
            boardsim::Config c;
            c.chip = 254;
            c.bios = 10;
            c.board = 2;
            c.preparation = 0x81;
            const std::string name = "COM" + std::to_string(200 + i);
            boards_[name] = std::make_unique<boardsim::SimulatedPort>(c, name);
        }
    }
    // Holds every board at its 100th wait of a write until released.
    void holdWrites() {
        for (auto& [name, board] : boards_)
            board->onWait([this](int64_t waits) {
                if (waits != 100) return;
                std::unique_lock lock(mutex_);
                ++held_;
                changed_.notify_all();
                changed_.wait(lock, [this] { return released_; });
            });
    }
    bool waitUntilHeld(int boards) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return held_ >= boards; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    app::StationPlatform platform(const std::string& journal) {
        app::StationPlatform p;
        p.ports.make = [this] { return std::make_unique<Socket>(*this); };
        p.ports.list = [this] {
            std::vector<serial::PortDescription> ports;
            for (const auto& [name, board] : boards_)
                ports.push_back({name, "sim", "board"});
            return ports;
        };
        p.openJournal = &station::openRecordFile;
        p.userJournal = journal;
        p.watchPeriodMs = 10;
        return p;
    }

private:
    class Socket final : public serial::SerialPort {
    public:
        explicit Socket(Bench& bench) : bench_(bench) {}
        serial::PortError open(std::string_view name) override {
            board_ = bench_.boards_.at(std::string(name)).get();
            return board_->open(name);
        }
        void close() override { board_->close(); }
        bool isOpen() const override { return board_ && board_->isOpen(); }
        bool usable() override { return board_ && board_->usable(); }
        int32_t read(uint8_t* b, int32_t n) override { return board_->read(b, n); }
        bool write(const uint8_t* b, int32_t n) override { return board_->write(b, n); }
        bool waitReadable(int ms) override { return board_->waitReadable(ms); }
        int64_t clockUs() const override { return board_->clockUs(); }

    private:
        Bench& bench_;
        boardsim::SimulatedPort* board_ = nullptr;
    };

    std::map<std::string, std::unique_ptr<boardsim::SimulatedPort>> boards_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int held_ = 0;
    bool released_ = false;
};

std::vector<std::string> lines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> all;
    for (std::string line; std::getline(in, line);)
        all.push_back(line);
    return all;
}

// Closing asks first while boards are written; No goes on, Yes stops them at their next wait,
// each with its record, and only then closes.
TEST(StationWindow, ClosingWhileBoardsAreWrittenAsksAndStopsThemWithTheirRecords) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("station-window-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    const std::filesystem::path journal = dir / "user" / "journal.jsonl"; // folder made at start
    Bench bench(2);
    bench.holdWrites();
    fake::Toolkit toolkit;
    app::StationArguments arguments;
    arguments.operatorName = "shift A";
    app::StationWindow window(toolkit, firmware::thisProduct(), "9.9.9", arguments, {},
                              bench.platform(journal.string()));
    window.show();
    ASSERT_TRUE(bench.waitUntilHeld(2));
    window.refresh();
    fake::FormView& view = toolkit.view("StationWindow");
    EXPECT_EQ(
        view.fakeLabel(app::station_form::tileControl(0, form::State)).value.rfind("Writing", 0),
        0u);
    EXPECT_TRUE(view.fakePanel(app::station_form::tileControl(1, form::Panel)).shown);
    EXPECT_FALSE(view.fakePanel(app::station_form::tileControl(2, form::Panel)).shown);

    toolkit.answers = {false, true};
    EXPECT_FALSE(window.onCloseRequest()); // No: the boards go on
    ASSERT_EQ(toolkit.questions.size(), 1u);
    EXPECT_EQ(toolkit.questions[0].text, "2 boards are being written. Stop them?");
    window.refresh();
    EXPECT_EQ(view.fakeButton(form::Stop).shown, true);

    EXPECT_FALSE(window.onCloseRequest()); // Yes: stopped at their next wait, closed after
    bench.release();
    for (int i = 0; i < 500 && !view.fakeForm().closed; ++i) {
        window.refresh();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(view.fakeForm().closed);
    const std::vector<std::string> records = lines(journal);
    ASSERT_EQ(records.size(), 2u);
    for (const std::string& record : records) {
        EXPECT_NE(record.find("\"text\":\" User Abort !! \""), std::string::npos) << record;
        EXPECT_NE(record.find("\"operator\":\"shift A\""), std::string::npos) << record;
    }
    EXPECT_EQ(toolkit.beeps, 0) << "boards stopped by the operator are no alarm";
    std::filesystem::remove_all(dir);
}

} // namespace

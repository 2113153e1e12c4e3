#include "cli/station.h"

#include "chips/chip_table.h"

#include <chrono>
#include <cstdio>

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// Replies slower than this (median) cost a full update a noticeable share of its time.
constexpr double kSlowReplyMs = 5.0;

// The session's events, as this port's part of the report.
class PortObserver final : public engine::SessionObserver {
public:
    PortObserver(int index, Report& report) : index_(index), report_(report) {}

    bool metBoard() const { return metBoard_; }
    const ReplyTimes& replyTimes() const { return replyTimes_; }

    void searchTry(int attempt) override { report_.searchTry(index_, attempt); }
    void sessionStarted() override { metBoard_ = true; }
    void boardFound(const engine::BoardFound& board) override {
        report_.boardFound(index_, board, chips::chipByCode(board.identification.chipCode));
    }
    void imageLoaded(const engine::LoadedImage& image) override {
        report_.imageLoaded(index_, image);
    }
    void programModeEntry() override { report_.phase(index_, "Entry in PrgMode"); }
    void programmingStarted() override { report_.phase(index_, "Programming"); }
    void flashStarted(int32_t maximum) override {
        stage_ = Stage::Flash;
        total_ = maximum;
        report_.progress(index_, stage_, 0, total_);
    }
    void progress(int32_t position) override {
        // The EEPROM stage reports the index of the byte just written.
        report_.progress(index_, stage_, stage_ == Stage::Eeprom ? position + 1 : position, total_);
    }
    void resend(int attempt) override { report_.resend(index_, attempt); }
    void replyTimed(int32_t microseconds) override { replyTimes_.add(microseconds); }
    void fixFrame() override {
        report_.progress(index_, Stage::Flash, total_, total_);
        report_.phase(index_, "Fix Program");
    }
    void eepromStarted(int32_t length) override {
        stage_ = Stage::Eeprom;
        total_ = length;
        report_.phase(index_, "Program EEP");
        report_.progress(index_, stage_, 0, total_);
    }

private:
    const int index_;
    Report& report_;
    bool metBoard_ = false;
    Stage stage_ = Stage::Flash;
    int32_t total_ = 0;
    ReplyTimes replyTimes_;
};

} // namespace

Station::Station(int index, std::string portName, std::unique_ptr<serial::SerialPort> port,
                 const firmware::ImageTable& images, engine::SessionOptions options, bool repeat,
                 Report& report, std::string latencyFix)
    : index_(index), portName_(std::move(portName)), port_(std::move(port)), images_(images),
      options_(options), repeat_(repeat), report_(report), latencyFix_(std::move(latencyFix)) {}

void Station::interrupt() {
    interrupted_ = true;
    std::lock_guard lock(sessionMutex_);
    if (running_) running_->requestAbort();
}

bool Station::openPort() {
    if (port_->usable()) return true;
    const serial::PortError error = port_->open(portName_);
    if (!error) {
        portProblemShown_ = false;
        adviseOnLatency(std::nullopt);
        return true;
    }
    // At a station the adapter may come and go: say it once, not at every try.
    if (!portProblemShown_) report_.problem(index_, serial::describe(error, portName_));
    portProblemShown_ = true;
    return false;
}

void Station::run() {
    if (!repeat_) {
        openPort();
        updateOneBoard(0);
        port_->close();
        return;
    }
    int board = 0;
    while (!interrupted_) {
        if (!openPort()) {
            pause(1000);
            continue;
        }
        if (!updateOneBoard(board + 1)) continue; // no board yet: search again
        ++board;
        waitUntilBoardIsGone();
    }
    port_->close();
}

bool Station::updateOneBoard(int board) {
    PortObserver observer(index_, report_);
    engine::BlockingWait wait;
    engine::Session session(*port_, images_, options_, wait, observer);
    {
        std::lock_guard lock(sessionMutex_);
        if (interrupted_) return false;
        running_ = &session;
    }
    const auto start = Clock::now();
    const engine::Result result = session.run();
    {
        std::lock_guard lock(sessionMutex_);
        running_ = nullptr;
    }
    // At a station, searching is waiting for the next board: only a board met counts.
    if (repeat_ && !observer.metBoard()) return false;
    last_ = result;
    ++(result.ok() ? programmed_ : failed_);
    BoardResult ended;
    ended.board = board;
    ended.result = result;
    ended.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!observer.replyTimes().empty()) ended.replies = observer.replyTimes().timing();
    replyTimes_.add(observer.replyTimes());
    report_.result(index_, ended, programmed_, failed_);
    adviseOnLatency(ended.replies);
    return true;
}

void Station::adviseOnLatency(const std::optional<ReplyTiming>& replies) {
    const std::optional<serial::AdapterLatency> timer = port_->adapterLatency();
    if (!timerHintShown_ && timer && timer->timerMs > serial::kLowLatencyMs) {
        timerHintShown_ = true;
        report_.hint(index_,
                     portName_ + ": the adapter's latency timer is " +
                         std::to_string(timer->timerMs) +
                         " ms, and every reply of the board waits for it. Fix: " + timer->fix);
    }
    if (slowRepliesHintShown_ || !replies || replies->medianMs <= kSlowReplyMs) return;
    slowRepliesHintShown_ = true;
    char median[32];
    std::snprintf(median, sizeof median, "%.1f ms", replies->medianMs);
    const std::string fix = timer ? timer->fix : latencyFix_;
    report_.hint(index_, portName_ + ": the board's replies took " + median +
                             " (median); the likely cause is a USB adapter's latency timer." +
                             (fix.empty() ? "" : " Fix: " + fix));
}

void Station::waitUntilBoardIsGone() {
    // The same board left plugged in must not be programmed twice: a new board counts only
    // once a search byte has gone unanswered.
    engine::BlockingWait wait;
    engine::SessionObserver quiet;
    while (!interrupted_ && port_->usable()) {
        engine::Session probe(*port_, images_, options_, wait, quiet);
        if (!probe.boardAnswers()) return;
        pause(500);
    }
}

void Station::pause(int ms) {
    for (int waited = 0; waited < ms && !interrupted_; waited += engine::kStepMs) {
        if (port_->waitReadable(engine::kStepMs)) port_->discardInput();
    }
}

} // namespace cli

#include "station/station.h"

#include "chips/chip_table.h"
#include "firmware/reset_vector.h"
#include "serial/listing/adapter_facts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace station {
namespace {

using Clock = std::chrono::steady_clock;

// The session's events, as this station's events, and what the journal needs.
class PortObserver final : public engine::SessionObserver {
public:
    PortObserver(int index, StationObserver& report, const firmware::FileImages* file,
                 std::atomic<bool>& metBoard)
        : index_(index), report_(report), file_(file), metBoard_(metBoard) {}

    const std::optional<engine::BoardFound>& board() const { return board_; }
    int resends() const { return resends_; }
    const ReplyTimes& replyTimes() const { return replyTimes_; }
    const ReplyTimes& adapterTimes() const { return adapterTimes_; }

    void searchTry(int attempt) override { report_.searchTry(index_, attempt); }
    void sessionStarted() override { metBoard_ = true; }
    void boardFound(const engine::BoardFound& board) override {
        board_ = board;
        const uint8_t chip = board.identification.chipCode;
        report_.boardFound(index_, board, chips::chipByCode(chip));
        if (!file_ || chips::chipByCode(chip) == nullptr) return;
        // A file that does not suit the chip: why, before the session ends without an image.
        if (!file_->chipError(chip).empty()) {
            report_.problem(index_, file_->chipError(chip));
            return;
        }
        // One too big for the chip's application area: where, before the session refuses it.
        if (file_->plan(chip, board.identification.biosCode).tooBig)
            for (const std::string& line : file_->planLines(chip, board.identification.biosCode))
                report_.note(index_, line);
    }
    void planned(const engine::Plan& plan) override {
        // Before anything is written: what the file gives this chip, and what it leaves out.
        if (!file_) return;
        const engine::Identification& id = plan.board.identification;
        const firmware::ProtectedRange range{plan.protectedStart, plan.protectedLength,
                                             plan.skippedFrames};
        for (const std::string& line : file_->planLines(id.chipCode, id.biosCode, range))
            report_.note(index_, line);
    }
    void imageLoaded(const engine::LoadedImage& image) override {
        report_.imageLoaded(index_, image);
    }
    void programModeEntry() override { report_.phase(index_, engine::Phase::ProgramModeEntry); }
    void programmingStarted() override { report_.phase(index_, engine::Phase::Programming); }
    void flashStarted(int32_t maximum) override {
        stage_ = Stage::Flash;
        total_ = maximum;
        report_.progress(index_, stage_, 0, total_);
    }
    void progress(int32_t position) override {
        // The EEPROM stage reports the index of the byte just written.
        report_.progress(index_, stage_, stage_ == Stage::Eeprom ? position + 1 : position, total_);
    }
    void resend(int attempt) override {
        ++resends_;
        report_.resend(index_, attempt);
    }
    void replyTimed(int32_t microseconds) override { replyTimes_.add(microseconds); }
    void adapterTimed(int32_t microseconds) override { adapterTimes_.add(microseconds); }
    void fixFrame() override {
        report_.progress(index_, Stage::Flash, total_, total_);
        report_.phase(index_, engine::Phase::FixFrame);
    }
    void eepromStarted(int32_t length) override {
        stage_ = Stage::Eeprom;
        total_ = length;
        report_.phase(index_, engine::Phase::Eeprom);
        report_.progress(index_, stage_, 0, total_);
    }

private:
    const int index_;
    StationObserver& report_;
    const firmware::FileImages* file_;
    std::atomic<bool>& metBoard_;
    std::optional<engine::BoardFound> board_;
    int resends_ = 0;
    Stage stage_ = Stage::Flash;
    int32_t total_ = 0;
    ReplyTimes replyTimes_;
    ReplyTimes adapterTimes_; // the search's answer and the program-mode byte's
};

// The application's reset vector that the fix frame carries, for a person: "GOTO 0x0202".
std::string describeFix(const firmware::FirmwareImage& image, const chips::Chip& chip) {
    if (image.fixData == nullptr || image.fixLength <= 0) return {};
    return firmware::describeResetVector({image.fixData, static_cast<size_t>(image.fixLength)},
                                         chip.family);
}

} // namespace

Station::Station(int index, serial::PortDescription port, std::string bay,
                 std::unique_ptr<serial::SerialPort> serialPort, const StationSetup& setup,
                 std::string latencyFix)
    : index_(index), name_(port.name), port_(std::move(port)), bay_(std::move(bay)),
      serialPort_(std::move(serialPort)), setup_(setup), report_(*setup.observer),
      latencyFix_(std::move(latencyFix)) {}

void Station::describe(const serial::PortDescription& port, const std::string& bay) {
    std::lock_guard lock(descriptionMutex_);
    port_ = port;
    port_.name = name_; // the same port, whatever spelling the listing gave it this time
    bay_ = bay;
}

void Station::interrupt() {
    interrupted_ = true;
    std::lock_guard lock(sessionMutex_);
    if (running_) running_->requestAbort();
    stopped_.notify_all();
}

void Station::retire() {
    retired_ = true;
    std::lock_guard lock(sessionMutex_);
    if (running_ && !runningMetBoard_) running_->requestAbort();
    stopped_.notify_all();
}

bool Station::stopping() const {
    return interrupted_ || retired_ || (setup_.journal && setup_.journal->failed());
}

bool Station::openPort() {
    if (serialPort_->usable()) return true;
    openTried_ = true;
    const serial::PortError error = serialPort_->open(name_);
    if (!error) {
        everOpened_ = true;
        portProblemShown_ = false;
        adviseOnLatency(std::nullopt, std::nullopt);
        return true;
    }
    // At a station the adapter may come and go: say it once, not at every try; and not at all
    // when the watch is about to see that the port has gone.
    const bool gone = error.kind == serial::PortError::Kind::NotFound ||
                      error.kind == serial::PortError::Kind::InvalidName;
    if (!portProblemShown_ && !(setup_.watch && gone))
        report_.problem(index_, serial::describe(error, name_));
    portProblemShown_ = true;
    deviceAbsent_ = gone;
    return false;
}

void Station::run() {
    if (setup_.dryRun) {
        openPort();
        planOneBoard();
        serialPort_->close();
        return;
    }
    if (!setup_.repeat) {
        openPort();
        updateOneBoard(0);
        serialPort_->close();
        return;
    }
    int board = 0;
    while (!stopping()) {
        if (!openPort()) {
            // An absent device costs nothing to look for, and an adapter plugged in again is
            // taken up at once; a port that exists but would not open (busy, refused) is tried
            // again only once a second.
            pause(deviceAbsent_ ? 100 : 1000);
            continue;
        }
        if (!updateOneBoard(board + 1)) continue; // no board yet: search again
        ++board;
        waitUntilBoardIsGone();
    }
    serialPort_->close();
}

std::optional<ImageInfo> Station::imageInfo(const engine::BoardFound& board) {
    const engine::Identification& id = board.identification;
    const chips::Chip* chip = chips::chipByCode(id.chipCode);
    if (chip == nullptr) return std::nullopt;
    const firmware::FirmwareImage& image = setup_.images->select(id.chipCode, id.boardIndex);
    if (!image.hasImage()) return std::nullopt;
    ImageInfo info;
    info.slot = chips::slotOfCode(id.chipCode);
    if (setup_.file) {
        info.fromFile = true;
        info.file = setup_.file->fileName();
        info.sha256 = setup_.file->imageSha256(id.chipCode);
    } else {
        info.sha256 = firmware::flashSha256(image, *chip, *setup_.images);
    }
    return info;
}

bool Station::updateOneBoard(int board) {
    runningMetBoard_ = false;
    PortObserver observer(index_, report_, setup_.file, runningMetBoard_);
    engine::PatientWait wait;
    engine::Session session(*serialPort_, *setup_.images, setup_.options, wait, observer);
    {
        std::lock_guard lock(sessionMutex_);
        if (stopping()) return false;
        running_ = &session;
    }
    const auto start = Clock::now();
    const engine::Result result = session.run();
    {
        std::lock_guard lock(sessionMutex_);
        running_ = nullptr;
    }
    // At a station, searching is waiting for the next board: only a board met counts.
    if (setup_.repeat && !runningMetBoard_) return false;
    BoardResult ended;
    ended.board = board;
    ended.result = result;
    ended.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!observer.replyTimes().empty()) ended.replies = observer.replyTimes().timing();
    // Both answers that need no flash work took at least this long: the adapter's delay.
    if (!observer.adapterTimes().empty()) ended.adapterMs = observer.adapterTimes().timing().minMs;
    if (observer.board()) ended.image = imageInfo(*observer.board());
    replyTimes_.add(observer.replyTimes());
    adapterTimes_.add(observer.adapterTimes());

    // The record first: a board programmed without one counts as failed, and says so.
    BoardEntry entry;
    {
        std::lock_guard lock(descriptionMutex_);
        entry.bay = bay_;
        entry.port = port_;
    }
    entry.board = observer.board();
    if (entry.board) entry.chip = chips::chipByCode(entry.board->identification.chipCode);
    entry.result = ended;
    entry.resends = observer.resends();
    ended.notRecorded = !keepRecord(entry);
    last_ = result;
    if (ended.ok())
        ++programmed_;
    else
        ++failed_;
    if (ended.notRecorded && result.ok()) ++programmedNotRecorded_;
    report_.result(index_, ended, programmed_, failed_);
    adviseOnLatency(ended.replies, ended.adapterMs);
    return true;
}

bool Station::keepRecord(const BoardEntry& entry) {
    if (setup_.journal == nullptr || setup_.journal->record(entry)) return true;
    report_.problem(index_, name_ + ": the journal cannot be written (" + setup_.journal->error() +
                                "): no further board is programmed");
    return false;
}

void Station::planOneBoard() {
    runningMetBoard_ = false;
    PortObserver observer(index_, report_, setup_.file, runningMetBoard_);
    engine::PatientWait wait;
    engine::Session session(*serialPort_, *setup_.images, setup_.options, wait, observer);
    {
        std::lock_guard lock(sessionMutex_);
        if (stopping()) return;
        running_ = &session;
    }
    engine::Plan plan;
    const engine::Result result = session.inspect(plan);
    {
        std::lock_guard lock(sessionMutex_);
        running_ = nullptr;
    }
    DryRun dryRun;
    dryRun.result = result;
    dryRun.board = observer.board();
    if (dryRun.board) dryRun.image = imageInfo(*dryRun.board);
    if (result.ok()) {
        dryRun.chip = plan.chip;
        dryRun.ranges = engine::flashRanges(plan);
        dryRun.flashFrames = plan.flashFrames;
        dryRun.skippedFrames = plan.skippedFrames;
        dryRun.protectedStart = plan.protectedStart;
        dryRun.protectedLength = plan.protectedLength;
        dryRun.fixAddress = plan.applicationLimit;
        dryRun.eepromBytes = plan.eepromBytes;
        dryRun.programMode = plan.programMode;
        dryRun.wireBytes = engine::wireBytes(plan);
        dryRun.seconds = engine::wireSeconds(plan, serial::kBaudRate);
        dryRun.resetVector = describeFix(*plan.image, *plan.chip);
    }
    last_ = result;
    ++(result.ok() ? programmed_ : failed_);
    report_.plan(index_, dryRun);
}

void Station::adviseOnLatency(const std::optional<ReplyTiming>& replies,
                              std::optional<double> adapterMs) {
    const std::optional<serial::AdapterLatency> timer = serialPort_->adapterLatency();
    if (const auto advice = serial::latencyAdvice(name_, timer); advice && !timerHintShown_) {
        timerHintShown_ = true;
        report_.hint(index_, *advice);
    }
    if (!replies || !adapterMs || slowRepliesHintShown_) return;
    char text[64];
    const LatencyVerdict verdict = latencyVerdict(*adapterMs, replies->medianMs);
    if (verdict == LatencyVerdict::Adapter) {
        // Even the answers that need no flash work came late: the adapter holds them back. Said
        // once: the timer's own hint may have said it already.
        slowRepliesHintShown_ = true;
        if (timerHintShown_) return;
        std::snprintf(text, sizeof text, "%.1f ms", *adapterMs);
        const std::string fix = timer ? timer->fix : latencyFix_;
        report_.hint(index_, name_ +
                                 ": the adapter passed on even the board's quickest answers "
                                 "only after " +
                                 text + "; the likely cause is a USB adapter's latency timer." +
                                 (fix.empty() ? "" : " Fix: " + fix));
    } else if (verdict == LatencyVerdict::BoardWork) {
        // A fast adapter and slow frames: the board's own flash work, nothing to fix here.
        slowRepliesHintShown_ = true;
        std::snprintf(text, sizeof text, "%.1f ms", boardWorkMs(*adapterMs, replies->medianMs));
        report_.note(index_, name_ + ": the board takes " + text +
                                 " to write a frame (its flash work); the adapter is quick");
    }
}

void Station::waitUntilBoardIsGone() {
    // The same board left plugged in must not be programmed twice: a new board counts only
    // once a search byte has gone unanswered.
    engine::PatientWait wait;
    engine::SessionObserver quiet;
    while (!stopping() && serialPort_->usable()) {
        engine::Session probe(*serialPort_, *setup_.images, setup_.options, wait, quiet);
        if (!probe.boardAnswers()) return;
        pause(500);
    }
}

void Station::pause(int ms) {
    const int slice = engine::PatientWait::kSliceMs;
    for (int waited = 0; waited < ms && !stopping(); waited += slice) {
        if (serialPort_->isOpen()) {
            if (serialPort_->waitReadable(slice)) serialPort_->discardInput();
            continue;
        }
        // A port that is closed or gone has nothing to wait on: wait for the stop instead, so
        // that a port plugged in again gets its new station at once.
        std::unique_lock lock(sessionMutex_);
        stopped_.wait_for(lock, std::chrono::milliseconds(slice), [this] { return stopping(); });
    }
}

} // namespace station

// One port of trevane-cli: its updates, one after another with --repeat, on a thread of its own.
#pragma once

#include "cli/report.h"
#include "engine/session.h"
#include "firmware/image_table.h"
#include "serial/serial_port.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace cli {

class Station {
public:
    // latencyFix: how to lower an adapter's latency timer on this system, for the hint that
    // slow replies bring.
    Station(int index, std::string portName, std::unique_ptr<serial::SerialPort> port,
            const firmware::ImageTable& images, engine::SessionOptions options, bool repeat,
            Report& report, std::string latencyFix);

    // Updates the board on the port; with repeat, board after board until interrupted. The
    // port is closed when it returns.
    void run();
    // From any thread: the running session stops at its next wait, and no other one starts.
    void interrupt();

    const std::string& portName() const { return portName_; }
    // The last board's result; none when no board was met (--repeat).
    const std::optional<engine::Result>& lastResult() const { return last_; }
    int programmed() const { return programmed_; }
    int failed() const { return failed_; }
    // The reply times of every frame of every board so far.
    const ReplyTimes& replyTimes() const { return replyTimes_; }

private:
    // Runs one session; false when it met no board (nothing answered, or the port is gone).
    bool updateOneBoard(int board);
    // After a board: until the port has seen a search go unanswered.
    void waitUntilBoardIsGone();
    // Waits about `ms`, or less when interrupted.
    void pause(int ms);
    bool openPort();
    // Once per port: an adapter whose timer holds replies back, or replies slow for any reason.
    void adviseOnLatency(const std::optional<ReplyTiming>& replies);

    const int index_;
    const std::string portName_;
    std::unique_ptr<serial::SerialPort> port_;
    const firmware::ImageTable& images_;
    const engine::SessionOptions options_;
    const bool repeat_;
    Report& report_;
    const std::string latencyFix_;
    std::atomic<bool> interrupted_{false};
    std::mutex sessionMutex_;
    engine::Session* running_ = nullptr;
    std::optional<engine::Result> last_;
    int programmed_ = 0;
    int failed_ = 0;
    bool portProblemShown_ = false;
    bool timerHintShown_ = false;
    bool slowRepliesHintShown_ = false;
    ReplyTimes replyTimes_;
};

} // namespace cli

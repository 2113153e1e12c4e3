// One port of a production station: its updates, board after board with repeat, on a thread of
// its own.
#pragma once

#include "engine/session.h"
#include "firmware/file_images.h"
#include "firmware/image_source.h"
#include "serial/listing/port_list.h"
#include "serial/serial_port.h"
#include "station/journal.h"
#include "station/observer.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace station {

// What every station of a run shares.
struct StationSetup {
    const firmware::ImageSource* images = nullptr;
    const firmware::FileImages* file = nullptr; // set when the images come from a file
    engine::SessionOptions options;
    bool repeat = false;
    bool watch = false; // ports come and go: one that has gone is not a problem to report
    bool dryRun = false;
    StationObserver* observer = nullptr;
    Journal* journal = nullptr; // none: no records kept
};

class Station {
public:
    // port: the port as the listing described it (its name at least). latencyFix: how to lower
    // an adapter's latency timer on this system, for the hint that slow replies bring.
    Station(int index, serial::PortDescription port, std::string bay,
            std::unique_ptr<serial::SerialPort> serialPort, const StationSetup& setup,
            std::string latencyFix);

    // Updates the board on the port; with repeat, board after board until interrupted or
    // retired. The port is closed when it returns.
    void run();
    // From any thread: the running session stops at its next wait, and no other one starts.
    void interrupt();
    // From any thread: the port has gone. A board being updated ends as it will (its port is
    // gone); a search for the next board stops at once, quietly.
    void retire();

    // The port's name, which never changes.
    const std::string& name() const { return name_; }
    // Its number in the events it sends.
    int index() const { return index_; }
    // The rest may (describe): read it on the station's thread or once the station has ended.
    const serial::PortDescription& port() const { return port_; }
    const std::string& bay() const { return bay_; }
    // From any thread: the port, the same one, is described anew (udev has named it, or given
    // its place), and so may be in another bay. The next record carries it.
    void describe(const serial::PortDescription& port, const std::string& bay);
    // The last board's result; none when no board was met (--repeat).
    const std::optional<engine::Result>& lastResult() const { return last_; }
    int programmed() const { return programmed_; }
    // Boards that failed, and those programmed whose record could not be written among them.
    int failed() const { return failed_; }
    int programmedNotRecorded() const { return programmedNotRecorded_; }
    // The port was tried but never opened in the whole run, for a reason of its own (busy,
    // refused, not a port); at a watch, a port that went before it could be opened does not
    // count.
    bool neverOpened() const {
        return openTried_ && !everOpened_ && !(setup_.watch && deviceAbsent_);
    }
    // The reply times of every frame of every board so far.
    const ReplyTimes& replyTimes() const { return replyTimes_; }
    // The answers that need no flash work, of every board so far.
    const ReplyTimes& adapterTimes() const { return adapterTimes_; }

private:
    // Runs one session; false when it met no board (nothing answered, or the port is gone).
    bool updateOneBoard(int board);
    // --dry-run: searches and decides, and reports the plan.
    void planOneBoard();
    // After a board: until the port has seen a search go unanswered.
    void waitUntilBoardIsGone();
    // Waits about `ms`, or less when interrupted.
    void pause(int ms);
    bool openPort();
    bool stopping() const;
    // Once per port: an adapter whose timer holds replies back, or replies slow for any reason.
    // A latency timer known to be long; answers that need no flash work held back (the
    // adapter); or frames slow behind a quick adapter (the board).
    void adviseOnLatency(const std::optional<ReplyTiming>& replies,
                         std::optional<double> adapterMs);
    std::optional<ImageInfo> imageInfo(const engine::BoardFound& board);
    // Writes the board's record; false when the journal could not take it.
    bool keepRecord(const BoardEntry& entry);

    const int index_;
    const std::string name_;
    serial::PortDescription port_;
    std::string bay_;
    mutable std::mutex descriptionMutex_; // port_ but its name, and bay_
    std::unique_ptr<serial::SerialPort> serialPort_;
    const StationSetup& setup_;
    StationObserver& report_;
    const std::string latencyFix_;
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> retired_{false};
    std::mutex sessionMutex_;
    std::condition_variable stopped_; // told when interrupted or retired
    engine::Session* running_ = nullptr;
    std::atomic<bool> runningMetBoard_{false};
    std::optional<engine::Result> last_;
    int programmed_ = 0;
    int failed_ = 0;
    int programmedNotRecorded_ = 0;
    bool openTried_ = false;
    bool everOpened_ = false;
    bool portProblemShown_ = false;
    bool deviceAbsent_ = false; // the last open found no device
    bool timerHintShown_ = false;
    bool slowRepliesHintShown_ = false;
    ReplyTimes replyTimes_;
    ReplyTimes adapterTimes_;
};

} // namespace station

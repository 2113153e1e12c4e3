// The journal of a production station: one JSON line per board met, with when and where it
// was programmed, which board it was, which image it got and how it went ("event": "board");
// an update that met no board (the port would not open, nothing answered) writes an
// "event": "no-board" line. Lines are written
// through a RecordFile, whole and on the disk before the station takes its next board; a
// station that cannot write its record programs no further board.
#pragma once

#include "engine/observer.h"
#include "serial/listing/port_list.h"
#include "station/json_text.h"
#include "station/observer.h"
#include "station/record_file.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace station {

// What every record says of the station.
struct JournalContext {
    std::string host;
    std::string operatorName; // empty: none given
    std::string productIdentity;
    std::string trevaneVersion;
};

// Everything known of one board when its update ended.
struct BoardEntry {
    std::string bay; // empty: the port matches no bay
    serial::PortDescription port;
    std::optional<engine::BoardFound> board;
    const chips::Chip* chip = nullptr;
    BoardResult result;
    int resends = 0;
};

// "2026-12-09T14:03:11.123Z"
std::string utcTimestamp(std::chrono::system_clock::time_point time);

// The record of a board.
Json journalRecord(const BoardEntry& entry, const JournalContext& context,
                   std::chrono::system_clock::time_point time);

// The record that takes the place of what a killed writer left of its record:
// {"event": "cut", "time", "text": the cut text}, repaired at `time`.
Json cutRecord(std::string_view torn, std::chrono::system_clock::time_point time);

class Journal {
public:
    Journal(std::unique_ptr<RecordFile> file, JournalContext context);

    // Writes the board's record. False once a write has failed, for this and every later call.
    bool record(const BoardEntry& entry);
    // Called once, on the thread whose record failed first, so that every station stops before
    // it programs a board that could not be recorded.
    void onFailure(std::function<void()> stopEverything) { onFailure_ = std::move(stopEverything); }
    bool failed() const { return failed_; }
    // Why the last write failed.
    std::string error() const;

private:
    std::unique_ptr<RecordFile> file_;
    const JournalContext context_;
    mutable std::mutex mutex_; // the stations of this process, one line at a time
    std::atomic<bool> failed_{false};
    std::string error_;
    std::function<void()> onFailure_;
};

} // namespace station

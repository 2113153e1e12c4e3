// A production station's run: a station (a thread) for each port given, or, when it watches, for
// each port as it appears in the listing and until it goes; stopped by whoever asks (Ctrl+C, a
// window's Stop, a lost output) or by a journal that can no longer take records; and, once every
// station has ended, the summary of what it did. trevane-cli and the station window both run
// their stations through it.
#pragma once

#include "engine/session.h"
#include "firmware/file_images.h"
#include "firmware/image_source.h"
#include "firmware/product.h"
#include "serial/listing/port_list.h"
#include "serial/serial_port.h"
#include "serial/system_ports.h"
#include "station/bays.h"
#include "station/journal.h"
#include "station/observer.h"
#include "station/station.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace station {

class StationPool;

struct RunSetup {
    StationSetup stations; // what every station shares; its observer is the run's
    std::vector<Bay> bays;
    // Without watch, the ports to update; with watch, the names of the only ports to watch
    // (none: every port), as a person gave them.
    std::vector<serial::PortDescription> ports;
    std::vector<std::string> watchedNames;
};

// A run's setup for a product: its images, or those of a firmware file; the search of its
// windowed program or, with upgrade, of its Upgrade window.
RunSetup runSetup(const firmware::Product& product, const firmware::FileImages* file, bool upgrade);

// What a run takes from its system.
struct RunServices {
    serial::Ports ports;
    int watchPeriodMs = 500; // how often the watch looks at the port listing
    // A message for a person that belongs to no station (a named port never seen).
    std::function<void(const std::string&)> warn;
};

enum class StopReason {
    None,
    UserInterrupt, // Ctrl+C, SIGTERM, SIGHUP, a console or window closed, Stop pressed
    OutputLost,    // the report's output has gone (a pipe whose reader ended)
    RecordLost,    // the journal could not take a record: no record, no programming
};

class Run {
public:
    Run(RunSetup setup, RunServices services, StationObserver& observer);
    ~Run(); // stops and waits for what still runs
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // Starts the stations, and the watch when the run watches.
    void start();
    // From any thread: every station stops at its next wait, none starts any more. The first
    // reason stays.
    void stop(StopReason reason);
    StopReason stopReason() const;
    // Waits up to ms for every station (and the watch) to end; true once they all have. A run
    // that watches ends only when stopped.
    bool waitForEnd(int ms);
    // Waits for the end and gives the summary. Once.
    Summary finish();

    const RunSetup& setup() const { return setup_; }

private:
    void watch();
    bool ended() const; // under mutex_

    RunSetup setup_;
    RunServices services_;
    StationObserver& observer_;
    std::unique_ptr<StationPool> pool_;
    std::thread watcher_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    StopReason stopReason_ = StopReason::None;
    bool watching_ = false;
    bool finished_ = false;
};

} // namespace station

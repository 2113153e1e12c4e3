// The stations of a run, each on a thread of its own: numbered, started as ports come, retired as
// they go, and, once ended, folded into the counts of their bay or port so that a long shift of
// plugging and pulling holds no thread or port.
#pragma once

#include "serial/system_ports.h"
#include "station/bays.h"
#include "station/station.h"

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace station {

class StationPool {
public:
    // What each station is given besides the shared setup.
    struct Services {
        serial::Ports ports; // its list goes unused: the run watches the ports
        // Called on a station's thread as it ends (may be empty).
        std::function<void()> stationEnded;
    };

    StationPool(const StationSetup& setup, const std::vector<Bay>& bays, Services services);
    ~StationPool(); // interrupts and joins what still runs
    StationPool(const StationPool&) = delete;
    StationPool& operator=(const StationPool&) = delete;

    void start(const serial::PortDescription& port);
    // Whether a station still runs on the port.
    bool runs(std::string_view port) const;
    // The port has gone: its station ends after the board in progress.
    void retire(std::string_view port);
    // The port, still the same, is described anew: its station's next record carries it.
    void describe(const serial::PortDescription& port);
    // From any thread: every station stops at its next wait, and those started later at once.
    void interrupt();
    // Joins the stations that have ended, keeping their counts.
    void reap();
    // Waits for every station to end.
    void join();
    // Whether every station started so far has ended.
    bool allEnded() const;

    // What the stations of each bay or port did, in the order they first started.
    struct Tally {
        PortTally counts;
        ReplyTimes times;        // the frames' replies
        ReplyTimes adapterTimes; // the answers that need no flash work
        std::optional<engine::Result> last;
        bool neverOpened = true; // see Station::neverOpened
    };
    // After join().
    const std::vector<Tally>& tallies() const { return tallies_; }

private:
    struct Running {
        std::unique_ptr<Station> station;
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void fold(const Station& station);
    // The number of the station of the port in the bay: the same each time it starts again.
    int numberOf(const std::string& port, const std::string& bay);

    const StationSetup& setup_;
    const std::vector<Bay>& bays_;
    const Services services_;
    mutable std::mutex mutex_;
    std::list<Running> running_;
    bool interrupted_ = false;
    std::vector<Tally> tallies_;
    std::vector<std::pair<std::string, std::string>> numbered_; // port and bay, by number
};

} // namespace station

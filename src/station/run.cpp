#include "station/run.h"

#include "serial/listing/port_watcher.h"
#include "serial/port_name.h"
#include "station/station_pool.h"

#include <algorithm>
#include <chrono>

namespace station {

RunSetup runSetup(const firmware::Product& product, const firmware::FileImages* file,
                  bool upgrade) {
    RunSetup setup;
    setup.stations.images =
        file ? static_cast<const firmware::ImageSource*>(file) : &product.images;
    setup.stations.file = file;
    setup.stations.options =
        upgrade ? engine::SessionOptions::upgrade() : engine::SessionOptions::updater();
    return setup;
}

Run::Run(RunSetup setup, RunServices services, StationObserver& observer)
    : setup_(std::move(setup)), services_(std::move(services)), observer_(observer) {
    if (setup_.stations.watch) setup_.stations.repeat = true;
    setup_.stations.observer = &observer_;
}

Run::~Run() {
    stop(StopReason::UserInterrupt);
    if (!finished_) finish();
}

void Run::start() {
    pool_ = std::make_unique<StationPool>(setup_.stations, setup_.bays,
                                          StationPool::Services{services_.ports, [this] {
                                                                    std::lock_guard lock(mutex_);
                                                                    changed_.notify_all();
                                                                }});
    // No record, no programming: a journal that fails stops every station at its next wait.
    Journal* journal = setup_.stations.journal;
    if (journal) journal->onFailure([this] { stop(StopReason::RecordLost); });
    if (setup_.stations.watch) {
        std::lock_guard lock(mutex_);
        watching_ = true;
        watcher_ = std::thread([this] { watch(); });
        return;
    }
    for (const serial::PortDescription& port : setup_.ports)
        pool_->start(port);
}

void Run::stop(StopReason reason) {
    {
        std::lock_guard lock(mutex_);
        if (stopReason_ == StopReason::None) stopReason_ = reason;
        changed_.notify_all();
    }
    if (pool_) pool_->interrupt();
}

StopReason Run::stopReason() const {
    std::lock_guard lock(mutex_);
    return stopReason_;
}

bool Run::ended() const {
    return !watching_ && (!pool_ || pool_->allEnded());
}

bool Run::waitForEnd(int ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ended(); });
}

void Run::watch() {
    using Clock = std::chrono::steady_clock;
    // udev describes a device a moment after it appears: its station waits for that (its first
    // record then has its place and bay), but not for long.
    constexpr auto kSettleAtMost = std::chrono::seconds(1);
    // A port named to be watched that never shows is most likely misspelt.
    constexpr auto kNamedPortGrace = std::chrono::seconds(5);

    serial::PortWatcher watcher(services_.ports.list);
    const std::vector<std::string>& names = setup_.watchedNames;
    const auto wanted = [&](const serial::PortDescription& port) {
        return names.empty() || std::any_of(names.begin(), names.end(), [&](const auto& name) {
                   return serial::namesPort(name, port);
               });
    };
    std::vector<std::string> neverSeen = names;
    const Clock::time_point started = Clock::now();
    // Ports that wait for their station: until udev has described them, and a port that came
    // back before its last station ended, for that one (two stations on one port would find it
    // busy).
    struct Waiting {
        serial::PortDescription port;
        Clock::time_point since;
    };
    std::vector<Waiting> waiting;
    for (;;) {
        const serial::PortWatcher::Changes changes = watcher.poll();
        const Clock::time_point now = Clock::now();
        for (const std::string& name : changes.vanished) {
            std::erase_if(
                waiting, [&](const Waiting& w) { return serial::samePortName(w.port.name, name); });
            pool_->retire(name);
        }
        for (const serial::PortDescription& port : changes.updated) {
            for (Waiting& w : waiting)
                if (serial::samePortName(w.port.name, port.name)) w.port = port;
            pool_->describe(port);
        }
        for (const serial::PortDescription& port : changes.appeared) {
            if (!wanted(port)) continue;
            std::erase_if(neverSeen,
                          [&](const std::string& name) { return serial::namesPort(name, port); });
            waiting.push_back({port, now});
        }
        std::erase_if(waiting, [&](const Waiting& w) {
            if (!w.port.settled && now - w.since < kSettleAtMost) return false;
            if (pool_->runs(w.port.name)) return false;
            pool_->start(w.port);
            return true;
        });
        pool_->reap();
        if (!neverSeen.empty() && now - started >= kNamedPortGrace) {
            if (services_.warn)
                for (const std::string& name : neverSeen)
                    services_.warn(name + " matches no port present; the port listing shows the "
                                          "names");
            neverSeen.clear();
        }
        std::unique_lock lock(mutex_);
        if (changed_.wait_for(lock, std::chrono::milliseconds(services_.watchPeriodMs),
                              [this] { return stopReason_ != StopReason::None; })) {
            watching_ = false;
            changed_.notify_all();
            return;
        }
    }
}

Summary Run::finish() {
    if (watcher_.joinable()) watcher_.join();
    if (pool_) pool_->join();
    if (setup_.stations.journal) setup_.stations.journal->onFailure(nullptr);
    finished_ = true;

    Summary summary;
    summary.dryRun = setup_.stations.dryRun;
    if (!pool_) return summary;
    for (StationPool::Tally t : pool_->tallies()) {
        if (!t.times.empty()) t.counts.replies = t.times.timing();
        if (!t.adapterTimes.empty()) t.counts.adapter = t.adapterTimes.timing();
        summary.programmed += t.counts.programmed;
        summary.failed += t.counts.failed;
        summary.programmedNotRecorded += t.counts.programmedNotRecorded;
        summary.ports.push_back(t.counts);
        // With repeat a port that never met a board has nothing to retry, unless it never even
        // opened (busy, refused, not a port): that station did no work at all. A board
        // programmed without its record is retried, so that it gets one.
        const bool lastFailed = t.last && !t.last->ok();
        const bool retry = t.last ? lastFailed || t.counts.programmedNotRecorded > 0
                                  : !setup_.stations.repeat || t.neverOpened;
        if (retry) summary.retryPorts.push_back(t.counts.port);
    }
    return summary;
}

} // namespace station

#include "station/station_pool.h"

#include "serial/port_name.h"

#include <algorithm>

namespace station {

StationPool::StationPool(const StationSetup& setup, const std::vector<Bay>& bays, Services services)
    : setup_(setup), bays_(bays), services_(std::move(services)) {}

StationPool::~StationPool() {
    interrupt();
    join();
}

int StationPool::numberOf(const std::string& port, const std::string& bay) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < numbered_.size(); ++i)
        if (serial::samePortName(numbered_[i].first, port) && numbered_[i].second == bay)
            return static_cast<int>(i);
    numbered_.emplace_back(port, bay);
    return static_cast<int>(numbered_.size() - 1);
}

void StationPool::start(const serial::PortDescription& port) {
    const std::string bay = bayOf(bays_, port);
    const int index = numberOf(port.name, bay);
    setup_.observer->stationStarted(index, port, bay);
    const serial::Ports& ports = services_.ports;
    auto station =
        std::make_unique<Station>(index, port, bay, ports.make(), setup_,
                                  ports.latencyFix ? ports.latencyFix(port.name) : std::string());
    std::lock_guard lock(mutex_);
    // A port that came as Ctrl+C did gets a station that ends at once, not one that would
    // wait for boards with nothing left to stop it.
    if (interrupted_) station->interrupt();
    Running& r = running_.emplace_back();
    r.station = std::move(station);
    // One thread a port: a board that fails never holds up the others.
    r.thread = std::thread([this, &r] {
        r.station->run();
        r.done = true;
        if (services_.stationEnded) services_.stationEnded();
    });
}

bool StationPool::runs(std::string_view port) const {
    std::lock_guard lock(mutex_);
    return std::any_of(running_.begin(), running_.end(), [&](const Running& r) {
        return !r.done && serial::samePortName(r.station->name(), port);
    });
}

void StationPool::retire(std::string_view port) {
    std::vector<int> gone;
    {
        std::lock_guard lock(mutex_);
        for (Running& r : running_) {
            if (r.done || !serial::samePortName(r.station->name(), port)) continue;
            r.station->retire();
            gone.push_back(r.station->index());
        }
    }
    for (int index : gone)
        setup_.observer->portGone(index);
}

void StationPool::describe(const serial::PortDescription& port) {
    const std::string bay = bayOf(bays_, port);
    std::vector<int> described;
    {
        std::lock_guard lock(mutex_);
        for (Running& r : running_) {
            if (r.done || !serial::samePortName(r.station->name(), port.name)) continue;
            r.station->describe(port, bay);
            described.push_back(r.station->index());
        }
    }
    for (int index : described)
        setup_.observer->portDescribed(index, port);
}

void StationPool::interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    for (Running& r : running_)
        r.station->interrupt();
}

bool StationPool::allEnded() const {
    std::lock_guard lock(mutex_);
    return std::all_of(running_.begin(), running_.end(),
                       [](const Running& r) { return r.done.load(); });
}

void StationPool::reap() {
    std::lock_guard lock(mutex_);
    for (auto it = running_.begin(); it != running_.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        it->thread.join();
        fold(*it->station);
        it = running_.erase(it);
    }
}

void StationPool::join() {
    // Joined without the lock, so that an interruption meanwhile still reaches them.
    for (Running& r : running_)
        if (r.thread.joinable()) r.thread.join();
    std::lock_guard lock(mutex_);
    for (const Running& r : running_)
        fold(*r.station);
    running_.clear();
}

void StationPool::fold(const Station& s) {
    auto it = std::find_if(tallies_.begin(), tallies_.end(), [&](const Tally& t) {
        return t.counts.port == s.name() && t.counts.bay == s.bay();
    });
    if (it == tallies_.end()) {
        Tally tally;
        tally.counts.port = s.name();
        tally.counts.bay = s.bay();
        tallies_.push_back(std::move(tally));
        it = tallies_.end() - 1;
    }
    it->counts.programmed += s.programmed();
    it->counts.failed += s.failed();
    it->counts.programmedNotRecorded += s.programmedNotRecorded();
    it->neverOpened = it->neverOpened && s.neverOpened();
    it->times.add(s.replyTimes());
    it->adapterTimes.add(s.adapterTimes());
    if (s.lastResult()) it->last = s.lastResult();
}

} // namespace station

#include "serial/listing/port_watcher.h"

#include "serial/port_name.h"

#include <algorithm>

namespace serial {

PortWatcher::PortWatcher(std::function<std::vector<PortDescription>()> listing)
    : listing_(std::move(listing)) {}

PortWatcher::Changes PortWatcher::poll() {
    std::vector<PortDescription> now = listing_();
    Changes changes;
    const auto sameAs = [](const PortDescription& port) {
        return
            [&port](const PortDescription& other) { return samePortName(port.name, other.name); };
    };
    for (const PortDescription& old : known_) {
        const auto it = std::find_if(now.begin(), now.end(), sameAs(old));
        if (it == now.end() || !samePort(*it, old)) changes.vanished.push_back(old.name);
    }
    for (const PortDescription& port : now) {
        const auto it = std::find_if(known_.begin(), known_.end(), sameAs(port));
        if (it == known_.end() || !samePort(*it, port))
            changes.appeared.push_back(port);
        else if (!(*it == port))
            changes.updated.push_back(port);
    }
    known_ = std::move(now);
    return changes;
}

} // namespace serial

// Ports that come and go, for a station that follows adapters plugged in and pulled out: the
// port listing looked at again at each poll, compared with the one before. Polling costs
// little (a listing reads a few small files) and works alike on every system.
#pragma once

#include "serial/listing/port_list.h"

#include <functional>
#include <string>
#include <vector>

namespace serial {

class PortWatcher {
public:
    explicit PortWatcher(std::function<std::vector<PortDescription>()> listing);

    struct Changes {
        std::vector<std::string> vanished;     // by name
        std::vector<PortDescription> appeared; // in the listing's order
        std::vector<PortDescription> updated;  // the same port (samePort), described anew
    };
    // What changed since the last poll; at the first, every port present appears. A port whose
    // name stays but whose device or adapter changed has vanished and appeared again; one that
    // stays but is described otherwise (udev has named it, or given its place) is updated.
    Changes poll();

private:
    std::function<std::vector<PortDescription>()> listing_;
    std::vector<PortDescription> known_;
};

} // namespace serial

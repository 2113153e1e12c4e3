// How a program reaches serial ports: through these three, this system's (systemPorts) or a
// test's. A program makes them once, at its start, with the port links the environment names.
#pragma once

#include "serial/listing/port_list.h"
#include "serial/listing/port_map.h"
#include "serial/serial_port.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace serial {

struct Ports {
    std::function<std::unique_ptr<SerialPort>()> make; // a closed port
    std::function<std::vector<PortDescription>()> list;
    // How to lower an adapter's latency timer, for a port a person named; may be empty.
    std::function<std::string(std::string_view port)> latencyFix;
};

// This system's ports, COM names reaching the devices `links` gives them.
Ports systemPorts(const PortLinks& links);

} // namespace serial

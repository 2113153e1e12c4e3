#include "serial/system_ports.h"

#include "serial/listing/adapter_facts.h"

namespace serial {

Ports systemPorts(const PortLinks& links) {
    Ports ports;
    ports.make = [links] { return makeSystemPort(links); };
    ports.list = [links] { return listPorts(links); };
    ports.latencyFix = [links](std::string_view port) { return latencyFix(port, links); };
    return ports;
}

} // namespace serial

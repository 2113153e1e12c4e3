// The serial ports present on the machine, for the Port setup dialog and trevane-cli.
#pragma once

#include <string>
#include <vector>

namespace serial {

struct PortDescription {
    std::string name;         // the COM name the program uses: "COM3"
    std::string device;       // what it opens: "/dev/ttyUSB0", "\\.\COM3"
    std::string friendlyName; // what a person recognises it by; may be empty
};

// COM ports only, in the order the system lists its serial devices, never sorted.
std::vector<PortDescription> listPorts();

} // namespace serial

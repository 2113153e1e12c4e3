// The serial ports present on the machine, for the Port setup dialog and trevane-cli.
#pragma once

#include <string>
#include <vector>

namespace serial {

struct PortDescription {
    std::string name;         // the COM name the program uses: "COM3"
    std::string device;       // what it opens: "/dev/ttyUSB0", "\\.\COM3"
    std::string friendlyName; // what a person recognises it by; may be empty
    // Where the system knows them: the port's physical place, which stays the same for one
    // socket whatever adapter is plugged into it (Linux: its /dev/serial/by-path name;
    // Windows: the device's location path or location information), and the identity of the
    // USB adapter in it. Empty otherwise.
    std::string place = {};
    std::string vendorId = {};  // "0403"
    std::string productId = {}; // "6001"
    std::string serial = {};    // "A50285BI"

    bool operator==(const PortDescription&) const = default;
};

// COM ports only, in the order the system lists its serial devices, never sorted.
std::vector<PortDescription> listPorts();

} // namespace serial

// The serial ports present on the machine, for the Port setup dialog and trevane-cli.
#pragma once

#include "serial/listing/port_map.h"

#include <string>
#include <string_view>
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
    // What the system knows the device by while it stays plugged in: on Linux its character
    // device numbers ("188:0"), on Windows its device instance id. Empty where it cannot tell.
    std::string deviceId = {};
    // False while the system is still describing a device just plugged in (on Linux: udev has
    // not yet written its data, so its place and name may still come).
    bool settled = true;

    bool operator==(const PortDescription&) const = default;
};

// Whether two descriptions are of one port that stays plugged in: the same name, device and
// adapter. Its place, friendly name and the text of its device path may still change (udev
// describes a new device a moment after it appears).
bool samePort(const PortDescription& a, const PortDescription& b);

// Whether the name a person gave means the port: its COM name in any letter case, or a path
// that leads to its device (a /dev/serial/by-id link, a udev alias, the device itself).
bool namesPort(std::string_view name, const PortDescription& port);

// COM ports only, in the order the system lists its serial devices, never sorted; on Linux the
// entries of the port-link folder last.
std::vector<PortDescription> listPorts(const PortLinks& links);

// Whether ports may also be named by their device path ("/dev/ttyUSB0"): on Linux, not Windows.
bool portsHaveDevicePaths();

} // namespace serial

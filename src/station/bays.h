// Bays: the names a production bench gives the places where boards are plugged in. A bays
// file holds one bay a line, a label and then what finds its port:
//
//     # label  place, adapter serial number, or port name
//     A1       pci-0000:00:14.0-usb-0:2:1.0-port0
//     A2       A50285BI
//     B1       COM5
//
// A place (as --list-ports shows it) stays with the socket whatever adapter is plugged in; a
// serial number follows one adapter into any socket. Blank lines and comments are allowed: a
// comment starts with '#' at the start of a line or after a blank, so that a Windows place,
// which holds '#' ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(1)"), is read whole.
#pragma once

#include "serial/listing/port_list.h"

#include <string>
#include <string_view>
#include <vector>

namespace station {

struct Bay {
    std::string label;
    std::string match; // a place, a serial number or a port name
};

struct BaysFile {
    std::vector<Bay> bays;
    std::string error; // "FILE:LINE: ..." when the file is malformed
};

BaysFile parseBays(std::string_view fileName, std::string_view text);

// The label of the bay the port is in; empty when no bay matches it.
std::string bayOf(const std::vector<Bay>& bays, const serial::PortDescription& port);

} // namespace station

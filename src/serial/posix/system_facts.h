// What Linux tells about a serial device and its surroundings, read from its files: sysfs, the
// udev database, /proc, /etc/group and udev's rules. Every reader takes the root to read
// under ("/" on a real machine), so that tests give it a small tree of their own.
#pragma once

#include "serial/port_list.h"

#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace serial::posix {

// The device's name below /dev ("ttyUSB0", "pts/4"), as sysfs and udev know it.
std::string kernelName(const std::string& devicePath);

// The kernel driver behind a tty ("ftdi_sio", "cp210x", "serial8250"); empty when it has none.
std::string ttyDriver(const std::string& root, const std::string& kernel);

// The latency timer of an FTDI adapter's port, in ms; none for other drivers.
std::optional<int> ftdiLatencyMs(const std::string& root, const std::string& kernel);

// The USB device an adapter's tty belongs to.
struct UsbAdapter {
    std::string vendorId;  // "0403", as sysfs writes it
    std::string productId; // "6001"
    std::string serial;    // empty when the adapter has none
    std::string place;     // its name in /dev/serial/by-path, where udev made one
};
std::optional<UsbAdapter> usbAdapterOf(const std::string& root, const std::string& kernel);

// udev's properties of a tty ("ID_MM_DEVICE_IGNORE" -> "1"), from its database entry.
std::vector<std::pair<std::string, std::string>> udevProperties(const std::string& root,
                                                                const std::string& kernel);

struct Process {
    pid_t pid = 0;
    std::string command;
};
// Processes that have the device open (those /proc lets us see), this one left out.
std::vector<Process> processesHolding(const std::string& root, const std::string& devicePath);
// Whether a process of that command name (as /proc/<pid>/comm gives it) runs.
bool processRunning(const std::string& root, const std::string& command);

// The name of a group and the users /etc/group lists in it; none for an unknown group.
struct Group {
    std::string name;
    std::vector<std::string> members;
};
std::optional<Group> groupOf(const std::string& root, gid_t gid);
// The name of this process's user, from /etc/passwd, else $USER.
std::string userName(const std::string& root, uid_t uid);

// The USB ids ("1a86:7523") that brltty's udev rules claim, its rules masked by /etc left out.
std::set<std::string> brlttyClaims(const std::string& root);

// The serial ports of the machine whose sysfs and udev files lie under `root`, then those of
// the port-link folder (listPorts is this with "/").
std::vector<PortDescription> listPortsUnder(const std::string& root);

} // namespace serial::posix

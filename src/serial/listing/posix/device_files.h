// What Linux's files tell of a serial device: sysfs, /dev/serial/by-path and the udev database.
// One reader for the port listing, the adapter facts and the doctor. Every reader takes the root
// to read under ("/" on a real machine), so that tests give it a small tree of their own.
#pragma once

#include "serial/listing/port_list.h"
#include "serial/listing/port_map.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace serial::posix {

// An absolute path of the machine, read under `root`.
std::filesystem::path under(const std::string& root, const std::filesystem::path& path);

// The first line of a file, without its line end; empty when the file cannot be read.
std::string firstLine(const std::filesystem::path& file);

// The device a port name opens, its links followed: the path itself for a device path, else the
// COM name's device (port_map.h). Empty when the name reaches none.
std::string devicePathOf(std::string_view name, const PortLinks& links);

// The device's name below /dev ("ttyUSB0", "pts/4"), as sysfs and udev know it.
std::string kernelName(const std::string& devicePath);

// A tty's character device numbers as sysfs writes them ("188:0"); empty when it has none.
std::string deviceNumbers(const std::string& root, const std::string& kernel);

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

using UdevProperties = std::vector<std::pair<std::string, std::string>>;

// Whether udev keeps its database on this machine (most containers have none).
bool udevRuns(const std::string& root);

// udev's properties ("ID_MM_DEVICE_IGNORE" -> "1") of the character device `numbers` ("188:0"),
// from its database entry; none while udev has not described the device.
std::optional<UdevProperties> udevProperties(const std::string& root, const std::string& numbers);

// The serial ports of the machine whose sysfs and udev files lie under `root`, then those of
// the port-link folder (listPorts is this with "/").
std::vector<PortDescription> listPortsUnder(const std::string& root, const PortLinks& links);

} // namespace serial::posix

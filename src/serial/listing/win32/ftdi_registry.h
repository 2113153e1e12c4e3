// An FTDI adapter's latency timer on Windows: the FTDIBUS device whose "Device Parameters"
// hold the port's PortName keeps it as LatencyTimer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace serial::win32 {

// The device tree of the system, below HKEY_LOCAL_MACHINE.
inline constexpr const char* kDeviceTree = "SYSTEM\\CurrentControlSet\\Enum";

// The latency timer in ms of the FTDI device that provides `comName` ("COM5"), its device tree
// read at `deviceTree` below HKEY_LOCAL_MACHINE; none when no FTDI device provides the port.
std::optional<int> ftdiLatencyMs(const std::string& deviceTree, std::string_view comName);

} // namespace serial::win32

// The USB adapter behind a port, as far as the speed of replies goes: its latency timer (an FTDI
// adapter holds every reply back that long) and how to lower it. The port reads it for the device
// it opened; the station and the window turn it into advice.
#pragma once

#include "serial/listing/port_map.h"
#include "serial/serial_port.h"

#include <optional>
#include <string>
#include <string_view>

namespace serial {

// The latency timer of the adapter behind `device` (Linux: the device path a port opened;
// Windows: its COM name), with how to lower it; none when it has none that can be read.
std::optional<AdapterLatency> adapterLatencyOf(const std::string& device);

// How to set an FTDI adapter's latency timer to 1 ms, now and for good (Linux: for its kernel
// name, "ttyUSB0"; Windows: for its COM name).
std::string ftdiLatencyFix(std::string_view device);

// How to lower a USB adapter's latency timer on this system, for the port a person named: for
// when the adapter itself could not be asked.
std::string latencyFix(std::string_view name, const PortLinks& links);

// What to tell of an opened port whose adapter holds every reply back longer than
// kLowLatencyMs, with the fix; nothing for a port whose timer is low or unknown.
std::optional<std::string> latencyAdvice(std::string_view name,
                                         const std::optional<AdapterLatency>& timer);

} // namespace serial

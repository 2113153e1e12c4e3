#include "serial/listing/adapter_facts.h"

#include "serial/listing/posix/device_files.h"

namespace serial {

std::optional<AdapterLatency> adapterLatencyOf(const std::string& device) {
    const std::string kernel = posix::kernelName(device);
    const std::optional<int> timer = posix::ftdiLatencyMs("/", kernel);
    if (!timer) return std::nullopt;
    return AdapterLatency{*timer, ftdiLatencyFix(kernel)};
}

std::string ftdiLatencyFix(std::string_view device) {
    const std::string kernel(device);
    return "echo 1 | sudo tee /sys/bus/usb-serial/devices/" + kernel +
           "/latency_timer (until the adapter is unplugged); for good, the udev rule "
           "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", "
           "ATTR{latency_timer}=\"1\" in /etc/udev/rules.d/99-ftdi-latency.rules";
}

std::string latencyFix(std::string_view name, const PortLinks& links) {
    const std::string device = posix::devicePathOf(name, links);
    const std::string kernel = device.empty() ? std::string() : posix::kernelName(device);
    return "for an FTDI adapter, " +
           ftdiLatencyFix(kernel.rfind("ttyUSB", 0) == 0 ? kernel : "ttyUSBn");
}

} // namespace serial

#include "serial/port_name.h"

#include "serial/listing/port_list.h"

#include <cctype>
#include <filesystem>

namespace serial {

std::string comName(int number) {
    return "COM" + std::to_string(number);
}

int comNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6) return -1;
    if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm') return -1;
    if (name[3] == '0') return -1;
    int number = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && number <= 257 ? number : -1;
}

bool samePortName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const bool comNames = !a.empty() && a[0] != '/';
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (comNames ? std::toupper(x) != std::toupper(y) : x != y) return false;
    }
    return true;
}

bool samePort(const PortDescription& a, const PortDescription& b) {
    if (!samePortName(a.name, b.name)) return false;
    if (a.vendorId != b.vendorId || a.productId != b.productId || a.serial != b.serial)
        return false;
    // Where the system cannot name the device, its path has to do.
    if (a.deviceId.empty() || b.deviceId.empty()) return a.device == b.device;
    return a.deviceId == b.deviceId;
}

bool namesPort(std::string_view name, const PortDescription& port) {
    if (samePortName(name, port.name) || name == port.device) return true;
    if (name.empty() || name.front() != '/' || port.device.empty()) return false;
    // Links (by-id, by-path, udev aliases, the port-link folder) followed on both sides.
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path given = fs::canonical(fs::path(name), error);
    if (error) return false;
    const fs::path device = fs::canonical(fs::path(port.device), error);
    return !error && given == device;
}

} // namespace serial

#include "serial/listing/posix/device_files.h"

#include "serial/port_name.h"
#include "text/text.h"

#include <cstdlib>
#include <fstream>

namespace serial::posix {

namespace fs = std::filesystem;

fs::path under(const std::string& root, const fs::path& path) {
    return fs::path(root) / path.relative_path();
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string devicePathOf(std::string_view name, const PortLinks& links) {
    if (!name.empty() && name.front() == '/') return std::string(name);
    const int number = comNumber(name);
    char device[kDevicePathSize];
    if (number < 1 || !portDevicePath(number - 1, links, device, sizeof device)) return {};
    std::error_code error;
    const fs::path resolved = fs::canonical(device, error); // a link folder entry, say
    return error ? std::string(device) : resolved.string();
}

std::string kernelName(const std::string& devicePath) {
    std::error_code error;
    fs::path path = fs::canonical(devicePath, error);
    if (error) path = devicePath;
    const fs::path relative = path.lexically_relative("/dev");
    return relative.empty() || *relative.begin() == ".." ? path.filename().string()
                                                         : relative.string();
}

std::string deviceNumbers(const std::string& root, const std::string& kernel) {
    return firstLine(under(root, "/sys/class/tty") / kernel / "dev");
}

std::string ttyDriver(const std::string& root, const std::string& kernel) {
    std::error_code error;
    const fs::path driver =
        fs::read_symlink(under(root, "/sys/class/tty") / kernel / "device" / "driver", error);
    return error ? std::string() : driver.filename().string();
}

std::optional<int> ftdiLatencyMs(const std::string& root, const std::string& kernel) {
    if (ttyDriver(root, kernel) != "ftdi_sio") return std::nullopt;
    const std::string timer =
        firstLine(under(root, "/sys/class/tty") / kernel / "device" / "latency_timer");
    if (!text::allDigits(timer)) return std::nullopt;
    return std::atoi(timer.c_str());
}

std::optional<UsbAdapter> usbAdapterOf(const std::string& root, const std::string& kernel) {
    std::error_code error;
    const fs::path sys = fs::canonical(under(root, "/sys"), error);
    if (error) return std::nullopt;
    fs::path dir = fs::canonical(under(root, "/sys/class/tty") / kernel / "device", error);
    if (error) return std::nullopt;
    // Up from the tty's device to the USB device that holds the ids.
    for (; dir != sys && dir.has_relative_path(); dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor")) continue;
        UsbAdapter adapter;
        adapter.vendorId = firstLine(dir / "idVendor");
        adapter.productId = firstLine(dir / "idProduct");
        adapter.serial = firstLine(dir / "serial");
        const fs::path byPath = under(root, "/dev/serial/by-path");
        for (fs::directory_iterator it(byPath, error), end; !error && it != end;
             it.increment(error)) {
            const fs::path target = fs::read_symlink(it->path(), error);
            if (error) break;
            if ((byPath / target).lexically_normal().filename() == fs::path(kernel).filename())
                adapter.place = it->path().filename().string();
        }
        return adapter;
    }
    return std::nullopt;
}

bool udevRuns(const std::string& root) {
    std::error_code error;
    return fs::is_directory(under(root, "/run/udev/data"), error);
}

std::optional<UdevProperties> udevProperties(const std::string& root, const std::string& numbers) {
    if (numbers.empty()) return std::nullopt;
    std::ifstream in(under(root, "/run/udev/data") / ("c" + numbers));
    if (!in) return std::nullopt;
    UdevProperties properties;
    for (std::string line; std::getline(in, line);) {
        const auto equals = line.find('=');
        if (line.rfind("E:", 0) != 0 || equals == std::string::npos) continue;
        properties.emplace_back(line.substr(2, equals - 2), line.substr(equals + 1));
    }
    return properties;
}

} // namespace serial::posix

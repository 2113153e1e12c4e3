#include "serial/posix/system_facts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace serial::posix {

namespace {

namespace fs = std::filesystem;

// An absolute path of the machine, read under `root`.
fs::path under(const std::string& root, const fs::path& path) {
    return fs::path(root) / path.relative_path();
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

// A USB id as sysfs writes it: four lower-case hex digits.
std::string usbId(std::string hex) {
    for (char& c : hex)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return hex.size() < 4 ? std::string(4 - hex.size(), '0') + hex : hex;
}

// The quoted value after `key` on a udev rule line: idVendor}=="1a86" gives 1a86.
std::string ruleValue(const std::string& line, const std::string& key) {
    const auto at = line.find(key);
    if (at == std::string::npos) return {};
    const auto open = line.find('"', at + key.size());
    const auto close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close == std::string::npos) return {};
    return line.substr(open + 1, close - open - 1);
}

} // namespace

std::string kernelName(const std::string& devicePath) {
    std::error_code error;
    fs::path path = fs::canonical(devicePath, error);
    if (error) path = devicePath;
    const fs::path relative = path.lexically_relative("/dev");
    return relative.empty() || *relative.begin() == ".." ? path.filename().string()
                                                         : relative.string();
}

std::string ttyDriver(const std::string& root, const std::string& kernel) {
    std::error_code error;
    const fs::path driver =
        fs::read_symlink(under(root, "/sys/class/tty") / kernel / "device" / "driver", error);
    return error ? std::string() : driver.filename().string();
}

std::optional<int> ftdiLatencyMs(const std::string& root, const std::string& kernel) {
    if (ttyDriver(root, kernel) != "ftdi_sio") return std::nullopt;
    const std::string text =
        firstLine(under(root, "/sys/class/tty") / kernel / "device" / "latency_timer");
    if (!allDigits(text)) return std::nullopt;
    return std::atoi(text.c_str());
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

std::vector<std::pair<std::string, std::string>> udevProperties(const std::string& root,
                                                                const std::string& kernel) {
    std::vector<std::pair<std::string, std::string>> properties;
    const std::string majorMinor = firstLine(under(root, "/sys/class/tty") / kernel / "dev");
    if (majorMinor.empty()) return properties;
    std::ifstream in(under(root, "/run/udev/data") / ("c" + majorMinor));
    for (std::string line; std::getline(in, line);) {
        const auto equals = line.find('=');
        if (line.rfind("E:", 0) != 0 || equals == std::string::npos) continue;
        properties.emplace_back(line.substr(2, equals - 2), line.substr(equals + 1));
    }
    return properties;
}

std::vector<Process> processesHolding(const std::string& root, const std::string& devicePath) {
    std::vector<Process> holders;
    std::error_code error;
    const std::string self = std::to_string(getpid());
    const fs::path proc = under(root, "/proc");
    for (fs::directory_iterator it(proc, error), end; !error && it != end; it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (!allDigits(pid) || pid == self) continue;
        std::error_code fdError; // other users' descriptors are not ours to see
        for (fs::directory_iterator fd(it->path() / "fd", fdError), last; !fdError && fd != last;
             fd.increment(fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd->path(), linkError) != devicePath || linkError) continue;
            holders.push_back(
                {static_cast<pid_t>(std::atoi(pid.c_str())), firstLine(it->path() / "comm")});
            break;
        }
    }
    std::sort(holders.begin(), holders.end(),
              [](const Process& a, const Process& b) { return a.pid < b.pid; });
    return holders;
}

bool processRunning(const std::string& root, const std::string& command) {
    std::error_code error;
    for (fs::directory_iterator it(under(root, "/proc"), error), end; !error && it != end;
         it.increment(error)) {
        if (allDigits(it->path().filename().string()) && firstLine(it->path() / "comm") == command)
            return true;
    }
    return false;
}

std::optional<Group> groupOf(const std::string& root, gid_t gid) {
    std::ifstream in(under(root, "/etc/group"));
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> fields = split(line, ':');
        if (fields.size() < 4 || !allDigits(fields[2]) ||
            static_cast<gid_t>(std::atol(fields[2].c_str())) != gid)
            continue;
        Group group{fields[0], {}};
        for (const std::string& member : split(fields[3], ','))
            if (!member.empty()) group.members.push_back(member);
        return group;
    }
    return std::nullopt;
}

std::string userName(const std::string& root, uid_t uid) {
    std::ifstream in(under(root, "/etc/passwd"));
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> fields = split(line, ':');
        if (fields.size() > 2 && allDigits(fields[2]) &&
            static_cast<uid_t>(std::atol(fields[2].c_str())) == uid)
            return fields[0];
    }
    const char* user = std::getenv("USER");
    return user != nullptr ? user : "";
}

std::set<std::string> brlttyClaims(const std::string& root) {
    std::set<std::string> claimed;
    std::error_code error;
    const fs::path masks = under(root, "/etc/udev/rules.d");
    for (const char* folder : {"/usr/lib/udev/rules.d", "/lib/udev/rules.d", "/etc/udev/rules.d"}) {
        for (fs::directory_iterator it(under(root, folder), error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.find("brltty") == std::string::npos) continue;
            // A rule of the same name in /etc replaces it; a link to /dev/null masks it.
            if (it->path().parent_path() != masks && fs::exists(masks / name)) continue;
            std::ifstream in(it->path());
            for (std::string line; std::getline(in, line);) {
                const std::string vendor = ruleValue(line, "idVendor}==");
                const std::string product = ruleValue(line, "idProduct}==");
                if (!vendor.empty() && !product.empty()) {
                    claimed.insert(usbId(vendor) + ":" + usbId(product));
                    continue;
                }
                // ENV{PRODUCT}=="1a86/7523/*": ids in hex without leading zeros.
                const std::vector<std::string> ids = split(ruleValue(line, "PRODUCT}=="), '/');
                if (ids.size() >= 2 && !ids[0].empty() && !ids[1].empty())
                    claimed.insert(usbId(ids[0]) + ":" + usbId(ids[1]));
            }
        }
    }
    return claimed;
}

} // namespace serial::posix

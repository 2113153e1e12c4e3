// The port listing on Linux: the serial devices that sysfs shows (a tty with a device behind
// it), named by the fixed ranges of the port map, then the entries of the port-link folder.
//
// Friendly names: "<model> (<kernel name>)", the model being, in this order of preference,
// what the device says of itself (udev's ID_MODEL_ENC, decoded, or ID_MODEL), else udev's
// hardware database ("<ID_VENDOR_FROM_DATABASE> <ID_MODEL_FROM_DATABASE>"), else
// "Serial port". Links read "Linked port (<target>)". A device is opened by its /dev path; a link
// by its target when that is an absolute path, else by the link itself.
//
// A device's place and its USB adapter's identity come from sysfs and /dev/serial/by-path
// (device_files.h). The files are read under a root, "/" but for tests.

#include "serial/listing/port_list.h"
#include "serial/listing/port_map.h"
#include "serial/listing/posix/device_files.h"
#include "serial/port_name.h"
#include "text/text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace serial {

namespace {

namespace fs = std::filesystem;

// "ttyS2" before "ttyS10": digit runs compare by value, letters without regard to case.
bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = a[i] >= '0' && a[i] <= '9';
        const bool digitB = b[j] >= '0' && b[j] <= '9';
        if (digitA && digitB) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && a[endA] >= '0' && a[endA] <= '9')
                ++endA;
            while (endB < b.size() && b[endB] >= '0' && b[endB] <= '9')
                ++endB;
            std::string numA = a.substr(i, endA - i);
            std::string numB = b.substr(j, endB - j);
            numA.erase(0, std::min(numA.find_first_not_of('0'), numA.size()));
            numB.erase(0, std::min(numB.find_first_not_of('0'), numB.size()));
            if (numA.size() != numB.size()) return numA.size() < numB.size();
            if (numA != numB) return numA < numB;
            i = endA;
            j = endB;
            continue;
        }
        const int letterA = std::tolower(static_cast<unsigned char>(a[i]));
        const int letterB = std::tolower(static_cast<unsigned char>(b[j]));
        if (letterA != letterB) return letterA < letterB;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> sortedNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

// udev escapes bytes as \xHH in its *_ENC values.
std::string decodeUdev(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The model a device's udev properties give it.
std::string udevModel(const posix::UdevProperties& properties) {
    std::string modelEnc, model, vendorDb, modelDb;
    for (const auto& [key, value] : properties) {
        if (key == "ID_MODEL_ENC")
            modelEnc = text::trimmed(decodeUdev(value));
        else if (key == "ID_MODEL")
            model = value;
        else if (key == "ID_VENDOR_FROM_DATABASE")
            vendorDb = value;
        else if (key == "ID_MODEL_FROM_DATABASE")
            modelDb = value;
    }
    if (!modelEnc.empty()) return modelEnc;
    if (!model.empty()) {
        std::replace(model.begin(), model.end(), '_', ' ');
        return text::trimmed(model);
    }
    if (!modelDb.empty()) return vendorDb.empty() ? modelDb : vendorDb + " " + modelDb;
    return {};
}

bool linkTaken(const std::vector<PortDescription>& links, int32_t portNumber) {
    return std::any_of(links.begin(), links.end(), [&](const PortDescription& link) {
        return portNumberOfLinkName(link.name.c_str()) == portNumber;
    });
}

std::vector<PortDescription> linkEntries(const PortLinks& links) {
    std::vector<PortDescription> entries;
    if (links.folder.empty()) return entries;
    const fs::path folder = links.folder;
    for (const std::string& name : sortedNames(folder)) {
        if (portNumberOfLinkName(name.c_str()) < 0) continue;
        const fs::path link = folder / name;
        struct stat st {};
        if (stat(link.c_str(), &st) != 0) continue; // a link left behind by a program now gone
        std::error_code error;
        const fs::path target = fs::read_symlink(link, error);
        const std::string shown = error ? link.string() : target.string();
        const std::string device = !error && target.is_absolute() ? target.string() : link.string();
        PortDescription port{name, device, "Linked port (" + shown + ")"};
        if (S_ISCHR(st.st_mode))
            port.deviceId =
                std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
        entries.push_back(std::move(port));
    }
    return entries;
}

} // namespace

std::vector<PortDescription> listPorts(const PortLinks& links) {
    return posix::listPortsUnder("/", links);
}

bool portsHaveDevicePaths() {
    return true;
}

std::vector<PortDescription> posix::listPortsUnder(const std::string& root,
                                                   const PortLinks& portLinks) {
    std::vector<PortDescription> ports;
    const std::vector<PortDescription> links = linkEntries(portLinks);
    const bool udevRuns = posix::udevRuns(root);
    const fs::path ttyClass = posix::under(root, "/sys/class/tty");
    for (const std::string& kernelName : sortedNames(ttyClass)) {
        // The name first: it costs no file, and most ttys (the virtual terminals) have no COM
        // name. A watch lists the ports twice a second.
        const int32_t number = portNumberOfDevice(kernelName.c_str());
        if (number < 0) continue;               // no COM name for it
        if (linkTaken(links, number)) continue; // that name reaches the link's device instead
        const fs::path tty = ttyClass / kernelName;
        struct stat st {};
        if (stat((tty / "device").c_str(), &st) != 0) continue; // no device behind it
        // A serial8250 slot with no UART behind it reports type 0.
        if (kernelName.rfind("ttyS", 0) == 0 && posix::firstLine(tty / "type") == "0") continue;
        const std::string majorMinor = posix::deviceNumbers(root, kernelName);
        const std::optional<posix::UdevProperties> properties =
            posix::udevProperties(root, majorMinor);
        std::string model = properties ? udevModel(*properties) : std::string();
        if (model.empty()) model = "Serial port";
        PortDescription port{comName(number + 1), "/dev/" + kernelName,
                             model + " (" + kernelName + ")"};
        port.deviceId = majorMinor;
        // Where udev runs, a device it has not yet described may still get its name and place.
        port.settled = !udevRuns || properties.has_value();
        if (const auto adapter = posix::usbAdapterOf(root, kernelName)) {
            port.place = adapter->place;
            port.vendorId = adapter->vendorId;
            port.productId = adapter->productId;
            port.serial = adapter->serial;
        }
        ports.push_back(std::move(port));
    }
    ports.insert(ports.end(), links.begin(), links.end());
    return ports;
}

} // namespace serial

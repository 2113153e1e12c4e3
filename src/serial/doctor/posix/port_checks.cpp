// The port checks on Linux: the device, who may open it, who holds it, ModemManager, brltty
// and an FTDI adapter's latency timer.

#include "serial/doctor/posix/port_checks.h"

#include "serial/listing/adapter_facts.h"
#include "serial/serial_port.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {

namespace posix {

namespace {

namespace fs = std::filesystem;

// The USB serial adapters met most often, for when the adapter itself cannot be asked.
constexpr const char* kCommonAdapters[][2] = {
    {"0403:6001", "FT232R"}, {"0403:6015", "FT231X"}, {"0403:6010", "FT2232"},
    {"1a86:7523", "CH340"},  {"10c4:ea60", "CP210x"}, {"067b:2303", "PL2303"},
};

std::string usbId(const UsbAdapter& adapter) {
    return adapter.vendorId + ":" + adapter.productId;
}

// "crw-rw---- root:dialout"
std::string permissions(mode_t mode) {
    std::string text = "c";
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? letters[bit] : '-';
    return text;
}

bool isModemLikePort(const std::string& kernel) {
    return kernel.rfind("ttyUSB", 0) == 0 || kernel.rfind("ttyACM", 0) == 0;
}

// An udev rule line that names the adapter, for the fixes that need one.
std::string adapterMatch(const std::optional<UsbAdapter>& adapter) {
    if (!adapter) return "ATTRS{idVendor}==\"<vendor>\", ATTRS{idProduct}==\"<product>\"";
    return "ATTRS{idVendor}==\"" + adapter->vendorId + "\", ATTRS{idProduct}==\"" +
           adapter->productId + "\"";
}

} // namespace

bool udevRuleCovers(const std::string& root, const std::optional<UsbAdapter>& adapter) {
    if (!adapter) return false;
    std::ifstream in(under(root, "/usr/lib/udev/rules.d/60-trevane.rules"));
    const std::string ids = adapterMatch(adapter);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(ids, 0) == 0 && line.find("uaccess") != std::string::npos) return true;
    return false;
}

PortCheck checkDevice(const std::string& name, const std::string& devicePath, bool exists,
                      const std::optional<UsbAdapter>& adapter) {
    if (devicePath.empty())
        return {Check::Device, Verdict::Problem, name + " names no serial device",
                "name a port COM1 to COM257 or a device such as /dev/ttyUSB0; "
                "trevane-cli --list-ports lists those present"};
    if (!exists)
        return {Check::Device, Verdict::Problem, devicePath + " does not exist",
                "plug the adapter in; trevane-cli --list-ports lists the ports present (an "
                "adapter that vanishes right after it is plugged in: see the brltty check)"};
    std::string found = name == devicePath ? devicePath : name + " is " + devicePath;
    if (adapter) {
        found += ", USB adapter " + usbId(*adapter);
        if (!adapter->serial.empty()) found += " serial " + adapter->serial;
    }
    return {Check::Device, Verdict::Ok, found, ""};
}

PortCheck checkAccess(const AccessFacts& f) {
    const std::string groupName = f.groupEntry ? f.groupEntry->name : std::to_string(f.group);
    const std::string shown =
        f.devicePath + " (" + permissions(f.mode) + ", group " + groupName + ")";
    if (f.mayOpen) return {Check::Access, Verdict::Ok, "you may open " + shown, ""};
    // The rule tags the adapter for the user at the desk: logind gives that user an ACL when
    // the adapter is plugged in during the session, or at the next login there.
    if (f.ruleCovers)
        return {Check::Access, Verdict::Problem,
                f.user + " may not open " + shown +
                    ", which Trevane's udev rule gives to the user at the desk",
                "unplug the adapter and plug it in again, or log in at the desk (not over ssh); "
                "elsewhere: sudo usermod -aG " +
                    groupName + " " + f.user + ", then log out and in again"};
    if ((f.mode & 0060) != 0060)
        return {Check::Access, Verdict::Problem, "only the owner of " + shown + " may open it",
                "ask the administrator for a udev rule that gives the device to the group "
                "dialout: GROUP=\"dialout\", MODE=\"0660\""};
    const bool listed =
        f.groupEntry && std::find(f.groupEntry->members.begin(), f.groupEntry->members.end(),
                                  f.user) != f.groupEntry->members.end();
    if (listed)
        return {Check::Access, Verdict::Problem,
                f.user + " was added to the group " + groupName + " of " + shown +
                    ", but this login does not have the group yet",
                "log out and in again (or start a shell with: newgrp " + groupName + ")"};
    return {Check::Access, Verdict::Problem,
            f.user + " is not in the group " + groupName + " of " + shown,
            "sudo usermod -aG " + groupName + " " + f.user + ", then log out and in again"};
}

PortCheck checkFree(const std::string& devicePath, bool busy, const std::vector<Process>& holders,
                    bool pseudoTerminal) {
    std::string who;
    for (const Process& p : holders)
        who += (who.empty() ? "" : ", ") + p.command + " (PID " + std::to_string(p.pid) + ")";
    if (pseudoTerminal && !busy)
        return {Check::Free, Verdict::Ok,
                "a pseudo-terminal" + (who.empty() ? std::string() : ", open in " + who), ""};
    if (!holders.empty()) {
        return {Check::Free, Verdict::Problem, devicePath + " is held by " + who,
                "close that program, or end it: kill " + std::to_string(holders.front().pid)};
    }
    if (busy)
        return {Check::Free, Verdict::Problem,
                "another program holds " + devicePath +
                    " (one of another user: run as root to "
                    "see which)",
                "close the program that holds the port"};
    return {Check::Free, Verdict::Ok, "no other program holds " + devicePath, ""};
}

PortCheck checkModemManager(const std::string& kernel, bool running, bool ignored,
                            const std::optional<UsbAdapter>& adapter) {
    if (!isModemLikePort(kernel))
        return {Check::ModemManager, Verdict::Ok, "not a port that ModemManager probes", ""};
    if (!running) return {Check::ModemManager, Verdict::Ok, "ModemManager does not run", ""};
    if (ignored)
        return {Check::ModemManager, Verdict::Ok,
                "ModemManager runs but leaves " + kernel + " alone (ID_MM_DEVICE_IGNORE)", ""};
    return {Check::ModemManager, Verdict::Warning,
            "ModemManager runs and probes " + kernel +
                " with AT commands for several seconds after it appears",
            "have it leave the adapter alone: the line " + adapterMatch(adapter) +
                ", ENV{ID_MM_DEVICE_IGNORE}=\"1\" in /etc/udev/rules.d/99-trevane.rules, then "
                "sudo udevadm control --reload-rules and plug the adapter in again; or stop it: "
                "sudo systemctl disable --now ModemManager"};
}

PortCheck checkBrltty(bool running, const std::set<std::string>& claims,
                      const std::optional<UsbAdapter>& adapter) {
    const std::string fix = "remove brltty if no braille display is used (sudo apt remove "
                            "brltty), or mask its udev rules: sudo ln -s /dev/null "
                            "/etc/udev/rules.d/<the brltty rules file's name>";
    if (adapter && claims.count(usbId(*adapter)) != 0)
        return {Check::Brltty, Verdict::Problem,
                "brltty's udev rules claim this adapter (" + usbId(*adapter) +
                    "): brltty takes the port as soon as it appears",
                fix};
    if (!adapter) {
        std::string kinds;
        for (const auto& [id, kind] : kCommonAdapters)
            if (claims.count(id) != 0)
                kinds += (kinds.empty() ? "" : ", ") + std::string(kind) + " (" + id + ")";
        if (!kinds.empty())
            return {Check::Brltty, Verdict::Warning,
                    "brltty's udev rules claim serial adapters of the kinds " + kinds +
                        ": such an adapter vanishes right after it is plugged in",
                    fix};
    }
    if (running)
        return {Check::Brltty, Verdict::Warning, "brltty runs; it may take serial adapters",
                "sudo systemctl stop brltty, if no braille display is used"};
    return {Check::Brltty, Verdict::Ok, "brltty claims no such adapter", ""};
}

PortCheck checkLatency(const std::string& kernel, const std::string& driver,
                       std::optional<int> latencyMs) {
    if (!latencyMs)
        return {Check::Latency, Verdict::Ok,
                driver.empty() ? "not a USB adapter: no latency timer"
                               : "a " + driver + " adapter: no latency timer to set",
                ""};
    const std::string found =
        "the FTDI adapter's latency timer is " + std::to_string(*latencyMs) + " ms";
    if (*latencyMs <= kLowLatencyMs) return {Check::Latency, Verdict::Ok, found, ""};
    return {Check::Latency, Verdict::Warning, found + ": every reply of the board waits for it",
            serial::ftdiLatencyFix(kernel)};
}

} // namespace posix

std::vector<PortCheck> checkPortSystem(std::string_view name, const std::string& root,
                                       const PortLinks& links) {
    using namespace posix;
    std::vector<PortCheck> checks;
    const std::string device = devicePathOf(name, links);
    struct stat st {};
    const bool exists = !device.empty() && stat(under(root, device).c_str(), &st) == 0;
    const std::string kernel = device.empty() ? std::string() : kernelName(device);
    const std::optional<UsbAdapter> adapter =
        exists ? usbAdapterOf(root, kernel) : std::optional<UsbAdapter>();
    checks.push_back(checkDevice(std::string(name), device, exists, adapter));
    const std::set<std::string> claims = brlttyClaims(root);
    if (!exists) {
        checks.push_back(checkBrltty(processRunning(root, "brltty"), claims, adapter));
        return checks;
    }

    AccessFacts access;
    access.devicePath = device;
    access.mode = st.st_mode & 07777;
    access.owner = st.st_uid;
    access.group = st.st_gid;
    access.groupEntry = groupOf(root, st.st_gid);
    access.uid = geteuid();
    access.processGroups.resize(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
    access.processGroups.resize(static_cast<size_t>(std::max(
        getgroups(static_cast<int>(access.processGroups.size()), access.processGroups.data()), 0)));
    access.processGroups.push_back(getegid());
    access.user = userName(root, access.uid);
    access.mayOpen = faccessat(AT_FDCWD, under(root, device).c_str(), R_OK | W_OK, AT_EACCESS) == 0;
    access.ruleCovers = udevRuleCovers(root, adapter);
    checks.push_back(checkAccess(access));

    const std::unique_ptr<SerialPort> port = makeSystemPort(links);
    const PortError opened = port->open(under(root, device).string());
    port->close();
    checks.push_back(checkFree(device, opened.kind == PortError::Kind::Busy,
                               processesHolding(root, device), kernel.rfind("pts/", 0) == 0));

    bool ignored = false;
    for (const auto& [key, value] :
         udevProperties(root, deviceNumbers(root, kernel)).value_or(UdevProperties()))
        ignored = ignored || (key == "ID_MM_DEVICE_IGNORE" && value == "1");
    checks.push_back(
        checkModemManager(kernel, processRunning(root, "ModemManager"), ignored, adapter));
    checks.push_back(checkBrltty(processRunning(root, "brltty"), claims, adapter));
    checks.push_back(checkLatency(kernel, ttyDriver(root, kernel), ftdiLatencyMs(root, kernel)));
    return checks;
}

std::vector<PortCheck> checkPort(std::string_view name, const PortLinks& links) {
    return checkPortSystem(name, "/", links);
}

} // namespace serial

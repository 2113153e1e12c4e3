// The Linux checks of a port, each a judgement of facts that system_facts.h reads, so that
// every good and bad state can be tried without the machine being in it.
#pragma once

#include "serial/doctor/port_doctor.h"
#include "serial/doctor/posix/system_facts.h"

#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace serial::posix {

PortCheck checkDevice(const std::string& name, const std::string& devicePath, bool exists,
                      const std::optional<UsbAdapter>& adapter);

struct AccessFacts {
    std::string devicePath;
    // What the kernel says (access(2) with the effective ids): mode, owner and group, and also
    // ACLs, such as the one logind gives the user at the desk for a device tagged uaccess.
    bool mayOpen = false;
    // The package's udev rule is installed and names this adapter: it tags it uaccess.
    bool ruleCovers = false;
    mode_t mode = 0; // the device's permission bits
    uid_t owner = 0;
    gid_t group = 0;
    std::optional<Group> groupEntry; // the device's group as /etc/group has it
    uid_t uid = 0;                   // this process
    std::vector<gid_t> processGroups;
    std::string user;
};
// Whether the user may open the port: the kernel's word; mode, owner and group explain a refusal.
PortCheck checkAccess(const AccessFacts& facts);

// Whether Trevane's udev rule (60-trevane.rules, installed with the package) names the adapter:
// read from the rule as installed under `root`.
bool udevRuleCovers(const std::string& root, const std::optional<UsbAdapter>& adapter);

// busy: the port refused our open as held by another program. A pseudo-terminal (a simulated
// board's line) is always held by its peer.
PortCheck checkFree(const std::string& devicePath, bool busy, const std::vector<Process>& holders,
                    bool pseudoTerminal);

PortCheck checkModemManager(const std::string& kernel, bool running, bool ignored,
                            const std::optional<UsbAdapter>& adapter);

PortCheck checkBrltty(bool running, const std::set<std::string>& claims,
                      const std::optional<UsbAdapter>& adapter);

PortCheck checkLatency(const std::string& kernel, const std::string& driver,
                       std::optional<int> latencyMs);

} // namespace serial::posix

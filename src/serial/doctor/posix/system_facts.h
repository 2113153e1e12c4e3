// What Linux tells of a serial device's surroundings, for the doctor: who holds it (/proc),
// groups and users (/etc), and the adapters brltty's udev rules claim. The device itself is
// read by the listing's reader (device_files.h). Every reader takes the root to read under
// ("/" on a real machine), so that tests give it a small tree of their own.
#pragma once

#include "serial/listing/posix/device_files.h"

#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace serial::posix {

struct Process {
    pid_t pid = 0;
    std::string command;
};
// Processes that have the device open (those /proc lets us see), this one left out.
std::vector<Process> processesHolding(const std::string& root, const std::string& devicePath);
// Whether a process of that command name (as /proc/<pid>/comm gives it) runs.
bool processRunning(const std::string& root, const std::string& command);

// The name of a group and the users /etc/group lists in it; none for an unknown group.
struct Group {
    std::string name;
    std::vector<std::string> members;
};
std::optional<Group> groupOf(const std::string& root, gid_t gid);
// The name of this process's user, from /etc/passwd, else $USER.
std::string userName(const std::string& root, uid_t uid);

// The USB ids ("1a86:7523") that brltty's udev rules claim, its rules masked by /etc left out.
std::set<std::string> brlttyClaims(const std::string& root);

} // namespace serial::posix

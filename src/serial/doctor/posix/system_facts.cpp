#include "serial/doctor/posix/system_facts.h"

#include "text/text.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace serial::posix {

namespace {

namespace fs = std::filesystem;

// A USB id as sysfs writes it: four lower-case hex digits.
std::string usbId(const std::string& hex) {
    const std::string id = text::lowered(hex);
    return id.size() < 4 ? std::string(4 - id.size(), '0') + id : id;
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

std::vector<Process> processesHolding(const std::string& root, const std::string& devicePath) {
    std::vector<Process> holders;
    std::error_code error;
    const std::string self = std::to_string(getpid());
    const fs::path proc = under(root, "/proc");
    for (fs::directory_iterator it(proc, error), end; !error && it != end; it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (!text::allDigits(pid) || pid == self) continue;
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
        if (text::allDigits(it->path().filename().string()) &&
            firstLine(it->path() / "comm") == command)
            return true;
    }
    return false;
}

std::optional<Group> groupOf(const std::string& root, gid_t gid) {
    std::ifstream in(under(root, "/etc/group"));
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> fields = text::split(line, ':');
        if (fields.size() < 4 || !text::allDigits(fields[2]) ||
            static_cast<gid_t>(std::atol(fields[2].c_str())) != gid)
            continue;
        Group group{fields[0], {}};
        for (const std::string& member : text::split(fields[3], ','))
            if (!member.empty()) group.members.push_back(member);
        return group;
    }
    return std::nullopt;
}

std::string userName(const std::string& root, uid_t uid) {
    std::ifstream in(under(root, "/etc/passwd"));
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> fields = text::split(line, ':');
        if (fields.size() > 2 && text::allDigits(fields[2]) &&
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
                const std::vector<std::string> ids =
                    text::split(ruleValue(line, "PRODUCT}=="), '/');
                if (ids.size() >= 2 && !ids[0].empty() && !ids[1].empty())
                    claimed.insert(usbId(ids[0]) + ":" + usbId(ids[1]));
            }
        }
    }
    return claimed;
}

} // namespace serial::posix

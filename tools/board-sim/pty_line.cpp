#include "pty_line.h"

#include "serial/listing/port_map.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace boardsim {

bool PtyLine::open(std::string& error) {
    close();
    char name[PATH_MAX];
    termios raw{};
    cfmakeraw(&raw);
    // Raw from the start: an echoing line would send the updater's bytes straight back.
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        master_ = slave_ = -1;
        return false;
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
    return true;
}

void PtyLine::close() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
}

void PtyLine::stopUpdaterOutput() {
    if (slave_ >= 0) tcflow(slave_, TCOOFF);
}

std::string registerLink(const serial::PortLinks& links, const std::string& portName,
                         const std::string& target, std::string& error) {
    if (!serial::makePortLinkFolder(links)) {
        error = "cannot make the port-link folder " + links.folder;
        return {};
    }
    const std::string link = links.folder + "/" + portName;
    const std::string temporary = link + ".new." + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 ||
        rename(temporary.c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return {};
    }
    return link;
}

void removeLink(const std::string& linkPath, const std::string& target) {
    char current[PATH_MAX];
    const ssize_t length = readlink(linkPath.c_str(), current, sizeof current - 1);
    if (length < 0) return;
    current[length] = '\0';
    if (target == current) unlink(linkPath.c_str());
}

} // namespace boardsim

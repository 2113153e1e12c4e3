#include "app/posix/settings_files.h"
#include "app/settings_text.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace app {
namespace {

constexpr const char* kFileName = "trevane.reg";

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

struct FileContent {
    bool exists = false;             // false only when there is no such file
    std::optional<std::string> text; // nullopt when it exists but cannot be read
};

FileContent slurp(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {errno != ENOENT, std::nullopt};
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return {true, std::nullopt};
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return {true, std::move(text)};
}

bool makeDirs(const std::string& dir) {
    if (dir.empty()) return false;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirs(dir.substr(0, slash))) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

SettingsFiles::SettingsFiles(std::string userFolder, std::string machineFolder)
    : userFolder_(std::move(userFolder)), machineFolder_(std::move(machineFolder)) {}

std::string SettingsFiles::systemUserFolder() {
    std::string base = env("XDG_CONFIG_HOME");
    if (base.empty()) {
        const std::string home = env("HOME");
        if (home.empty()) return {};
        base = home + "/.config";
    }
    return base + "/trevane";
}

std::string SettingsFiles::systemMachineFolder() {
    std::string dirs = env("XDG_CONFIG_DIRS");
    if (dirs.empty()) dirs = "/etc/xdg";
    return dirs.substr(0, dirs.find(':')) + "/trevane";
}

std::unique_ptr<SettingsStore> makeSystemSettingsStore() {
    return std::make_unique<SettingsFiles>(SettingsFiles::systemUserFolder(),
                                           SettingsFiles::systemMachineFolder());
}

std::string SettingsFiles::read(std::string_view name) {
    for (const std::string& dir : {userFolder_, machineFolder_}) {
        if (dir.empty()) continue;
        const FileContent content = slurp(dir + "/" + kFileName);
        if (!content.text) continue;
        const auto value = settings_text::find(*content.text, kSettingsKey, name);
        if (!value) continue;
        if (!value->isText) throw Failure("Invalid data type for '" + std::string(name) + "'");
        return value->text;
    }
    return {};
}

void SettingsFiles::write(std::string_view name, std::string_view text) {
    const std::string& dir = userFolder_;
    if (!makeDirs(dir)) return; // no place to keep settings: nothing stored, as without rights
    const std::string path = dir + "/" + kFileName;
    const Failure failed("Failed to set data for '" + std::string(name) + "'");
    // The other values and comments of a file we cannot read would be lost by replacing it.
    const FileContent old = slurp(path);
    if (old.exists && !old.text) throw failed;
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return; // the location cannot be opened for writing

    const std::string updated =
        settings_text::withText(old.text.value_or(std::string()), kSettingsKey, name, text);
    const bool ok = writeAll(fd, updated) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!ok || !closed || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        throw failed;
    }
}

} // namespace app

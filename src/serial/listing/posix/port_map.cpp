#include "serial/listing/port_map.h"
#include "serial/port_name.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace serial {

namespace {

struct DeviceFamily {
    const char* prefix; // kernel name without the number
    int32_t firstPort;  // port number of device 0
    int32_t count;
};

// Port numbers are 0-based: port 0 is COM1.
constexpr DeviceFamily kFamilies[] = {
    {"ttyS", 0, 32},     {"ttyUSB", 32, 64},    {"ttyACM", 96, 64},
    {"ttyAMA", 160, 16}, {"ttyXRUSB", 176, 16}, {"ttySC", 192, 16},
    {"ttymxc", 208, 16}, {"ttyMSM", 224, 16},   {"rfcomm", 240, 17},
};

// A decimal number without sign or leading zeros; -1 when text is anything else.
int32_t parseIndex(const char* text) {
    if (*text == '\0' || (text[0] == '0' && text[1] != '\0')) return -1;
    int32_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return -1;
        value = value * 10 + (*p - '0');
        if (value > 100000) return -1;
    }
    return value;
}

bool fits(int written, std::size_t size) {
    return written >= 0 && static_cast<std::size_t>(written) < size;
}

// Makes one folder level; an existing one is fine when it is a folder.
bool makeFolder(const char* path) {
    if (mkdir(path, 0700) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st {};
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes every missing level of path, each with mode 0700.
bool makeFolders(char* path) {
    for (char* p = path + 1; *p != '\0'; ++p) {
        if (*p != '/') continue;
        *p = '\0';
        const bool ok = makeFolder(path);
        *p = '/';
        if (!ok) return false;
    }
    return makeFolder(path);
}

} // namespace

int32_t portNumberOfDevice(const char* nameOrPath) {
    if (nameOrPath == nullptr) return -1;
    const char* name = nameOrPath;
    if (std::strncmp(name, "/dev/", 5) == 0) name += 5;
    for (const DeviceFamily& family : kFamilies) {
        const std::size_t length = std::strlen(family.prefix);
        if (std::strncmp(name, family.prefix, length) != 0) continue;
        const int32_t index = parseIndex(name + length);
        if (index >= 0 && index < family.count) return family.firstPort + index;
    }
    return -1;
}

int32_t portNumberOfLinkName(const char* name) {
    if (name == nullptr) return -1;
    const int number = comNumber(name);
    return number < 0 ? -1 : number - 1;
}

PortLinks portLinksFrom(const char* trevanePorts, const char* runtimeDir) {
    if (trevanePorts != nullptr && *trevanePorts != '\0') return {trevanePorts};
    if (runtimeDir != nullptr && *runtimeDir != '\0')
        return {std::string(runtimeDir) + "/trevane/ports"};
    return {"/tmp/trevane-" + std::to_string(getuid()) + "/ports"};
}

PortLinks portLinksFromEnvironment() {
    return portLinksFrom(std::getenv("TREVANE_PORTS"), std::getenv("XDG_RUNTIME_DIR"));
}

bool makePortLinkFolder(const PortLinks& links) {
    if (links.folder.empty()) return false;
    std::string path = links.folder;
    if (!makeFolders(path.data())) return false;
    // The folder of last resort lies in /tmp, which every user shares: the folder above it must be
    // ours, private and not a link planted by someone else.
    const std::string ours = "/tmp/trevane-" + std::to_string(getuid());
    if (links.folder != ours + "/ports") return true;
    struct stat st {};
    return lstat(ours.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & 077) == 0;
}

bool portDevicePath(int32_t n, const PortLinks& links, char* out, std::size_t size) {
    if (n < 0 || n > 256 || out == nullptr || size == 0) return false;
    if (!links.folder.empty()) {
        const char* folder = links.folder.c_str();
        // Links are looked up by their usual spellings so that this stays free of allocation
        // (a directory listing would allocate).
        static constexpr const char* kSpellings[] = {"COM", "com", "Com"};
        for (const char* spelling : kSpellings) {
            const int written = std::snprintf(out, size, "%s/%s%d", folder, spelling, n + 1);
            struct stat st {};
            if (fits(written, size) && lstat(out, &st) == 0) return true;
        }
    }
    for (const DeviceFamily& family : kFamilies) {
        if (n >= family.firstPort && n < family.firstPort + family.count) {
            const int written =
                std::snprintf(out, size, "/dev/%s%d", family.prefix, n - family.firstPort);
            return fits(written, size);
        }
    }
    return false;
}

} // namespace serial

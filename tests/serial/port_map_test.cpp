#include "serial/listing/port_map.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::TempFolder;

namespace {

std::string pathOf(int32_t n, const serial::PortLinks& links = {}) {
    char out[serial::kDevicePathSize];
    return serial::portDevicePath(n, links, out, sizeof out) ? std::string(out) : "<none>";
}

TEST(PortMap, FixedRangesBothWays) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "/dev/ttyS0"},     {31, "/dev/ttyS31"},  {32, "/dev/ttyUSB0"},
        {95, "/dev/ttyUSB63"}, {96, "/dev/ttyACM0"}, {159, "/dev/ttyACM63"},
        {160, "/dev/ttyAMA0"}, {192, "/dev/ttySC0"}, {256, "/dev/rfcomm16"},
        {-1, "<none>"},        {257, "<none>"}};
    for (const auto& [port, path] : cases)
        EXPECT_EQ(pathOf(port), path) << port;
    for (int32_t n = 0; n <= 256; ++n) {
        const std::string path = pathOf(n);
        EXPECT_EQ(serial::portNumberOfDevice(path.c_str()), n) << path;
        EXPECT_EQ(serial::portNumberOfDevice(path.substr(5).c_str()), n) << path;
    }
    for (const char* name : {"ttyS32", "ttyUSB64", "ttyS01", "ttyUSB", "pts/0", "ttyGS0", "tty1",
                             "ttyS0x", "", "/dev/null"})
        EXPECT_EQ(serial::portNumberOfDevice(name), -1) << name;
    char small[12]; // "/dev/ttyUSB8" needs 13
    EXPECT_FALSE(serial::portDevicePath(40, {}, small, sizeof small));
}

TEST(PortMap, LinkNamesInAnyLetterCase) {
    const std::pair<const char*, int32_t> cases[] = {
        {"COM1", 0},   {"com257", 256}, {"Com200", 199}, {"COM258", -1}, {"COM0", -1},
        {"COM01", -1}, {"COM", -1},     {"LPT1", -1},    {"COM5.x", -1}};
    for (const auto& [name, port] : cases)
        EXPECT_EQ(serial::portNumberOfLinkName(name), port) << name;
}

TEST(PortMap, LinkFolderEntryWinsOverFixedRange) {
    TempFolder links;
    const serial::PortLinks folder{links.path()};
    ASSERT_EQ(symlink("/dev/null", (links / "COM5").c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", (links / "com6").c_str()), 0);
    ASSERT_EQ(symlink("/gone", (links / "COM8").c_str()), 0); // dangling: still the user's pick
    EXPECT_EQ(pathOf(4, folder), links / "COM5");
    EXPECT_EQ(pathOf(5, folder), links / "com6");
    EXPECT_EQ(pathOf(6, folder), "/dev/ttyS6");
    EXPECT_EQ(pathOf(7, folder), links / "COM8");
}

TEST(PortMap, LinkFolderFromEnvironmentMadePrivate) {
    const std::string tmp = "/tmp/trevane-" + std::to_string(getuid()) + "/ports";
    const struct {
        const char* trevanePorts;
        const char* runtime;
        std::string folder;
    } cases[] = {
        {"/x/ports", "/run/user/7", "/x/ports"},
        {"", "/run/user/7", "/run/user/7/trevane/ports"},
        {nullptr, "/run/user/7", "/run/user/7/trevane/ports"},
        {nullptr, "", tmp},
        {nullptr, nullptr, tmp},
    };
    for (const auto& c : cases)
        EXPECT_EQ(serial::portLinksFrom(c.trevanePorts, c.runtime).folder, c.folder)
            << (c.trevanePorts ? c.trevanePorts : "unset") << " "
            << (c.runtime ? c.runtime : "unset");

    TempFolder base;
    ASSERT_TRUE(serial::makePortLinkFolder({base / "a/b/ports"}));
    for (const char* level : {"a", "a/b", "a/b/ports"}) {
        struct stat st {};
        ASSERT_EQ(stat((base / level).c_str(), &st), 0) << level;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << level;
    }
    EXPECT_FALSE(serial::makePortLinkFolder({"/dev/null/ports"})); // cannot be made
    EXPECT_FALSE(serial::makePortLinkFolder({}));
}

} // namespace

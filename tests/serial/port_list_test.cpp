#include "serial/doctor/posix/system_facts.h"
#include "serial/listing/port_list.h"
#include "serial/listing/port_watcher.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

using testing_support::TempFolder;

namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::tuple<std::string, std::string, std::string>>;

// A sysfs and udev tree laid out as Linux does, in a temporary folder.
class PortListTest : public ::testing::Test {
protected:
    TempFolder root;
    const serial::PortLinks links{root / "ports"};

    void SetUp() override {
        for (const char* dir : {"sys/class/tty", "sys/devices/serial", "run/udev/data", "ports"})
            fs::create_directories(root / dir);
    }
    Entries listAll() {
        Entries entries;
        for (const serial::PortDescription& port :
             serial::posix::listPortsUnder(root.path(), links))
            entries.emplace_back(port.name, port.device, port.friendlyName);
        return entries;
    }
    // A tty with a device behind it (unless device is empty) and, if given, udev data.
    void addTty(const std::string& name, const std::string& dev, const std::string& udevData = "",
                const std::string& type = "4", const std::string& device = "devices/serial") {
        const std::string dir = root / ("sys/class/tty/" + name);
        fs::create_directories(dir);
        std::ofstream(dir + "/dev") << dev << "\n";
        if (name.rfind("ttyS", 0) == 0) std::ofstream(dir + "/type") << type << "\n";
        if (!device.empty())
            fs::create_directory_symlink(root / ("sys/" + device), dir + "/device");
        if (!udevData.empty()) std::ofstream(root / ("run/udev/data/c" + dev)) << udevData;
    }
};

TEST_F(PortListTest, DevicesWithFriendlyNamesInNaturalOrder) {
    addTty("ttyUSB0", "188:0",
           "S:serial/by-id/usb-FTDI\nE:ID_VENDOR_FROM_DATABASE=Future Technology Devices\n"
           "E:ID_MODEL_FROM_DATABASE=FT232 Serial (UART) IC\nE:ID_MODEL=FT232R_USB_UART\n"
           "E:ID_MODEL_ENC=FT232R\\x20USB\\x20UART\n");
    addTty("ttyACM0", "166:0",
           "E:ID_VENDOR_FROM_DATABASE=Microchip Technology, Inc.\n"
           "E:ID_MODEL_FROM_DATABASE=MCP2200 USB Serial Port Emulator\n");
    addTty("ttyACM1", "166:1", "E:ID_MODEL=Board_Console\n");
    addTty("ttyACM5", "166:5", "E:ID_MODEL=" + std::string(400, 'M') + "\n");
    addTty("ttyS10", "4:74");
    addTty("ttyS2", "4:66");
    const Entries expected = {
        {"COM97", "/dev/ttyACM0",
         "Microchip Technology, Inc. MCP2200 USB Serial Port Emulator (ttyACM0)"},
        {"COM98", "/dev/ttyACM1", "Board Console (ttyACM1)"},
        {"COM102", "/dev/ttyACM5", std::string(400, 'M') + " (ttyACM5)"},
        {"COM3", "/dev/ttyS2", "Serial port (ttyS2)"},
        {"COM11", "/dev/ttyS10", "Serial port (ttyS10)"},
        {"COM33", "/dev/ttyUSB0", "FT232R USB UART (ttyUSB0)"},
    };
    EXPECT_EQ(listAll(), expected);
}

TEST_F(PortListTest, DevicesWithoutPortAreSkippedAndTheListingGoesOn) {
    addTty("tty1", "4:1", "", "", "");                  // a console: no device behind it
    addTty("ttyGS0", "239:0");                          // a gadget port: no COM name
    addTty("ttyS1", "4:65", "", "0");                   // an empty UART slot
    addTty("ttyUSB99", "188:99");                       // beyond the names the map gives
    addTty("ttyUSB1", "188:1", "", "", "devices/gone"); // unplugged: its device link dangles
    addTty("ttyUSB2", "188:2");
    addTty("ttyS4", "4:68");
    const Entries expected = {{"COM5", "/dev/ttyS4", "Serial port (ttyS4)"},
                              {"COM35", "/dev/ttyUSB2", "Serial port (ttyUSB2)"}};
    EXPECT_EQ(listAll(), expected);
}

TEST_F(PortListTest, LinksFollowTheDevicesAndTakeTheirNames) {
    addTty("ttyS0", "4:64");
    addTty("ttyS3", "4:67");
    fs::create_symlink("/dev/null", root / "ports/COM200");
    fs::create_symlink("/dev/zero", root / "ports/com4");      // takes COM4 from ttyS3
    fs::create_symlink(root / "nothing", root / "ports/COM9"); // left behind: dangling
    fs::create_symlink("/dev/null", root / "ports/COM1000");
    fs::create_symlink("/dev/null", root / "ports/LPT1");
    fs::create_symlink("../ports/COM200", root / "ports/COM7"); // relative: opened as the link
    const Entries expected = {{"COM1", "/dev/ttyS0", "Serial port (ttyS0)"},
                              {"com4", "/dev/zero", "Linked port (/dev/zero)"},
                              {"COM7", root / "ports/COM7", "Linked port (../ports/COM200)"},
                              {"COM200", "/dev/null", "Linked port (/dev/null)"}};
    EXPECT_EQ(listAll(), expected);
}

TEST_F(PortListTest, EveryListingIsMadeAfresh) {
    addTty("ttyS0", "4:64");
    addTty("ttyS1", "4:65");
    EXPECT_EQ(listAll().size(), 2u);
    EXPECT_EQ(listAll().size(), 2u);

    fs::remove_all(root / "sys");
    fs::remove_all(root / "ports");
    EXPECT_TRUE(listAll().empty());
}

TEST_F(PortListTest, TheWatcherSeesAdaptersComeGoAndChange) {
    serial::PortWatcher watcher(
        [this] { return serial::posix::listPortsUnder(root.path(), links); });
    const auto changes = [&] {
        const serial::PortWatcher::Changes c = watcher.poll();
        std::vector<std::string> seen;
        for (const std::string& name : c.vanished)
            seen.push_back("-" + name);
        for (const serial::PortDescription& port : c.appeared)
            seen.push_back(std::string(port.settled ? "+" : "+unsettled ") + port.name);
        for (const serial::PortDescription& port : c.updated)
            seen.push_back("~" + port.name + " " + port.friendlyName);
        return seen;
    };
    // An adapter with its USB device, so that its serial number is part of what is seen.
    const auto plugIn = [&](const std::string& serialNumber) {
        fs::create_directories(root / "sys/devices/usb1/1-2/1-2:1.0/ttyUSB0");
        std::ofstream(root / "sys/devices/usb1/1-2/idVendor") << "0403\n";
        std::ofstream(root / "sys/devices/usb1/1-2/idProduct") << "6001\n";
        std::ofstream(root / "sys/devices/usb1/1-2/serial") << serialNumber << "\n";
        addTty("ttyUSB0", "188:0", "", "", "devices/usb1/1-2/1-2:1.0/ttyUSB0");
    };
    addTty("ttyS0", "4:64", "E:ID_MODEL=UART\n");
    EXPECT_EQ(changes(), std::vector<std::string>{"+COM1"});
    plugIn("A1");
    // Before udev has described it, a new adapter is the same port once it has: updated in
    // place, never gone and come (a second station would program its board twice).
    EXPECT_EQ(changes(), std::vector<std::string>{"+unsettled COM33"});
    std::ofstream(root / "run/udev/data/c188:0") << "E:ID_MODEL=FT232R\n";
    EXPECT_EQ(changes(), std::vector<std::string>{"~COM33 FT232R (ttyUSB0)"});
    EXPECT_TRUE(changes().empty());
    fs::remove_all(root / "sys/class/tty/ttyUSB0");
    EXPECT_EQ(changes(), std::vector<std::string>{"-COM33"});
    plugIn("A1");
    changes();
    // Another adapter in the same socket, faster than a poll: gone and come.
    std::ofstream(root / "sys/devices/usb1/1-2/serial") << "B2\n";
    EXPECT_EQ(changes(), (std::vector<std::string>{"-COM33", "+COM33"}));
    fs::create_symlink("/dev/null", root / "ports/COM200");
    EXPECT_EQ(changes(), std::vector<std::string>{"+COM200"});
    // The link pointed at the same device by another path: the same port.
    fs::remove(root / "ports/COM200");
    fs::create_symlink("/dev/../dev/null", root / "ports/COM200");
    EXPECT_EQ(changes(), std::vector<std::string>{"~COM200 Linked port (/dev/../dev/null)"});
}

} // namespace

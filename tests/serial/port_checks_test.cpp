// The doctor's checks on Linux: each judgement in its good and bad states, then the readers on
// a small machine laid out in a temporary folder as sysfs, udev, /proc and /etc are.
#include "serial/doctor/posix/port_checks.h"
#include "serial/listing/device_instance.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using serial::PortCheck;
using serial::Verdict;
using namespace serial::posix;

serial::posix::AccessFacts alice(mode_t mode, std::vector<gid_t> processGroups,
                                 bool mayOpen = false) {
    AccessFacts f;
    f.devicePath = "/dev/ttyUSB0";
    f.mayOpen = mayOpen;
    f.mode = mode;
    f.group = 20;
    f.groupEntry = Group{"dialout", {"alice"}};
    f.uid = 1000;
    f.processGroups = std::move(processGroups);
    f.user = "alice";
    return f;
}

TEST(PortChecks, EachJudgementInItsGoodAndBadStates) {
    const UsbAdapter ftdi{"0403", "6001", "A50285BI", ""};
    const std::set<std::string> claimsFtdi{"0403:6001"};
    AccessFacts root = alice(0660, {}, true);
    root.uid = 0;
    AccessFacts unlisted = alice(0660, {1000});
    unlisted.groupEntry = Group{"dialout", {"bob"}};
    AccessFacts tagged = unlisted; // an adapter that Trevane's udev rule gives to the desk
    tagged.ruleCovers = true;
    struct Row {
        const char* what;
        PortCheck check;
        Verdict verdict;
        const char* mentions; // in what it found or in its fix
    };
    const Row rows[] = {
        {"device there", checkDevice("COM33", "/dev/ttyUSB0", true, ftdi), Verdict::Ok,
         "COM33 is /dev/ttyUSB0, USB adapter 0403:6001 serial A50285BI"},
        {"device missing", checkDevice("COM33", "/dev/ttyUSB0", false, {}), Verdict::Problem,
         "does not exist"},
        {"no device for the name", checkDevice("COM300", "", false, {}), Verdict::Problem,
         "--list-ports"},
        {"root", checkAccess(root), Verdict::Ok, "you may open"},
        {"in the group", checkAccess(alice(0660, {1000, 20}, true)), Verdict::Ok, "crw-rw----"},
        // The group would refuse, but an ACL (uaccess) lets the user in: the kernel decides.
        {"given by an ACL", checkAccess(alice(0660, {1000}, true)), Verdict::Ok, "you may open"},
        {"refused, the rule's adapter", checkAccess(tagged), Verdict::Problem,
         "unplug the adapter and plug it in again, or log in at the desk"},
        {"added, not logged in again", checkAccess(alice(0660, {1000})), Verdict::Problem,
         "log out and in again"},
        {"not in the group", checkAccess(unlisted), Verdict::Problem,
         "sudo usermod -aG dialout alice"},
        {"owner only", checkAccess(alice(0600, {20})), Verdict::Problem, "only the owner"},
        {"held", checkFree("/dev/ttyUSB0", false, {{4411, "minicom"}}, false), Verdict::Problem,
         "minicom (PID 4411)"},
        {"busy, holder not visible", checkFree("/dev/ttyUSB0", true, {}, false), Verdict::Problem,
         "run as root"},
        {"a simulator's terminal", checkFree("/dev/pts/4", false, {{90, "board-sim"}}, true),
         Verdict::Ok, "board-sim (PID 90)"},
        {"free", checkFree("/dev/ttyUSB0", false, {}, false), Verdict::Ok, "no other program"},
        {"probed by ModemManager", checkModemManager("ttyUSB0", true, false, ftdi),
         Verdict::Warning, "ATTRS{idProduct}==\"6001\", ENV{ID_MM_DEVICE_IGNORE}=\"1\""},
        {"ignored by ModemManager", checkModemManager("ttyACM0", true, true, {}), Verdict::Ok,
         "leaves ttyACM0 alone"},
        {"no ModemManager", checkModemManager("ttyUSB0", false, false, {}), Verdict::Ok,
         "does not run"},
        {"a port it never probes", checkModemManager("ttyS0", true, false, {}), Verdict::Ok,
         "not a port"},
        {"brltty claims the adapter", checkBrltty(false, claimsFtdi, ftdi), Verdict::Problem,
         "/dev/null"},
        {"brltty claims adapters of its kind", checkBrltty(false, claimsFtdi, {}), Verdict::Warning,
         "FT232R (0403:6001)"},
        {"brltty runs", checkBrltty(true, {"1a86:7523"}, ftdi), Verdict::Warning, "brltty runs"},
        {"no brltty", checkBrltty(false, {}, ftdi), Verdict::Ok, "claims no such adapter"},
        {"slow FTDI timer", checkLatency("ttyUSB0", "ftdi_sio", 16), Verdict::Warning,
         "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"},
        {"low FTDI timer", checkLatency("ttyUSB0", "ftdi_sio", 2), Verdict::Ok, "2 ms"},
        {"no timer", checkLatency("ttyUSB1", "cp210x", {}), Verdict::Ok, "cp210x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.check.verdict, row.verdict);
        EXPECT_NE((row.check.found + " " + row.check.fix).find(row.mentions), std::string::npos)
            << row.check.found << " / " << row.check.fix;
        EXPECT_EQ(row.check.fix.empty(), row.verdict == Verdict::Ok);
    }
}

// A machine with an FTDI adapter at ttyUSB0 held by minicom, ModemManager told to leave it
// alone, and brltty's rules claiming it.
class FakeMachine : public ::testing::Test {
protected:
    testing_support::TempFolder root;

    void write(const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(root / path).parent_path());
        std::ofstream(root / path) << text;
    }
    void link(const std::string& path, const std::string& target) {
        fs::create_directories(fs::path(root / path).parent_path());
        fs::create_symlink(target, root / path);
    }

    void SetUp() override {
        const std::string usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
        const std::string port = usb + "/1-2:1.0/ttyUSB0";
        write(usb + "/idVendor", "0403\n");
        write(usb + "/idProduct", "6001\n");
        write(usb + "/serial", "A50285BI\n");
        write(port + "/latency_timer", "16\n");
        fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
        link(port + "/driver", root / "sys/bus/usb-serial/drivers/ftdi_sio");
        write("sys/class/tty/ttyUSB0/dev", "188:0\n");
        link("sys/class/tty/ttyUSB0/device", root / port);
        write("run/udev/data/c188:0", "E:ID_VENDOR_ID=0403\nE:ID_MM_DEVICE_IGNORE=1\n");
        write("dev/ttyUSB0", "");
        link("dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "../../ttyUSB0");
        write("proc/4411/comm", "minicom\n");
        link("proc/4411/fd/3", "/dev/ttyUSB0");
        write("proc/812/comm", "ModemManager\n");
        write("etc/group", "root:x:0:\ndialout:x:20:alice,bob\n");
        write("etc/passwd", "alice:x:1000:1000::/home/alice:/bin/sh\n");
        write("usr/lib/udev/rules.d/85-brltty.rules",
              "ENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"sk\"\n");
        // A rule masked in /etc claims nothing.
        write("lib/udev/rules.d/86-brltty-more.rules",
              "ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", GOTO=\"x\"\n");
        link("etc/udev/rules.d/86-brltty-more.rules", "/dev/null");
    }
};

TEST_F(FakeMachine, TheReadersFindItsFacts) {
    EXPECT_EQ(ftdiLatencyMs(root.path(), "ttyUSB0"), 16);
    const auto adapter = usbAdapterOf(root.path(), "ttyUSB0");
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->serial, "A50285BI");
    EXPECT_EQ(adapter->place, "pci-0000:00:14.0-usb-0:2:1.0-port0");
    EXPECT_EQ(brlttyClaims(root.path()), std::set<std::string>{"0403:6001"});
    const auto dialout = groupOf(root.path(), 20);
    ASSERT_TRUE(dialout);
    EXPECT_EQ(dialout->members, (std::vector<std::string>{"alice", "bob"}));
    EXPECT_EQ(userName(root.path(), 1000), "alice");
    EXPECT_TRUE(processRunning(root.path(), "ModemManager"));
}

TEST_F(FakeMachine, EveryCheckOfAPortAndOfAMissingOne) {
    std::vector<std::pair<std::string, Verdict>> got;
    for (const PortCheck& c : serial::checkPortSystem("/dev/ttyUSB0", root.path(), {}))
        got.emplace_back(serial::checkCode(c.check), c.verdict);
    const std::vector<std::pair<std::string, Verdict>> expected = {
        {"device", Verdict::Ok},       {"access", Verdict::Ok},      {"free", Verdict::Problem},
        {"modemmanager", Verdict::Ok}, {"brltty", Verdict::Problem}, {"latency", Verdict::Warning}};
    EXPECT_EQ(got, expected);

    got.clear();
    for (const PortCheck& c : serial::checkPortSystem("/dev/ttyUSB1", root.path(), {}))
        got.emplace_back(serial::checkCode(c.check), c.verdict);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, Verdict>>{{"device", Verdict::Problem},
                                                                 {"brltty", Verdict::Warning}}));
}

// How Windows names the USB adapter behind a port (read here, where it can be tried).
// The desk user's ACL (what logind gives for a uaccess tag) lets in a user whom the device's
// group would refuse: the kernel's word counts, not mode and group. devpts keeps no ACLs, so the
// port is a node of the pseudo-terminal's numbers on a tmpfs, its ACL written as setfacl would.
TEST(PortChecks, AnAclLetsInAUserTheGroupWouldRefuse) {
    if (geteuid() != 0) GTEST_SKIP() << "makes a device node and becomes another user: as root";
    constexpr uid_t kNobody = 65534;
    int master = -1, slave = -1;
    char pty[256] = {};
    ASSERT_EQ(openpty(&master, &slave, pty, nullptr, nullptr), 0);
    struct stat st {};
    ASSERT_EQ(stat(pty, &st), 0);
    const fs::path dir = "/dev/shm/trevane-acl-" + std::to_string(getpid());
    fs::create_directories(dir / "ports");
    fs::permissions(dir, fs::perms(0755));
    fs::permissions(dir / "ports", fs::perms(0755));
    const fs::path node = dir / "ttyACL";
    ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0660, st.st_rdev), 0);
    ASSERT_EQ(chown(node.c_str(), 0, 0), 0); // owner and group root: nobody is in neither
    ASSERT_EQ(chmod(node.c_str(), 0660), 0);
    fs::create_symlink(node, dir / "ports" / "COM200");

    // The doctor's access verdict for the port, as the user nobody.
    const auto verdictAsNobody = [&] {
        int result[2];
        EXPECT_EQ(pipe(result), 0);
        const pid_t child = fork();
        if (child == 0) {
            if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                setresuid(kNobody, kNobody, kNobody) != 0)
                _exit(2);
            char verdict = '?';
            for (const PortCheck& c : serial::checkPortSystem("COM200", "/", {dir / "ports"}))
                if (c.check == serial::Check::Access)
                    verdict = c.verdict == Verdict::Ok ? 'o' : 'p';
            _exit(write(result[1], &verdict, 1) == 1 ? 0 : 3);
        }
        close(result[1]);
        char verdict = 0;
        EXPECT_EQ(read(result[0], &verdict, 1), 1);
        close(result[0]);
        waitpid(child, nullptr, 0);
        return verdict;
    };
    EXPECT_EQ(verdictAsNobody(), 'p') << "mode 0660, group root: refused";
    // The ACL, as the kernel keeps it: version 2, then the entries in tag order.
    struct Entry {
        uint16_t tag, perm;
        uint32_t id;
    };
    struct {
        uint32_t version = 2;
        Entry entries[5] = {{0x01, 6, UINT32_MAX},  // the owner: rw
                            {0x02, 6, kNobody},     // the user nobody: rw
                            {0x04, 6, UINT32_MAX},  // the group: rw
                            {0x10, 6, UINT32_MAX},  // the mask: rw
                            {0x20, 0, UINT32_MAX}}; // others: nothing
    } acl;
    ASSERT_EQ(setxattr(node.c_str(), "system.posix_acl_access", &acl, sizeof acl, 0), 0)
        << std::strerror(errno);
    EXPECT_EQ(verdictAsNobody(), 'o') << "the ACL lets nobody in";
    close(master);
    close(slave);
    fs::remove_all(dir);
}

TEST(DeviceInstance, TheAdapterBehindAWindowsPort) {
    struct Case {
        const char* id;
        const char* vendor;
        const char* product;
        const char* serial;
    };
    const Case cases[] = {
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "0403", "6001", "A50285BI"},
        {"USB\\VID_1A86&PID_7523\\5&2E6F1A2B&0&2", "1a86", "7523", ""}, // made up by Windows
        {"USB\\VID_067B&PID_2303\\0123456", "067b", "2303", "0123456"},
        {"ACPI\\PNP0501\\1", "", "", ""}, // a built-in UART
        {"USB\\VID_12&PID_7523\\X", "", "", ""},
    };
    for (const Case& c : cases) {
        const serial::AdapterIdentity a = serial::adapterOfInstanceId(c.id);
        EXPECT_EQ(a.vendorId + ":" + a.productId + ":" + a.serial,
                  std::string(c.vendor) + ":" + c.product + ":" + c.serial)
            << c.id;
    }
}

} // namespace

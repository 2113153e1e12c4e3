// The port listing under wine, where the "Ports" setup class has no device and the listing
// comes from HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, which holds the ports wine maps.
#include "serial/doctor/port_doctor.h"
#include "serial/listing/port_list.h"
#include "serial/listing/win32/ftdi_registry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool listed(const std::vector<serial::PortDescription>& ports, const std::string& name) {
    return std::any_of(ports.begin(), ports.end(),
                       [&](const serial::PortDescription& p) { return p.name == name; });
}

// Values added to SERIALCOMM for one test, removed again afterwards.
class DeviceMap : public ::testing::Test {
protected:
    void TearDown() override {
        HKEY key = open();
        for (const std::string& name : added_)
            RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
    }
    void add(const std::string& device, DWORD type, const std::string& data) {
        HKEY key = open();
        ASSERT_NE(key, nullptr);
        ASSERT_EQ(RegSetValueExA(key, device.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>(data.size() + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        added_.push_back(device);
    }

private:
    static HKEY open() {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key,
                        nullptr);
        return key;
    }
    std::vector<std::string> added_;
};

TEST_F(DeviceMap, TheMappedPortIsListedWithItsDeviceAndAFriendlyName) {
    const char* com = std::getenv("TREVANE_TEST_COM");
    if (com == nullptr) GTEST_SKIP() << "needs the COM port that com_peer.py maps";
    const std::string name = std::string("COM") + com;
    const std::vector<serial::PortDescription> ports = serial::listPorts({});
    const auto it = std::find_if(ports.begin(), ports.end(),
                                 [&](const serial::PortDescription& p) { return p.name == name; });
    ASSERT_NE(it, ports.end());
    EXPECT_EQ(it->device, "\\\\.\\" + name);
    EXPECT_EQ(it->friendlyName, "Serial port (" + name + ")");
}

TEST_F(DeviceMap, OddEntriesAreSkippedAndTheListingGoesOn) {
    add("\\Device\\TrevaneLpt", REG_SZ, "LPT3");
    add("\\Device\\TrevaneZero", REG_SZ, "COM0");
    add("\\Device\\TrevaneLong", REG_SZ, "COM1000");
    add("\\Device\\TrevaneBeyond", REG_SZ, "COM258");
    add("\\Device\\TrevaneLeadingZero", REG_SZ, "COM01");
    add("\\Device\\TrevaneNoNumber", REG_SZ, "COMx");
    add("\\Device\\TrevaneExpand", REG_EXPAND_SZ, "COM46");
    add("\\Device\\TrevaneLower", REG_SZ, "com45");
    add("\\Device\\TrevaneLast", REG_SZ, "COM257");

    const std::vector<serial::PortDescription> ports = serial::listPorts({});
    for (const char* odd :
         {"LPT3", "COM0", "COM100", "COM1000", "COM258", "COM01", "COMx", "COM46"})
        EXPECT_FALSE(listed(ports, odd)) << odd;
    EXPECT_TRUE(listed(ports, "com45")); // as stored, letter case kept
    EXPECT_TRUE(listed(ports, "COM257"));

    // Every listing is made afresh.
    const std::vector<serial::PortDescription> again = serial::listPorts({});
    ASSERT_EQ(again.size(), ports.size());
    for (size_t i = 0; i < ports.size(); ++i)
        EXPECT_EQ(again[i].name, ports[i].name);
}

// A device tree with two FTDI adapters, the way the FTDI driver keeps their settings.
TEST(FtdiRegistry, TheLatencyTimerOfThePortsAdapter) {
    const std::string tree = "Software\\TrevaneTest\\Enum";
    const auto adapter = [&](const std::string& device, const char* port, DWORD timer) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                            (tree + "\\FTDIBUS\\" + device + "\\0000\\Device Parameters").c_str(),
                            0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                       static_cast<DWORD>(std::strlen(port) + 1));
        RegSetValueExA(key, "LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&timer),
                       sizeof timer);
        RegCloseKey(key);
    };
    adapter("VID_0403+PID_6001+A50285BIA", "COM5", 16);
    adapter("VID_0403+PID_6015+DN01ABCDA", "COM12", 1);
    EXPECT_EQ(serial::win32::ftdiLatencyMs(tree, "COM5"), 16);
    EXPECT_EQ(serial::win32::ftdiLatencyMs(tree, "com12"), 1);
    EXPECT_EQ(serial::win32::ftdiLatencyMs(tree, "COM6"), std::nullopt);
    EXPECT_EQ(serial::win32::ftdiLatencyMs("Software\\TrevaneTest\\None", "COM5"), std::nullopt);

    // The doctor: a missing port, and the mapped port with no FTDI adapter behind it.
    const std::vector<serial::PortCheck> missing = serial::checkPortSystem("COM250", tree, {});
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0].verdict, serial::Verdict::Problem);
    if (const char* com = std::getenv("TREVANE_TEST_COM")) {
        std::vector<std::string> codes;
        for (const serial::PortCheck& c :
             serial::checkPortSystem(std::string("COM") + com, tree, {}))
            codes.push_back(std::string(serial::checkCode(c.check)) + " " +
                            serial::verdictText(c.verdict));
        EXPECT_EQ(codes, (std::vector<std::string>{"device ok", "free ok", "latency ok"}));
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\TrevaneTest");
}

} // namespace

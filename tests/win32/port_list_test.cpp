// The port listing under wine, where the "Ports" setup class has no device and the listing
// comes from HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, which holds the ports wine maps.
#include "serial/port_list.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries listPorts(bool withFriendlyNames = true) {
    Entries entries;
    serial::PortList* list = serial::openPortList();
    char port[serial::kPortNameSize];
    char friendly[serial::kFriendlyNameSize];
    while (serial::nextPort(list, port, withFriendlyNames ? friendly : nullptr) == 1)
        entries.emplace_back(port, withFriendlyNames ? friendly : "");
    EXPECT_TRUE(serial::closePortList(list));
    return entries;
}

bool listed(const Entries& entries, const std::string& port) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const auto& e) { return e.first == port; });
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

TEST_F(DeviceMap, TheMappedPortIsListedWithAFriendlyName) {
    const char* com = std::getenv("TREVANE_TEST_COM");
    if (com == nullptr) GTEST_SKIP() << "needs the COM port that com_peer.py maps";
    const std::string name = std::string("COM") + com;
    const Entries entries = listPorts();
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const auto& e) { return e.first == name; });
    ASSERT_NE(it, entries.end());
    EXPECT_EQ(it->second, "Serial port (" + name + ")");
}

TEST_F(DeviceMap, OddEntriesAreSkippedAndTheListingGoesOn) {
    add("\\Device\\TrevaneLpt", REG_SZ, "LPT3");
    add("\\Device\\TrevaneZero", REG_SZ, "COM0");
    add("\\Device\\TrevaneLong", REG_SZ, "COM1000");
    add("\\Device\\TrevaneNoNumber", REG_SZ, "COMx");
    add("\\Device\\TrevaneExpand", REG_EXPAND_SZ, "COM46");
    add("\\Device\\TrevaneLower", REG_SZ, "com45");
    add("\\Device\\TrevaneSix", REG_SZ, "COM256");

    const Entries entries = listPorts();
    for (const char* odd : {"LPT3", "COM0", "COM100", "COM1000", "COMx", "COM46"})
        EXPECT_FALSE(listed(entries, odd)) << odd;
    EXPECT_TRUE(listed(entries, "com45")); // as stored, letter case kept
    EXPECT_TRUE(listed(entries, "COM256"));

    // Every listing starts from the first entry again, friendly names wanted or not.
    const Entries again = listPorts(false);
    ASSERT_EQ(again.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(again[i].first, entries[i].first);
}

} // namespace

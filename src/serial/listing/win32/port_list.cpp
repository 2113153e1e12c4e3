// The port listing on Windows: the present devices of the setup class "Ports", each named by
// the "portname" value of its hardware key, read through the configuration manager that is
// loaded at run time. Where the class yields no device (serial ports that are no Plug and Play
// devices, as under wine), the ports of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM are listed instead.
//
// A device that cannot be named (no hardware key, no "portname", a name other than COM1 to
// COM257, a printer port) is skipped rather than ending the listing.

#include "serial/listing/port_list.h"
#include "serial/listing/device_instance.h"
#include "serial/port_name.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace serial {

namespace {

using OpenDevNodeKey = CONFIGRET(WINAPI*)(DEVINST, REGSAM, ULONG, REGDISPOSITION, PHKEY, ULONG);

constexpr const char* kDeviceMapKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kNameRoom = 16; // "COM257" fits with room to spare; longer values are refused

// A text value read into a buffer of kNameRoom bytes fitted when a zero ends it inside the
// buffer (a value stored without its terminating zero may fill the buffer exactly).
bool terminated(const char (&name)[kNameRoom]) {
    return std::memchr(name, '\0', kNameRoom) != nullptr;
}

PortDescription described(const std::string& name, std::string friendlyName) {
    return {name, "\\\\.\\" + name, std::move(friendlyName)};
}

// The "portname" value of a device's hardware key; empty when it cannot be read.
std::string devicePortName(OpenDevNodeKey openDevNodeKey, SP_DEVINFO_DATA& info) {
    HKEY key = nullptr;
    if (openDevNodeKey(info.DevInst, KEY_QUERY_VALUE, 0, RegDisposition_OpenExisting, &key,
                       CM_REGISTRY_HARDWARE) != CR_SUCCESS)
        return {};
    DWORD type = 0;
    DWORD size = kNameRoom;
    char name[kNameRoom] = {};
    const LONG result =
        RegQueryValueExA(key, "portname", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || !terminated(name))
        return {};
    return name;
}

// A text property of a device; of a list of texts (REG_MULTI_SZ), the first.
std::string deviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& info, DWORD property) {
    DWORD needed = 0;
    SetupDiGetDeviceRegistryPropertyA(devices, &info, property, nullptr, nullptr, 0, &needed);
    if (needed == 0) return {};
    std::vector<char> text(needed + 2, '\0');
    if (!SetupDiGetDeviceRegistryPropertyA(devices, &info, property, nullptr,
                                           reinterpret_cast<BYTE*>(text.data()), needed, nullptr))
        return {};
    return text.data();
}

// Where the port sits and which USB adapter provides it.
void describeAdapter(HDEVINFO devices, SP_DEVINFO_DATA& info, PortDescription& port) {
    port.place = deviceProperty(devices, info, SPDRP_LOCATION_PATHS);
    if (port.place.empty()) port.place = deviceProperty(devices, info, SPDRP_LOCATION_INFORMATION);
    char instanceId[512] = {};
    if (!SetupDiGetDeviceInstanceIdA(devices, &info, instanceId, sizeof instanceId, nullptr))
        return;
    port.deviceId = instanceId;
    const AdapterIdentity adapter = adapterOfInstanceId(instanceId);
    port.vendorId = adapter.vendorId;
    port.productId = adapter.productId;
    port.serial = adapter.serial;
}

void listDevices(HDEVINFO devices, std::vector<PortDescription>& ports) {
    const HMODULE configManager = LoadLibraryA("cfgmgr32");
    if (configManager == nullptr) return;
    const auto openDevNodeKey = reinterpret_cast<OpenDevNodeKey>(
        reinterpret_cast<void*>(GetProcAddress(configManager, "CM_Open_DevNode_Key")));
    for (DWORD index = 0; openDevNodeKey != nullptr; ++index) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!SetupDiEnumDeviceInfo(devices, index, &info)) break;
        const std::string name = devicePortName(openDevNodeKey, info);
        if (serial::comNumber(name) < 0) continue;
        PortDescription port = described(name, deviceProperty(devices, info, SPDRP_FRIENDLYNAME));
        describeAdapter(devices, info, port);
        ports.push_back(std::move(port));
    }
    FreeLibrary(configManager);
}

void listMappedPorts(std::vector<PortDescription>& ports) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceMapKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char device[256];
        DWORD deviceSize = sizeof device;
        char name[kNameRoom] = {};
        DWORD size = sizeof name;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, device, &deviceSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(name), &size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ || !terminated(name) ||
            serial::comNumber(name) < 0)
            continue;
        ports.push_back(described(name, "Serial port (" + std::string(name) + ")"));
    }
    RegCloseKey(key);
}

bool classHasDevices(HDEVINFO devices) {
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    return SetupDiEnumDeviceInfo(devices, 0, &info) != FALSE;
}

HDEVINFO portsClassDevices() {
    DWORD required = 0;
    SetupDiClassGuidsFromNameA("Ports", nullptr, 0, &required);
    if (required < 1) return INVALID_HANDLE_VALUE;
    std::vector<GUID> guids(required);
    if (!SetupDiClassGuidsFromNameA("Ports", guids.data(), required, &required))
        return INVALID_HANDLE_VALUE;
    return SetupDiGetClassDevsA(&guids[0], nullptr, nullptr, DIGCF_PRESENT);
}

} // namespace

std::vector<PortDescription> listPorts(const PortLinks&) {
    std::vector<PortDescription> ports;
    const HDEVINFO devices = portsClassDevices();
    if (devices == INVALID_HANDLE_VALUE) {
        listMappedPorts(ports);
        return ports;
    }
    // A class with devices is the whole listing, whether or not any of them could be named.
    const bool any = classHasDevices(devices);
    if (any) listDevices(devices, ports);
    SetupDiDestroyDeviceInfoList(devices);
    if (!any) listMappedPorts(ports);
    return ports;
}

PortLinks portLinksFromEnvironment() {
    return {}; // COM names are the system's own
}

bool portsHaveDevicePaths() {
    return false;
}

} // namespace serial

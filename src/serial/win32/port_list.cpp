// The port listing on Windows: the present devices of the setup class "Ports", each named by
// the "portname" value of its hardware key, read through the configuration manager that is
// loaded at run time. Where the class yields no device (serial ports that are no Plug and Play
// devices, as under wine), the ports of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM are listed instead.
//
// Every listing starts from the first device, and a device that cannot be named (no hardware
// key, no or an over-long "portname", COM0, a printer port) is skipped rather than ending it.

#include "serial/port_list.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>

namespace serial {

using OpenDevNodeKey = CONFIGRET(WINAPI*)(DEVINST, REGSAM, ULONG, REGDISPOSITION, PHKEY, ULONG);

struct PortList {
    HDEVINFO devices = INVALID_HANDLE_VALUE; // the "Ports" class; unset when the map is listed
    DWORD position = 0;                      // next device, or next SERIALCOMM value
    HMODULE configManager = nullptr;
    OpenDevNodeKey openDevNodeKey = nullptr;
};

namespace {

constexpr const char* kDeviceMapKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// "COM" in any letter case followed by a number of at least 1, in at most 6 characters.
bool validPortName(const char* name) {
    if (std::strlen(name) > static_cast<size_t>(kPortNameSize - 1)) return false;
    if (_strnicmp(name, "COM", 3) != 0) return false;
    int number = 0;
    for (const char* p = name + 3; *p >= '0' && *p <= '9'; ++p)
        number = number * 10 + (*p - '0');
    return number >= 1;
}

// A text value read into a kPortNameSize buffer fitted when a zero ends it inside the buffer
// (a value stored without its terminating zero may fill the buffer exactly).
bool terminated(const char (&name)[kPortNameSize]) {
    return std::memchr(name, '\0', kPortNameSize) != nullptr;
}

void copyText(char* out, size_t size, const char* text) {
    std::snprintf(out, size, "%s", text);
}

// The "portname" value of a device's hardware key; false when it cannot be read.
bool devicePortName(PortList& list, SP_DEVINFO_DATA& info, char (&name)[kPortNameSize]) {
    HKEY key = nullptr;
    if (list.openDevNodeKey(info.DevInst, KEY_QUERY_VALUE, 0, RegDisposition_OpenExisting, &key,
                            CM_REGISTRY_HARDWARE) != CR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = kPortNameSize;
    std::memset(name, 0, sizeof name);
    const LONG result =
        RegQueryValueExA(key, "portname", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && terminated(name);
}

void deviceFriendlyName(PortList& list, SP_DEVINFO_DATA& info, char* out) {
    char name[kFriendlyNameSize] = {};
    DWORD needed = 0;
    SetupDiGetDeviceRegistryPropertyA(list.devices, &info, SPDRP_FRIENDLYNAME, nullptr, nullptr, 0,
                                      &needed);
    // A longer name is cut: the buffer takes at most its size, and the last byte stays zero.
    if (needed > 0)
        SetupDiGetDeviceRegistryPropertyA(list.devices, &info, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(name), sizeof name - 1, nullptr);
    name[kFriendlyNameSize - 1] = '\0';
    if (out != nullptr) copyText(out, kFriendlyNameSize, name);
}

int nextDevice(PortList& list, char* portName, char* friendlyName) {
    if (list.configManager == nullptr) {
        list.configManager = LoadLibraryA("cfgmgr32");
        if (list.configManager == nullptr) return 0;
        list.openDevNodeKey = reinterpret_cast<OpenDevNodeKey>(
            reinterpret_cast<void*>(GetProcAddress(list.configManager, "CM_Open_DevNode_Key")));
        if (list.openDevNodeKey == nullptr) {
            FreeLibrary(list.configManager);
            list.configManager = nullptr;
            return 0;
        }
    }
    for (;;) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof info;
        if (!SetupDiEnumDeviceInfo(list.devices, list.position, &info)) return 0;
        ++list.position;
        char name[kPortNameSize];
        if (!devicePortName(list, info, name) || !validPortName(name)) continue;
        copyText(portName, kPortNameSize, name);
        deviceFriendlyName(list, info, friendlyName);
        return 1;
    }
}

int nextMappedPort(PortList& list, char* portName, char* friendlyName) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceMapKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    int found = 0;
    for (; found == 0; ++list.position) {
        char device[256];
        DWORD deviceSize = sizeof device;
        char name[kPortNameSize] = {};
        DWORD size = sizeof name;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, list.position, device, &deviceSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(name), &size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ || !terminated(name) || !validPortName(name))
            continue;
        copyText(portName, kPortNameSize, name);
        if (friendlyName != nullptr)
            std::snprintf(friendlyName, kFriendlyNameSize, "Serial port (%s)", name);
        found = 1;
    }
    RegCloseKey(key);
    return found;
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
    GUID* guids = new GUID[required];
    HDEVINFO devices = INVALID_HANDLE_VALUE;
    if (SetupDiClassGuidsFromNameA("Ports", guids, required, &required))
        devices = SetupDiGetClassDevsA(&guids[0], nullptr, nullptr, DIGCF_PRESENT);
    delete[] guids;
    return devices;
}

} // namespace

PortList* openPortList() {
    auto* list = new PortList;
    list->devices = portsClassDevices();
    if (list->devices != INVALID_HANDLE_VALUE && !classHasDevices(list->devices)) {
        SetupDiDestroyDeviceInfoList(list->devices);
        list->devices = INVALID_HANDLE_VALUE;
    }
    return list;
}

int nextPort(PortList* list, char* portName, char* friendlyName) {
    if (list == nullptr || portName == nullptr) return 0;
    if (list->devices == INVALID_HANDLE_VALUE) return nextMappedPort(*list, portName, friendlyName);
    return nextDevice(*list, portName, friendlyName);
}

bool closePortList(PortList* list) {
    if (list == nullptr) return false;
    bool released = true;
    if (list->devices != INVALID_HANDLE_VALUE)
        released = SetupDiDestroyDeviceInfoList(list->devices) != FALSE;
    if (list->configManager != nullptr) FreeLibrary(list->configManager);
    delete list;
    return released;
}

} // namespace serial

#include "serial/listing/adapter_facts.h"
#include "serial/listing/win32/ftdi_registry.h"

#include "serial/port_name.h"

#include <windows.h>

#include <vector>

namespace serial::win32 {

namespace {

// The names of a key's subkeys.
std::vector<std::string> subkeys(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof name;
        const LONG result =
            RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result == ERROR_SUCCESS) names.emplace_back(name, size);
    }
    return names;
}

HKEY openKey(HKEY parent, const std::string& path) {
    HKEY key = nullptr;
    return RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS ? key : nullptr;
}

} // namespace

std::optional<int> ftdiLatencyMs(const std::string& deviceTree, std::string_view comName) {
    const HKEY ftdiBus =
        openKey(HKEY_LOCAL_MACHINE,
                (deviceTree.empty() ? std::string(kDeviceTree) : deviceTree) + "\\FTDIBUS");
    if (ftdiBus == nullptr) return std::nullopt;
    std::optional<int> latency;
    // FTDIBUS\<device>\<instance>\Device Parameters
    for (const std::string& device : subkeys(ftdiBus)) {
        const HKEY deviceKey = openKey(ftdiBus, device);
        if (deviceKey == nullptr) continue;
        for (const std::string& instance : subkeys(deviceKey)) {
            const HKEY parameters = openKey(deviceKey, instance + "\\Device Parameters");
            if (parameters == nullptr) continue;
            char portName[32] = {};
            DWORD size = sizeof portName - 1;
            DWORD type = 0;
            DWORD timer = 0;
            DWORD timerSize = sizeof timer;
            if (RegQueryValueExA(parameters, "PortName", nullptr, &type,
                                 reinterpret_cast<BYTE*>(portName), &size) == ERROR_SUCCESS &&
                type == REG_SZ && samePortName(portName, comName) &&
                RegQueryValueExA(parameters, "LatencyTimer", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&timer), &timerSize) == ERROR_SUCCESS &&
                type == REG_DWORD)
                latency = static_cast<int>(timer);
            RegCloseKey(parameters);
        }
        RegCloseKey(deviceKey);
    }
    RegCloseKey(ftdiBus);
    return latency;
}

} // namespace serial::win32

namespace serial {

std::optional<AdapterLatency> adapterLatencyOf(const std::string& device) {
    const std::optional<int> timer = win32::ftdiLatencyMs({}, device);
    if (!timer) return std::nullopt;
    return AdapterLatency{*timer, ftdiLatencyFix(device)};
}

std::string ftdiLatencyFix(std::string_view device) {
    return "in Device Manager, open " + std::string(device) +
           "'s Properties, Port Settings, Advanced, and set Latency Timer to 1 ms (an "
           "administrator may do so)";
}

std::string latencyFix(std::string_view name, const PortLinks&) {
    return "for an FTDI adapter, " + ftdiLatencyFix(name);
}

} // namespace serial

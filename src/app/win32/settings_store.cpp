// Settings in the registry: text values under HKEY_LOCAL_MACHINE\Software\Dravik\Trevane. The
// key is opened and closed around every access.
#include "app/settings_store.h"

#include <windows.h>

#include <string>
#include <vector>

namespace app {

std::string readSetting(std::string_view name) {
    const std::string valueName(name);
    HKEY key = nullptr;
    // Query rights only: a stored value is then read by users who may not write machine-wide
    // settings, too.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
    std::vector<char> data;
    if (result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        data.resize(size + 1, '\0'); // room for a zero the stored text may lack
        result = RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return {}; // missing, or changed under us: the default applies
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw Failure("Invalid data type for '" + valueName + "'");
    data.resize(size + 1, '\0');
    return std::string(data.data()); // up to the first zero, references left unexpanded
}

void writeSetting(std::string_view name, std::string_view text) {
    const std::string valueName(name);
    const std::string value(text);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return; // no rights to machine-wide settings: nothing stored, nothing said
    const LONG result = RegSetValueExA(key, valueName.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) throw Failure("Failed to set data for '" + valueName + "'");
}

} // namespace app

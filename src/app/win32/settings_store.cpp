// Settings in the registry: text values under Software\Dravik\Trevane. The key is opened and
// closed around every access.
//
// The machine-wide key under HKEY_LOCAL_MACHINE is the place of record, but only administrators
// may write it. A 32-bit program without a manifest had its refused writes redirected by Windows
// to the user's VirtualStore; this program is 64-bit with a manifest and gets no such help, so it
// does the same itself: it reads the user's own key first, then a VirtualStore copy that a
// 32-bit predecessor may have left, then the machine-wide key, and writes the machine-wide key
// or, where that is refused, the user's own.
#include "app/settings_store.h"
#include "app/win32/registry_access.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace app {
namespace {

constexpr const char* kVirtualStoreKey =
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Dravik\\Trevane";

struct Location {
    HKEY root;
    const char* path;
};

LONG createKeyForWriting(HKEY root, const char* path, HKEY* key) {
    return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           key, nullptr);
}

registry::CreateKeyFunction createKey = &createKeyForWriting;

enum class Lookup { Missing, Found };

// The value's text at one location. A value that is not text throws Failure.
Lookup readAt(const Location& at, const std::string& name, std::string& text) {
    HKEY key = nullptr;
    // Query rights only: a stored value is then read by users who may not write it, too.
    if (RegOpenKeyExA(at.root, at.path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return Lookup::Missing;
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<char> data;
    if (result == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        data.resize(size + 1, '\0'); // room for a zero the stored text may lack
        result = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return Lookup::Missing; // missing, or changed under us
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw Failure("Invalid data type for '" + name + "'");
    data.resize(size + 1, '\0');
    text = data.data(); // up to the first zero, references left unexpanded
    return Lookup::Found;
}

bool holdsValue(HKEY root, const char* path, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    const bool found =
        RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

bool writeAt(HKEY root, const std::string& name, const std::string& text) {
    HKEY key = nullptr;
    if (createKey(root, kSettingsKey, &key) != ERROR_SUCCESS) return false;
    const LONG result =
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

} // namespace

namespace registry {

void setCreateKeyFunction(CreateKeyFunction function) {
    createKey = function ? function : &createKeyForWriting;
}

} // namespace registry

namespace {

class RegistrySettings final : public SettingsStore {
public:
    std::string read(std::string_view name) override;
    void write(std::string_view name, std::string_view text) override;
};

} // namespace

std::unique_ptr<SettingsStore> makeSystemSettingsStore() {
    return std::make_unique<RegistrySettings>();
}

std::string RegistrySettings::read(std::string_view name) {
    const std::string valueName(name);
    const Location readOrder[] = {
        {HKEY_CURRENT_USER, kSettingsKey},
        {HKEY_CURRENT_USER, kVirtualStoreKey},
        {HKEY_LOCAL_MACHINE, kSettingsKey},
    };
    std::string text;
    for (const Location& at : readOrder)
        if (readAt(at, valueName, text) == Lookup::Found) return text;
    return {};
}

void RegistrySettings::write(std::string_view name, std::string_view text) {
    const std::string valueName(name);
    const std::string value(text);
    const bool machineWide = writeAt(HKEY_LOCAL_MACHINE, valueName, value);
    // The user's keys are read first: once either holds the value, the user's own key must
    // hold the newest one.
    const bool shadowed = holdsValue(HKEY_CURRENT_USER, kSettingsKey, valueName) ||
                          holdsValue(HKEY_CURRENT_USER, kVirtualStoreKey, valueName);
    if (machineWide && !shadowed) return;
    if (!writeAt(HKEY_CURRENT_USER, valueName, value))
        throw Failure("Failed to set data for '" + valueName + "'");
}

} // namespace app

// The window tests' settings on Windows: the registry key itself, emptied before and after.
#include "app_env.h"

#include <windows.h>

namespace apptest {
namespace {

constexpr const char* kKey = "Software\\Dravik\\Trevane";

void removeKey() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey); }

} // namespace

TempSettings::TempSettings() { removeKey(); }

TempSettings::~TempSettings() { removeKey(); }

std::filesystem::path TempSettings::userFile() const { return {}; }

// valueLine: "com"="4" (text) or "com"=dword:00000004 (a number).
void TempSettings::store(const std::string& valueLine) {
    const size_t eq = valueLine.find("\"=");
    const std::string name = valueLine.substr(1, eq - 1);
    const std::string value = valueLine.substr(eq + 2);
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (value.rfind("dword:", 0) == 0) {
        const DWORD number = std::stoul(value.substr(6), nullptr, 16);
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof number);
    } else {
        const std::string text = value.substr(1, value.size() - 2);
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    RegCloseKey(key);
}

// The stored "com" in the settings export format, as the Linux file would hold it.
std::string TempSettings::userFileContent() const {
    char text[64] = {};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kKey, "com", RRF_RT_REG_SZ, &type, text, &size) !=
        ERROR_SUCCESS)
        return {};
    return std::string("[Software\\Dravik\\Trevane]\n\"com\"=\"") + text + "\"\n";
}

} // namespace apptest

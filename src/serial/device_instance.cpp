#include "serial/device_instance.h"

#include <cctype>
#include <vector>

namespace serial {

namespace {

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == separator) {
            parts.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isHexId(const std::string& text) {
    if (text.size() != 4) return false;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

} // namespace

AdapterIdentity adapterOfInstanceId(std::string_view instanceId) {
    const std::vector<std::string> parts = split(instanceId, '\\');
    if (parts.size() < 3) return {};
    const bool ftdiBus = parts[0] == "FTDIBUS";
    AdapterIdentity identity;
    for (const std::string& field : split(parts[1], ftdiBus ? '+' : '&')) {
        if (field.rfind("VID_", 0) == 0 && isHexId(field.substr(4)))
            identity.vendorId = lower(field.substr(4));
        else if (field.rfind("PID_", 0) == 0 && isHexId(field.substr(4)))
            identity.productId = lower(field.substr(4));
        else if (ftdiBus && field.size() > 1)
            identity.serial = field.substr(0, field.size() - 1); // the port's letter goes
    }
    if (identity.vendorId.empty() || identity.productId.empty()) return {};
    // Windows makes up an id with '&' in it for an adapter without a serial number.
    if (!ftdiBus && parts[2].find('&') == std::string::npos) identity.serial = parts[2];
    return identity;
}

} // namespace serial

#include "serial/listing/device_instance.h"
#include "text/text.h"

#include <cctype>
#include <vector>

namespace serial {

namespace {

bool isHexId(const std::string& text) {
    if (text.size() != 4) return false;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

} // namespace

AdapterIdentity adapterOfInstanceId(std::string_view instanceId) {
    const std::vector<std::string> parts = text::split(instanceId, '\\');
    if (parts.size() < 3) return {};
    const bool ftdiBus = parts[0] == "FTDIBUS";
    AdapterIdentity identity;
    for (const std::string& field : text::split(parts[1], ftdiBus ? '+' : '&')) {
        if (field.rfind("VID_", 0) == 0 && isHexId(field.substr(4)))
            identity.vendorId = text::lowered(field.substr(4));
        else if (field.rfind("PID_", 0) == 0 && isHexId(field.substr(4)))
            identity.productId = text::lowered(field.substr(4));
        else if (ftdiBus && field.size() > 1)
            identity.serial = field.substr(0, field.size() - 1); // the port's letter goes
    }
    if (identity.vendorId.empty() || identity.productId.empty()) return {};
    // Windows makes up an id with '&' in it for an adapter without a serial number.
    if (!ftdiBus && parts[2].find('&') == std::string::npos) identity.serial = parts[2];
    return identity;
}

} // namespace serial

// Port names as users and the port list give them.
#pragma once

#include <string_view>

namespace serial {

// Whether two names name one port: COM names in any letter case ("com4" and "COM4"), anything
// else (a device path) exactly.
bool samePortName(std::string_view a, std::string_view b);

} // namespace serial

#include "serial/port_name.h"

#include <cctype>

namespace serial {

bool samePortName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const bool comNames = !a.empty() && a[0] != '/';
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (comNames ? std::toupper(x) != std::toupper(y) : x != y) return false;
    }
    return true;
}

} // namespace serial

#include "serial/port_name.h"

#include <cctype>

namespace serial {

std::string comName(int number) {
    return "COM" + std::to_string(number);
}

int comNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6) return -1;
    if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm') return -1;
    if (name[3] == '0') return -1;
    int number = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && number <= 257 ? number : -1;
}

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

// Port names as users and the port list give them.
#pragma once

#include <string>
#include <string_view>

namespace serial {

// "COM<n>": the one spelling the program gives a COM port of number n (1 to 257).
std::string comName(int number);

// The number n of a COM name "COM<n>" in any letter case, n from 1 to 257 written without
// leading zeros; -1 for any other name.
int comNumber(std::string_view name);

// Whether two names name one port: COM names in any letter case ("com4" and "COM4"), anything
// else (a device path) exactly.
bool samePortName(std::string_view a, std::string_view b);

} // namespace serial

// The product identity that the build carries, and what the program derives from it.
#pragma once

#include <string>
#include <string_view>

namespace app {

std::string_view productIdentity();
std::string_view buildDateText();
std::string_view buildTimeText();

// "Updater 2.7 - <identity>   [ <date> ]"
std::string updaterTitle();
// "Upgrade 1.0 -   <identity>   - <date>"
std::string upgradeTitle();

// The identity carries one of the Upgrade codes "JNX" or "HBD".
bool hasUpgradeCode(std::string_view identity);

// Which logos the Updater window shows for an identity.
struct LogoChoice {
    bool first;
    bool second;
};
LogoChoice logoRule(std::string_view identity);

// The first command-line argument is the "\P" switch, in either letter case.
bool hasNotifierSwitch(int argc, const char* const* argv);

} // namespace app

#include "app/identity.h"

#include "firmware/product.h"

namespace app {
namespace {

bool contains(std::string_view text, std::string_view code) {
    return text.find(code) != std::string_view::npos;
}

} // namespace

std::string_view productIdentity() {
    return firmware::thisProduct().identity;
}
std::string_view buildDateText() {
    return firmware::thisProduct().buildDate;
}
std::string_view buildTimeText() {
    return firmware::thisProduct().buildTime;
}

std::string updaterTitle() {
    return "Updater 2.7 - " + std::string(productIdentity()) + "   [ " +
           std::string(buildDateText()) + " ]";
}

std::string upgradeTitle() {
    return "Upgrade 1.0 -   " + std::string(productIdentity()) + "   - " +
           std::string(buildDateText());
}

bool hasUpgradeCode(std::string_view identity) {
    return contains(identity, "JNX") || contains(identity, "HBD");
}

LogoChoice logoRule(std::string_view identity) {
    if (contains(identity, "ZQ710") || contains(identity, "PEV")) return {false, false};
    for (std::string_view code : {"ZQ", "PEV", "K.", "KT.", "T.", "MOLVA", "MOLVE"})
        if (contains(identity, code)) return {true, false};
    return {false, true};
}

bool hasNotifierSwitch(int argc, const char* const* argv) {
    if (argc < 2 || argv[1] == nullptr) return false;
    const std::string_view first = argv[1];
    return first == "\\P" || first == "\\p";
}

} // namespace app

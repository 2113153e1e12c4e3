#include "cli/cli_options.h"

#include "serial/port_name.h"

namespace cli {

bool isPortName(std::string_view name, bool devicePaths) {
    if (devicePaths && name.size() > 1 && name[0] == '/') return true;
    return serial::comNumber(name) > 0;
}

namespace {

// Which options a command takes besides ports.
std::string conflicts(const Options& o) {
    const bool updateOptions = o.repeat || o.all || o.watch || o.dryRun || !o.baysFile.empty() ||
                               !o.journalFile.empty() || !o.operatorName.empty();
    switch (o.command) {
    case Command::Doctor:
        // Ports to check, or none for every port present; JSON, and the Upgrade search byte.
        if (updateOptions || !o.imageFile.empty())
            return "--doctor takes ports, --json and --upgrade only";
        return {};
    case Command::ListImages:
        if (updateOptions || o.upgrade || o.json || !o.ports.empty())
            return "--list-images takes --image FILE only";
        return {};
    case Command::ListPorts:
    case Command::Version:
    case Command::Help:
        if (!o.ports.empty() || updateOptions || o.upgrade || o.json || !o.imageFile.empty())
            return "--list-ports, --version and --help take nothing else";
        return {};
    case Command::Update:
        break;
    }
    if (o.all && !o.ports.empty()) return "either ports or --all, not both";
    if (!o.all && !o.watch && o.ports.empty()) return "no port given";
    if (o.dryRun && o.repeat) return "--dry-run updates no board: not with --repeat or --watch";
    if (o.dryRun && !o.journalFile.empty()) return "--dry-run writes no board to the journal";
    if (!o.operatorName.empty() && o.journalFile.empty())
        return "--operator names who is in the journal: it needs --journal";
    return {};
}

} // namespace

Parsed parseArguments(int argc, const char* const* argv, bool devicePaths) {
    Parsed parsed;
    Options& o = parsed.options;
    bool commandGiven = false;
    const auto command = [&](Command c) {
        if (commandGiven && o.command != c) {
            parsed.error =
                "only one of --doctor, --list-ports, --list-images, --version and --help";
            return;
        }
        commandGiven = true;
        o.command = c;
    };
    // An option's value: the next argument, which must be there and not be an option.
    const auto value = [&](int& i, std::string& into) {
        const std::string option = argv[i];
        if (i + 1 >= argc || std::string_view(argv[i + 1]).empty()) {
            parsed.error = option + " needs a value";
            return;
        }
        if (!into.empty()) {
            parsed.error = option + " is given twice";
            return;
        }
        into = argv[++i];
    };
    for (int i = 1; i < argc && parsed.error.empty(); ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--upgrade") {
            o.upgrade = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--repeat") {
            o.repeat = true;
        } else if (arg == "--all") {
            o.all = true;
        } else if (arg == "--watch") {
            o.watch = true;
        } else if (arg == "--dry-run") {
            o.dryRun = true;
        } else if (arg == "--image") {
            value(i, o.imageFile);
        } else if (arg == "--bays") {
            value(i, o.baysFile);
        } else if (arg == "--journal") {
            value(i, o.journalFile);
        } else if (arg == "--operator") {
            value(i, o.operatorName);
        } else if (arg == "--doctor") {
            command(Command::Doctor);
        } else if (arg == "--list-ports") {
            command(Command::ListPorts);
        } else if (arg == "--list-images") {
            command(Command::ListImages);
        } else if (arg == "--version") {
            command(Command::Version);
        } else if (arg == "--help" || arg == "-h") {
            command(Command::Help);
        } else if (arg.size() > 1 && arg[0] == '-') {
            parsed.error = "unknown option " + std::string(arg);
        } else if (!isPortName(arg, devicePaths)) {
            parsed.error = "not a port name: " + std::string(arg) +
                           (devicePaths ? " (COM1 to COM257, or a device such as /dev/ttyUSB0)"
                                        : " (COM1 to COM257)");
        } else {
            for (const std::string& earlier : o.ports)
                if (serial::samePortName(earlier, arg))
                    parsed.error = "the port " + std::string(arg) + " is given twice";
            o.ports.emplace_back(arg);
        }
    }
    if (!parsed.error.empty()) return parsed;
    if (o.watch) o.repeat = true;
    parsed.error = conflicts(o);
    return parsed;
}

std::string usageText() {
    return "usage: trevane-cli [--upgrade] [--json] [--image FILE] [--repeat | --dry-run] PORT...\n"
           "       trevane-cli [--upgrade] [--json] [--image FILE] [--repeat | --dry-run] --all\n"
           "       trevane-cli --watch [--upgrade] [--json] [--image FILE] [--bays FILE]\n"
           "                   [--journal FILE [--operator NAME]] [PORT...]\n"
           "       trevane-cli --doctor [--upgrade] [--json] [PORT...]\n"
           "       trevane-cli --list-ports\n"
           "       trevane-cli --list-images [--image FILE]\n"
           "       trevane-cli --version | --help\n"
           "\n"
           "Updates the board on every PORT at once with the firmware built into this program.\n"
           "  PORT             COM1 to COM257 (on Linux also a device such as /dev/ttyUSB0)\n"
           "  --all            every port that --list-ports lists\n"
           "  --upgrade        search as the Upgrade window does (0xC5)\n"
           "  --json           one JSON object a line on stdout, for programs\n"
           "  --repeat         a production station: after each board, wait for the next one\n"
           "                   on the same port, until interrupted (Ctrl+C)\n"
           "  --watch          a station that also follows ports as they are plugged in and\n"
           "                   pulled out (every port, or the PORTs named)\n"
           "  --bays FILE      names for the places of the ports: a line \"LABEL PLACE\", the\n"
           "                   place being a --list-ports place, adapter serial or port name\n"
           "  --journal FILE   one JSON line per board met, appended and synced at once\n"
           "  --operator NAME  who runs the station, for the journal\n"
           "  --image FILE     an Intel HEX file in place of the built-in image of the chip\n"
           "                   each board names (where the product allows files)\n"
           "  --dry-run        search, identify and decide, and say what would be written;\n"
           "                   nothing but search bytes is sent\n"
           "  --doctor         checks each PORT (or every port present) and says what to fix: the\n"
           "                   device, who may open it and who holds it, what slows it, and\n"
           "                   whether a board answers (only search bytes are sent)\n"
           "  --list-ports     the serial ports present: COM name, device, friendly name, place,\n"
           "                   USB adapter and serial number\n"
           "  --list-images    the firmware images this program carries (or the FILE's)\n"
           "Exit status: 0 every board programmed (with --dry-run: would be), 1 some failed,\n"
           "2 usage error, 130 interrupted; with --doctor 0 when no check found a problem.\n";
}

} // namespace cli

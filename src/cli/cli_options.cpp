#include "cli/cli_options.h"

#include "serial/port_name.h"

namespace cli {

bool isPortName(std::string_view name, bool devicePaths) {
    if (devicePaths && name.size() > 1 && name[0] == '/') return true;
    return serial::comNumber(name) > 0;
}

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
    if (o.command == Command::Doctor) {
        // Ports to check, or none for every port present; JSON, and the Upgrade search byte.
        if (o.repeat || o.all) parsed.error = "--doctor takes ports, --json and --upgrade only";
        return parsed;
    }
    if (commandGiven && (!o.ports.empty() || o.all || o.upgrade || o.repeat || o.json)) {
        parsed.error = "--list-ports, --list-images, --version and --help take nothing else";
    } else if (!commandGiven && o.all && !o.ports.empty()) {
        parsed.error = "either ports or --all, not both";
    } else if (!commandGiven && !o.all && o.ports.empty()) {
        parsed.error = "no port given";
    }
    return parsed;
}

std::string usageText() {
    return "usage: trevane-cli [--upgrade] [--json] [--repeat] PORT...\n"
           "       trevane-cli [--upgrade] [--json] [--repeat] --all\n"
           "       trevane-cli --doctor [--upgrade] [--json] [PORT...]\n"
           "       trevane-cli --list-ports\n"
           "       trevane-cli --list-images\n"
           "       trevane-cli --version | --help\n"
           "\n"
           "Updates the board on every PORT at once with the firmware built into this program.\n"
           "  PORT           COM1 to COM257 (on Linux also a device such as /dev/ttyUSB0)\n"
           "  --all          every port that --list-ports lists\n"
           "  --upgrade      search as the Upgrade window does (0xC5)\n"
           "  --json         one JSON object a line on stdout, for programs\n"
           "  --repeat       a production station: after each board, wait for the next one on\n"
           "                 the same port, until interrupted (Ctrl+C)\n"
           "  --doctor       checks each PORT (or every port present) and says what to fix: the\n"
           "                 device, who may open it and who holds it, what slows it, and\n"
           "                 whether a board answers (only search bytes are sent)\n"
           "  --list-ports   the serial ports present: COM name, device, friendly name\n"
           "  --list-images  the firmware images this program carries\n"
           "Exit status: 0 every board programmed, 1 some failed, 2 usage error, 130 interrupted;\n"
           "with --doctor 0 when no check found a problem, else 1.\n";
}

} // namespace cli

// trevane-cli's command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class Command { Update, Doctor, ListPorts, ListImages, Version, Help };

struct Options {
    Command command = Command::Update;
    bool upgrade = false;    // the Upgrade window's search byte and rules
    bool json = false;       // one JSON object a line on stdout
    bool repeat = false;     // a production station: board after board on every port
    bool all = false;        // every port the system lists
    bool watch = false;      // a station that follows ports as they come and go (implies repeat)
    bool dryRun = false;     // search and decide, write nothing
    std::string imageFile;   // a firmware file in place of the built-in images
    std::string baysFile;    // labels for the places of the ports
    std::string journalFile; // one record per board
    std::string operatorName;
    std::vector<std::string> ports;
};

struct Parsed {
    Options options;
    std::string error; // a usage error when not empty
};

// devicePaths: whether a port may also be named by its device path ("/dev/ttyUSB0").
Parsed parseArguments(int argc, const char* const* argv, bool devicePaths);

// "COM1" to "COM257" in any letter case, or where the system has them a device path.
bool isPortName(std::string_view name, bool devicePaths);

std::string usageText();

} // namespace cli

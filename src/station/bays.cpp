#include "station/bays.h"

#include "serial/port_name.h"

#include <algorithm>
#include <sstream>

namespace station {

namespace {

// Where a comment starts: a '#' at the start of the line or after a blank. Windows places
// hold '#' inside a word ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)", "Port_#0002.Hub_#0001").
size_t commentStart(const std::string& line) {
    for (size_t at = line.find('#'); at != std::string::npos; at = line.find('#', at + 1))
        if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') return at;
    return std::string::npos;
}

} // namespace

BaysFile parseBays(std::string_view fileName, std::string_view text) {
    BaysFile file;
    std::istringstream in{std::string(text)};
    int lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        const auto fail = [&](const std::string& message) {
            file.error = std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + message;
            file.bays.clear();
        };
        std::istringstream words(line.substr(0, commentStart(line)));
        std::vector<std::string> fields;
        for (std::string word; words >> word;)
            fields.push_back(word);
        if (fields.empty()) continue;
        if (fields.size() != 2) {
            fail("a bay is a label and a place, serial number or port name");
            return file;
        }
        for (const Bay& earlier : file.bays) {
            if (earlier.label == fields[0]) {
                fail("the bay " + fields[0] + " is named twice");
                return file;
            }
            if (serial::samePortName(earlier.match, fields[1])) {
                fail(fields[1] + " is the bay " + earlier.label + " already");
                return file;
            }
        }
        file.bays.push_back({fields[0], fields[1]});
    }
    return file;
}

std::string bayOf(const std::vector<Bay>& bays, const serial::PortDescription& port) {
    const auto it = std::find_if(bays.begin(), bays.end(), [&](const Bay& bay) {
        return (!port.place.empty() && bay.match == port.place) ||
               (!port.serial.empty() && bay.match == port.serial) ||
               serial::namesPort(bay.match, port);
    });
    return it == bays.end() ? std::string() : it->label;
}

} // namespace station

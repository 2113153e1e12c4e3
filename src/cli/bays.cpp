#include "cli/bays.h"

#include "serial/port_name.h"

#include <algorithm>
#include <sstream>

namespace cli {

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
        std::istringstream words(line.substr(0, line.find('#')));
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
               serial::samePortName(bay.match, port.name) || bay.match == port.device;
    });
    return it == bays.end() ? std::string() : it->label;
}

} // namespace cli

// The simulated serial line: a pseudo-terminal whose slave side the updater opens through a
// link in the port-link folder.
#pragma once

#include "serial/listing/port_map.h"

#include <string>

namespace boardsim {

class PtyLine {
public:
    PtyLine() = default;
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;
    ~PtyLine() { close(); }

    // Opens a new pseudo-terminal, raw. The slave side stays open here as well, so that the
    // updater closing and reopening its end is not a hang-up of the line.
    bool open(std::string& error);
    // Drops the line: whoever has the slave side open sees a hang-up.
    void close();
    // The slave side's output stops (as XOFF would stop it): the updater's writes find no room.
    void stopUpdaterOutput();

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Points the port name's link in the port-link folder at target (replacing a link of that name
// atomically), the folder made as needed. Returns the link's path, or an empty text with error set.
std::string registerLink(const serial::PortLinks& links, const std::string& portName,
                         const std::string& target, std::string& error);
// Removes the link, but only while it still points at target: another simulator may have taken
// the name over since.
void removeLink(const std::string& linkPath, const std::string& target);

} // namespace boardsim

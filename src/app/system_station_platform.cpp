#include "app/station_window.h"
#include "app/user_files.h"
#include "serial/listing/port_list.h"
#include "serial/system_ports.h"
#include "station/record_file.h"

namespace app {

StationPlatform systemStationPlatform(std::string hostName, const serial::PortLinks& links) {
    StationPlatform platform;
    platform.ports = serial::systemPorts(links);
    platform.openJournal = &station::openRecordFile;
    platform.hostName = std::move(hostName);
    platform.userJournal = userJournalPath();
    platform.devicePaths = serial::portsHaveDevicePaths();
    return platform;
}

} // namespace app

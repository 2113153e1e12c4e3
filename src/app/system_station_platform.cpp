#include "app/station_window.h"
#include "app/user_files.h"
#include "serial/port_doctor.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"
#include "station/record_file.h"

namespace app {

StationPlatform systemStationPlatform(std::string hostName) {
    StationPlatform platform;
    platform.makePort = [] { return serial::makeSystemPort(); };
    platform.listPorts = &serial::listPorts;
    platform.latencyFix = [](std::string_view port) { return serial::latencyFix(port); };
    platform.openJournal = &station::openRecordFile;
    platform.hostName = std::move(hostName);
    platform.userJournal = userJournalPath();
    platform.devicePaths = serial::portsHaveDevicePaths();
    return platform;
}

} // namespace app

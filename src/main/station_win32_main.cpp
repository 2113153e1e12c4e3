// The station window on Windows: the native front end around the station's own start-up.
#include "app/station_window.h"
#include "app/user_files.h"
#include "cli/console.h"
#include "firmware/product.h"
#include "serial/port_doctor.h"
#include "serial/serial_port.h"
#include "station/record_file.h"
#include "trevane_version.h"
#include "ui/win32/win32_toolkit.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // A finer timer for the 5 ms steps of every wait, as trevane-cli has it.
    cli::ConsoleSetup console;
    int result = 0;
    {
        ui::win32::Win32Toolkit toolkit;
        app::StationPlatform platform;
        platform.makePort = [] { return serial::makeSystemPort(); };
        platform.listPorts = &serial::listPorts;
        platform.latencyFix = [](std::string_view port) { return serial::latencyFix(port); };
        platform.openJournal = &station::openRecordFile;
        platform.hostName = cli::hostName();
        platform.userJournal = app::userJournalPath();
        result = app::runStationWindow(toolkit, firmware::thisProduct(), TREVANE_VERSION, __argc,
                                       __argv, std::move(platform), nullptr);
    }
    return result;
}

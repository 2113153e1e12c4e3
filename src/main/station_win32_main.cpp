// The station window on Windows: the native front end around the station's own start-up.
#include "app/station_window.h"
#include "cli/console.h"
#include "firmware/product.h"
#include "serial/listing/port_map.h"
#include "trevane_version.h"
#include "ui/win32/win32_toolkit.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // A finer timer for the 5 ms steps of every wait, as trevane-cli has it.
    cli::ConsoleSetup console;
    int result = 0;
    {
        ui::win32::Win32Toolkit toolkit;
        result = app::runStationWindow(
            toolkit, firmware::thisProduct(), TREVANE_VERSION, __argc, __argv,
            app::systemStationPlatform(cli::hostName(), serial::portLinksFromEnvironment()),
            nullptr);
    }
    return result;
}

// The Windows program: the native front end around the shared start-up.
#include "app/application.h"
#include "serial/listing/port_map.h"
#include "ui/win32/win32_toolkit.h"

#include <windows.h>

#include <mmsystem.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Every wait of an update is made of 5 ms steps; with the default 15.6 ms timer period
    // each of them would last a whole tick.
    const bool finerTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
    int result = 0;
    {
        ui::win32::Win32Toolkit toolkit;
        result = app::runApplication(toolkit, __argc, __argv,
                                     app::systemPlatform(serial::portLinksFromEnvironment()));
    }
    if (finerTimer) timeEndPeriod(1);
    return result;
}

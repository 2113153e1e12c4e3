// The station window on Linux: the Qt front end around the station's own start-up.
#include "app/station_window.h"
#include "app/user_files.h"
#include "cli/console.h"
#include "firmware/product.h"
#include "serial/port_doctor.h"
#include "serial/serial_port.h"
#include "station/record_file.h"
#include "trevane_version.h"
#include "ui/qt/qt_toolkit.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

bool displayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true; // the user chose one (offscreen, xcb, wayland)
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(var);
        if (v && *v) return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "trevane-station: no display is available (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set).\nStart it from a desktop session, or under a "
                     "virtual display: xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    // A closed terminal must not end the program in the middle of a board: SIGPIPE ignored,
    // SIGHUP, SIGTERM and Ctrl+C stop the boards and close the window.
    cli::ConsoleSetup console;
    QApplication application(argc, argv);
    ui::qt::QtToolkit toolkit;
    app::StationPlatform platform;
    platform.makePort = [] { return serial::makeSystemPort(); };
    platform.listPorts = &serial::listPorts;
    platform.latencyFix = [](std::string_view port) { return serial::latencyFix(port); };
    platform.openJournal = &station::openRecordFile;
    platform.hostName = cli::hostName();
    platform.userJournal = app::userJournalPath();
    platform.devicePaths = true;
    return app::runStationWindow(toolkit, firmware::thisProduct(), TREVANE_VERSION, argc, argv,
                                 std::move(platform), &cli::setInterruptHandler);
}

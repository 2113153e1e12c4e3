// The station window on Linux: the Qt front end around the station's own start-up.
#include "app/station_window.h"
#include "cli/console.h"
#include "firmware/product.h"
#include "serial/listing/port_map.h"
#include "trevane_version.h"
#include "ui/qt/qt_toolkit.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (!ui::qt::displayAvailable("trevane-station", argv[0])) return 1;
    // A closed terminal must not end the program in the middle of a board: SIGPIPE ignored,
    // SIGHUP, SIGTERM and Ctrl+C stop the boards and close the window.
    cli::ConsoleSetup console;
    QApplication application(argc, argv);
    ui::qt::QtToolkit toolkit;
    return app::runStationWindow(
        toolkit, firmware::thisProduct(), TREVANE_VERSION, argc, argv,
        app::systemStationPlatform(cli::hostName(), serial::portLinksFromEnvironment()),
        &cli::setInterruptHandler);
}

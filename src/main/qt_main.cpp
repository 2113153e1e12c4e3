// The Linux program: the Qt front end around the shared start-up.
#include "app/application.h"
#include "serial/listing/port_map.h"
#include "ui/qt/qt_toolkit.h"

#include <QApplication>

int main(int argc, char** argv) {
    if (!ui::qt::displayAvailable("trevane", argv[0])) return 1;
    QApplication application(argc, argv);
    ui::qt::QtToolkit toolkit;
    return app::runApplication(toolkit, argc, argv,
                               app::systemPlatform(serial::portLinksFromEnvironment()));
}

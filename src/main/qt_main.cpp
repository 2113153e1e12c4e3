// The Linux program: the Qt front end around the shared start-up.
#include "app/application.h"
#include "serial/serial_port.h"
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
                     "trevane: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is "
                     "set).\nStart it from a desktop session, or under a virtual display: "
                     "xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    QApplication application(argc, argv);
    ui::qt::QtToolkit toolkit;
    return app::runApplication(toolkit, argc, argv,
                               app::systemPlatform(serial::makeSystemPort(), &serial::listPorts));
}

// Full updates of the default product through the Qt Updater window on the offscreen platform:
// the real start-up, windows, serial driver and window waits, against board-sim with its model
// of a real 115200 8N2 line. The time from the "&Update" click to the end of the update, against
// the time its bytes need on the wire, tells what the window itself costs.
//
//   window_bench [--baud B] [--write-ms M] [--runs N]
#include "app/application.h"
#include "bench_board.h"
#include "firmware/product.h"
#include "serial/listing/port_list.h"
#include "serial/serial_port.h"
#include "sim_process.h"
#include "ui/qt/qt_toolkit.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The stored port, COM200, where board-sim answers; nothing reaches the user's settings.
class BenchSettings final : public app::SettingsStore {
public:
    std::string read(std::string_view name) override { return name == "com" ? "199" : ""; }
    void write(std::string_view, std::string_view) override {}
};

// The bench runs beside a copy of the program a user may have open.
class NoLock final : public app::InstanceLock {
public:
    bool acquire() override { return true; }
};

struct Run {
    std::string banner;
    double seconds = 0;
};

// One update by a click on "&Update", once the program's window has been up for a moment (as
// long as a person takes to reach for the button): the update, not the window's first showing.
Run updateThroughTheWindow(const serial::PortLinks& links) {
    Run run;
    QTimer::singleShot(500, [&run] {
        QWidget* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "UpdaterWindow" && w->isVisible()) window = w;
        if (!window) return;
        const auto start = Clock::now();
        window->findChild<QPushButton*>("update")->click();
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        run.banner = window->findChild<QLabel*>("banner")->text().toStdString();
        window->close();
    });
    app::Platform platform;
    platform.port = serial::makeSystemPort(links);
    platform.listPorts = [links] { return serial::listPorts(links); };
    platform.settings = std::make_unique<BenchSettings>();
    platform.instanceLock = std::make_unique<NoLock>();
    platform.startNotifier = [] { return std::unique_ptr<notify::ResultNotifier>(); };
    ui::qt::QtToolkit toolkit;
    const char* argv[] = {"trevane"};
    app::runApplication(toolkit, 1, argv, std::move(platform));
    return run;
}

} // namespace

int main(int argc, char** argv) {
    int baud = 115200, writeMs = 0, runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (opt == "--baud")
            baud = value;
        else if (opt == "--write-ms")
            writeMs = value;
        else if (opt == "--runs")
            runs = value;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    char name[] = "window_bench";
    char* qtArgv[] = {name, nullptr};
    QApplication application(qtArgc, qtArgv);

    std::printf("full update of the default product through the Updater window (Qt, %s), "
                "board-sim at %d baud (11 bits a byte), %d ms flash write time\n",
                std::getenv("QT_QPA_PLATFORM"), baud, writeMs);
    e2e::Sandbox sandbox;
    const std::vector<std::string> args = bench::boardArgs(baud, writeMs);
    const bench::WireFloor floor = bench::wireFloor(args, baud, writeMs);
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        e2e::BoardSim sim(sandbox, args, "COM200");
        const Run result = updateThroughTheWindow(sandbox.portLinks());
        const double ratio = result.seconds / floor.seconds;
        worst = std::max(worst, ratio);
        std::printf("run %d: %-14s measured %.3f s, wire floor %.3f s (%ld bytes), ratio %.3f\n",
                    run + 1, result.banner.c_str(), result.seconds, floor.seconds, floor.bytes,
                    ratio);
        if (result.banner != " Program Ok ") return 1;
    }
    std::printf("worst ratio %.3f (target at most 1.02 through the window)\n", worst);
    return 0;
}

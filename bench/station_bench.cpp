// The station window (Qt, offscreen) programming boards that board-sim emulates with its model
// of a real 115200 8N2 line: the real window, stations and serial driver in this process.
//
//   station_bench --boards N   N boards at once, then one alone: both times from the window's
//                              start to the last record, their ratio, the processor time this
//                              process took per board, and how late the window's event loop
//                              answered at worst while the boards were written
//   station_bench --idle P     the processor time the window takes over ten seconds while P
//                              bays wait with no board (each a pseudo-terminal without a board)
#include "app/station_window.h"
#include "bench_board.h"
#include "firmware/product.h"
#include "serial/system_ports.h"
#include "sim_process.h"
#include "station/record_file.h"
#include "ui/qt/qt_toolkit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](timeval t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int lines(const std::string& path) {
    std::ifstream in(path);
    int count = 0;
    for (std::string line; std::getline(in, line);)
        ++count;
    return count;
}

struct Measure {
    double seconds = 0;
    double cpuSeconds = 0;
    double worstLateMs = 0; // how late a 10 ms tick of the event loop came, at worst
    int records = 0;
};

// Runs the window on `ports` until `records` lines are in its journal, or for `forSeconds`. The
// processor time counts from `settleSeconds` on: the window's making is not what is measured.
Measure runWindow(const e2e::Sandbox& sandbox, const std::vector<std::string>& ports, int records,
                  double forSeconds, double settleSeconds = 0) {
    const std::string journal = sandbox.root() + "/journal-" + std::to_string(ports.size()) + "-" +
                                std::to_string(records) + ".jsonl";
    std::vector<std::string> args{"trevane-station", "--journal", journal};
    args.insert(args.end(), ports.begin(), ports.end());
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());

    Measure m;
    const auto start = Clock::now();
    double cpuBefore = processCpuSeconds();
    bool settled = settleSeconds <= 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    // While boards are written: how late a tick every 10 ms comes (an idle window is measured
    // without it, which would cost more than the window itself).
    QTimer lateness;
    QObject::connect(&lateness, &QTimer::timeout, [&] {
        m.worstLateMs = std::max(m.worstLateMs, sinceTick.nsecsElapsed() / 1e6 - 10.0);
        sinceTick.restart();
    });
    if (records > 0) lateness.start(10);
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        m.records = lines(journal);
        if (!settled && seconds >= settleSeconds) {
            settled = true;
            cpuBefore = processCpuSeconds();
        }
        if ((records > 0 && m.records >= records) || seconds >= forSeconds) {
            m.seconds = seconds - settleSeconds;
            m.cpuSeconds = processCpuSeconds() - cpuBefore;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "StationWindow") w->close();
        }
    });
    done.start(records > 0 ? 20 : 500);

    app::StationPlatform platform;
    platform.ports = serial::systemPorts(sandbox.portLinks());
    platform.openJournal = &station::openRecordFile;
    ui::qt::QtToolkit toolkit;
    app::runStationWindow(toolkit, firmware::thisProduct(), "bench", static_cast<int>(argv.size()),
                          argv.data(), std::move(platform), nullptr);
    return m;
}

int boards(int count) {
    e2e::Sandbox sandbox;
    std::printf("the station window (Qt, %s): %d boards at once, then one alone, board-sim at "
                "115200 baud\n",
                std::getenv("QT_QPA_PLATFORM"), count);
    std::vector<std::unique_ptr<e2e::BoardSim>> sims;
    std::vector<std::string> ports;
    for (int i = 0; i < count; ++i) {
        ports.push_back("COM" + std::to_string(200 + i));
        sims.push_back(
            std::make_unique<e2e::BoardSim>(sandbox, bench::boardArgs(115200, 0), ports.back()));
    }
    const Measure many = runWindow(sandbox, ports, count, 120);
    sims.clear();
    e2e::BoardSim alone(sandbox, bench::boardArgs(115200, 0), "COM200");
    const Measure one = runWindow(sandbox, {"COM200"}, 1, 60);
    std::printf("%d boards: %.3f s (%d records); one board: %.3f s; ratio %.3f (target at most "
                "1.05)\n",
                count, many.seconds, many.records, one.seconds, many.seconds / one.seconds);
    std::printf("processor time per board: %.3f s (target at most 0.1 s)\n",
                many.cpuSeconds / count);
    std::printf("the window's event loop answered at worst %.1f ms late while %d boards were "
                "written (target at most 50 ms)\n",
                many.worstLateMs, count);
    return many.records == count && one.records == 1 ? 0 : 1;
}

int idle(int count) {
    e2e::Sandbox sandbox;
    std::vector<int> masters;
    std::vector<std::string> ports;
    for (int i = 0; i < count; ++i) {
        int master = -1, slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
        close(slave);
        masters.push_back(master);
        ports.push_back("COM" + std::to_string(200 + i));
        sandbox.linkPort(ports.back(), name);
    }
    const Measure m = runWindow(sandbox, ports, 0, 12, 2); // measured once every bay searches
    std::printf("the station window with %d bays waiting, no board: %.2f %% of a core over "
                "%.1f s (target at most 1 %%)\n",
                count, 100.0 * m.cpuSeconds / m.seconds, m.seconds);
    for (int master : masters)
        close(master);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    char name[] = "station_bench";
    char* qtArgv[] = {name, nullptr};
    QApplication application(qtArgc, qtArgv);
    if (argc == 3 && std::string(argv[1]) == "--boards") return boards(std::atoi(argv[2]));
    if (argc == 3 && std::string(argv[1]) == "--idle") return idle(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: station_bench --boards N | --idle P\n");
    return 2;
}

// Full updates of the default product against board-sim with its wire-rate model of a real
// 115200 8N2 line, driven through the update engine as trevane-cli drives it:
//   1. one board: the measured time against the time its bytes need on the wire;
//   2. several boards at once, one session and one thread each, against one board alone in
//      the same run: both times, their ratio, and the processor time each board cost.
//
//   3. with --latency-ms L, behind a USB adapter whose latency timer holds every reply L ms:
//      16 for an FTDI adapter that ignores the low-latency request, 1 for one that honours it;
//   4. with --watch-idle P, the processor time trevane-cli --watch takes while it watches P
//      ports with no board (each a pseudo-terminal in the port-link folder).
//
//   update_bench [--baud B] [--write-ms M] [--runs N] [--boards K] [--latency-ms L]
//   update_bench --watch-idle P
#include "bench_board.h"
#include "engine/session.h"
#include "firmware/product.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "sim_process.h"
#include "station/reply_times.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Board {
    std::unique_ptr<e2e::BoardSim> sim;
    std::string port;
    serial::PortLinks links; // where its simulator links the port
    std::string result;
    double seconds = 0;
    double cpuSeconds = 0;
    station::ReplyTiming replies; // the frames'
    station::ReplyTiming adapter; // the answers that need no flash work
};

// One session on its own thread, from opening the port to the result.
void update(Board& board) {
    const auto start = Clock::now();
    const double cpuStart = threadCpuSeconds();
    const std::unique_ptr<serial::SerialPort> port = serial::makeSystemPort(board.links);
    if (const serial::PortError error = port->open(board.port)) {
        board.result = serial::describe(error, board.port);
        return;
    }
    engine::BlockingWait wait;
    struct Timing final : engine::SessionObserver {
        station::ReplyTimes replies, adapter;
        void replyTimed(int32_t us) override { replies.add(us); }
        void adapterTimed(int32_t us) override { adapter.add(us); }
    } timing;
    engine::Session session(*port, firmware::thisProduct().images,
                            engine::SessionOptions::updater(), wait, timing);
    board.result = std::string(session.run().text());
    board.replies = timing.replies.timing();
    board.adapter = timing.adapter.timing();
    port->close();
    board.cpuSeconds = threadCpuSeconds() - cpuStart;
    board.seconds = std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs `count` boards at once; returns the wall time of the whole.
double updateAtOnce(std::vector<Board>& boards) {
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (Board& b : boards)
        threads.emplace_back(update, std::ref(b));
    for (std::thread& t : threads)
        t.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<Board> startBoards(const e2e::Sandbox& sandbox, int count, int baud, int writeMs,
                               int latencyMs, int firstPort) {
    std::vector<std::string> args = bench::boardArgs(baud, writeMs);
    args.insert(args.end(), {"--latency-ms", std::to_string(latencyMs)});
    std::vector<Board> boards(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Board& b = boards[static_cast<size_t>(i)];
        b.port = serial::comName(firstPort + i);
        b.links = sandbox.portLinks();
        b.sim = std::make_unique<e2e::BoardSim>(sandbox, args, b.port);
    }
    return boards;
}

// Processor time of a process so far, in seconds: the sum over its threads of the time the
// scheduler ran them, in nanoseconds (clock ticks would be too coarse for a process that idles).
// Threads that have ended are not counted; the stations of an idle watch do not end.
double processCpuSeconds(pid_t pid) {
    namespace fs = std::filesystem;
    double seconds = 0;
    std::error_code error;
    for (const auto& task :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream in(task.path() / "schedstat");
        long long ns = 0;
        if (in >> ns) seconds += static_cast<double>(ns) / 1e9;
    }
    return seconds;
}

// trevane-cli --watch on `ports` ports that no board answers: the share of a core it takes.
int watchIdle(int ports) {
    e2e::Sandbox sandbox;
    std::vector<int> masters;
    std::vector<std::string> args{TREVANE_CLI_PATH, "--watch"};
    for (int i = 0; i < ports; ++i) {
        int master = -1, slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
        close(slave);
        masters.push_back(master);
        const std::string port = "COM" + std::to_string(200 + i);
        sandbox.linkPort(port, name);
        args.push_back(port);
    }
    const pid_t cli = fork();
    if (cli == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2)); // every station searching
    const double before = processCpuSeconds(cli);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpu = processCpuSeconds(cli) - before;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    kill(cli, SIGINT);
    waitpid(cli, nullptr, 0);
    for (int master : masters)
        close(master);
    std::printf("trevane-cli --watch, %d ports without a board: %.2f %% of a core (target at "
                "most 1 %%)\n",
                ports, 100.0 * cpu / seconds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int baud = 115200, writeMs = 0, runs = 3, boardCount = 4, latencyMs = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (opt == "--baud")
            baud = value;
        else if (opt == "--write-ms")
            writeMs = value;
        else if (opt == "--runs")
            runs = value;
        else if (opt == "--boards")
            boardCount = value;
        else if (opt == "--latency-ms")
            latencyMs = value;
        else if (opt == "--watch-idle")
            return watchIdle(value);
    }
    std::printf("full update of the default product, board-sim at %d baud (11 bits a byte), "
                "%d ms flash write time, %d ms adapter latency timer\n",
                baud, writeMs, latencyMs);
    e2e::Sandbox sandbox;

    const bench::WireFloor floor = bench::wireFloor(bench::boardArgs(baud, writeMs), baud, writeMs);
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        std::vector<Board> one = startBoards(sandbox, 1, baud, writeMs, latencyMs, 200);
        updateAtOnce(one);
        const double ratio = one[0].seconds / floor.seconds;
        worst = std::max(worst, ratio);
        std::printf("run %d: %-14s measured %.3f s, wire floor %.3f s (%ld bytes), ratio %.3f\n",
                    run + 1, one[0].result.c_str(), one[0].seconds, floor.seconds, floor.bytes,
                    ratio);
        static const char* const kVerdicts[] = {"no hint", "the latency hint",
                                                "a note on the board's flash work, no hint"};
        std::printf("       adapter_ms %.2f, reply_ms %.2f median (%.2f p95): %s\n",
                    one[0].adapter.minMs, one[0].replies.medianMs, one[0].replies.p95Ms,
                    kVerdicts[static_cast<int>(
                        station::latencyVerdict(one[0].adapter.minMs, one[0].replies.medianMs))]);
        if (one[0].result != " Program Ok ") return 1;
    }
    if (latencyMs == 0)
        std::printf("worst ratio %.3f (target at most 1.01 on Linux)\n", worst);
    else if (latencyMs <= 1)
        std::printf("worst ratio %.3f behind an adapter that honours the low-latency request "
                    "(target at most 1.05)\n",
                    worst);
    else
        std::printf("worst ratio %.3f behind an adapter whose %d ms timer stays (no target: "
                    "what the hint is for)\n",
                    worst, latencyMs);

    if (boardCount < 2) return 0;
    std::vector<Board> alone = startBoards(sandbox, 1, baud, writeMs, latencyMs, 210);
    const double aloneSeconds = updateAtOnce(alone);
    std::vector<Board> many = startBoards(sandbox, boardCount, baud, writeMs, latencyMs, 220);
    const double manySeconds = updateAtOnce(many);
    bool allOk = alone[0].result == " Program Ok ";
    double cpu = 0;
    for (Board& b : many) {
        allOk = allOk && b.result == " Program Ok ";
        cpu += b.cpuSeconds;
    }
    std::printf("one board alone: %.3f s; %d boards at once: %.3f s; ratio %.3f (target at most "
                "1.05)\n",
                aloneSeconds, boardCount, manySeconds, manySeconds / aloneSeconds);
    std::printf("processor time per board: %.3f s alone, %.3f s on average of %d at once\n",
                alone[0].cpuSeconds, cpu / boardCount, boardCount);
    return allOk ? 0 : 1;
}

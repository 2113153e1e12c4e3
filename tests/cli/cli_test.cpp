// trevane-cli's logic with simulated boards on every port: the command line, several boards at
// once, the three report forms, exit statuses and interruption.
#include "chips/chip_table.h"
#include "cli/cli.h"
#include "cli/cli_options.h"
#include "cli/report.h"
#include "cli/retry_line.h"
#include "engine/session.h"
#include "simulated_port.h"
#include "station/bays.h"
#include "station/json_text.h"
#include "station/record_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>

namespace {

// Every port name this machine has, each a simulated board.
class Machine {
public:
    boardsim::SimulatedPort& add(const std::string& name, boardsim::Config board = demoBoard()) {
        auto port = std::make_unique<boardsim::SimulatedPort>(std::move(board), name);
        boardsim::SimulatedPort& kept = *port;
        boards_[name] = std::move(port);
        return kept;
    }

    static boardsim::Config demoBoard() {
        // What the default product's image is made for.
        boardsim::Config c;
        c.chip = 254;
        c.bios = 10;
        c.board = 2;
        c.preparation = 0x81;
        return c;
    }

    cli::Platform platform(std::ostream& out, std::ostream& err) {
        cli::Platform p;
        p.ports.make = [this] { return std::make_unique<Socket>(*this); };
        p.ports.list = [this] {
            std::vector<serial::PortDescription> ports;
            for (const auto& [name, board] : boards_)
                ports.push_back(
                    {name, "sim", "board", "usb-0:2:" + name, "0403", "6001", "A5" + name});
            return ports;
        };
        p.devicePaths = true;
        p.out = &out;
        p.err = &err;
        p.onInterrupt = [this](std::function<void()> handler) {
            std::lock_guard lock(mutex_);
            interrupt_ = std::move(handler);
        };
        return p;
    }

    // What Ctrl+C does.
    void interrupt() {
        std::lock_guard lock(mutex_);
        if (interrupt_) interrupt_();
    }

private:
    // A port object that becomes whichever simulated board its name opens.
    class Socket final : public serial::SerialPort {
    public:
        explicit Socket(Machine& machine) : machine_(machine) {}
        serial::PortError open(std::string_view name) override {
            const auto it = machine_.boards_.find(std::string(name));
            if (it == machine_.boards_.end())
                return {serial::PortError::Kind::NotFound, std::string(name) + ": no such device"};
            board_ = it->second.get();
            return board_->open(name);
        }
        void close() override {
            if (board_) board_->close();
        }
        bool isOpen() const override { return board_ && board_->isOpen(); }
        bool usable() override { return board_ && board_->usable(); }
        int32_t read(uint8_t* b, int32_t n) override { return board_ ? board_->read(b, n) : -1; }
        bool write(const uint8_t* b, int32_t n) override { return board_ && board_->write(b, n); }
        void discardInput() override {
            if (board_) board_->discardInput();
        }
        bool waitReadable(int ms) override { return board_ && board_->waitReadable(ms); }
        std::optional<serial::AdapterLatency> adapterLatency() const override {
            return board_ ? board_->adapterLatency() : std::nullopt;
        }
        int64_t clockUs() const override { return board_ ? board_->clockUs() : 0; }

    private:
        Machine& machine_;
        boardsim::SimulatedPort* board_ = nullptr;
    };

    std::map<std::string, std::unique_ptr<boardsim::SimulatedPort>> boards_;
    std::mutex mutex_;
    std::function<void()> interrupt_;
};

struct CliRun {
    int status = -1;
    std::string out, err;
    std::vector<std::string> lines() const {
        std::vector<std::string> all;
        std::istringstream in(out);
        for (std::string l; std::getline(in, l);)
            all.push_back(l);
        return all;
    }
};

CliRun runCli(Machine& machine, std::vector<const char*> args) {
    args.insert(args.begin(), "trevane-cli");
    std::ostringstream out, err;
    cli::Cli program(firmware::thisProduct(), "9.9.9", machine.platform(out, err));
    CliRun run;
    run.status = program.run(static_cast<int>(args.size()), args.data());
    run.out = out.str();
    run.err = err.str();
    return run;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliOptions, UsageErrorsAndPortNames) {
    struct Case {
        std::vector<const char*> args;
        const char* error; // a part of it; nullptr when the line is fine
    };
    const Case cases[] = {
        {{"COM4", "com4"}, "given twice"},
        {{"COM0"}, "not a port name"},
        {{"COM258"}, "not a port name"},
        {{"COM04"}, "not a port name"},
        {{"LPT1"}, "not a port name"},
        {{"--all", "COM3"}, "either ports or --all"},
        {{}, "no port given"},
        {{"--upgrade"}, "no port given"},
        {{"--list-ports", "COM3"}, "take nothing else"},
        {{"--version", "--help"}, "only one of"},
        {{"--fast", "COM3"}, "unknown option --fast"},
        {{"COM1", "COM257", "/dev/ttyUSB0", "--json", "--upgrade", "--repeat"}, nullptr},
        {{"--all", "--json"}, nullptr},
        {{"--watch"}, nullptr}, // every port, as they come
        {{"--watch", "--journal", "j", "--operator", "kim", "--bays", "b", "COM3"}, nullptr},
        {{"--dry-run", "--image", "f.hex", "COM3"}, nullptr},
        {{"--list-images", "--image", "f.hex"}, nullptr},
        {{"--dry-run", "--watch"}, "not with --repeat or --watch"},
        {{"--dry-run", "--journal", "j", "COM3"}, "writes no board to the journal"},
        {{"--operator", "kim", "COM3"}, "needs --journal"},
        {{"COM3", "--image"}, "--image needs a value"},
        {{"--bays", "a", "--bays", "b", "COM3"}, "--bays is given twice"},
        {{"--doctor", "--image", "f.hex"}, "--doctor takes"},
        {{"--list-images", "COM3"}, "--list-images takes --image FILE only"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv{"trevane-cli"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const cli::Parsed p = cli::parseArguments(static_cast<int>(argv.size()), argv.data(), true);
        if (c.error) {
            EXPECT_TRUE(contains(p.error, c.error)) << c.error << " / got: " << p.error;
        } else {
            EXPECT_EQ(p.error, "");
        }
    }
    // Windows has no device paths.
    const char* path[] = {"trevane-cli", "/dev/ttyUSB0"};
    EXPECT_TRUE(contains(cli::parseArguments(2, path, false).error, "not a port name"));
}

TEST(Cli, UsageErrorSendsNothingAnywhere) {
    Machine machine;
    boardsim::SimulatedPort& board = machine.add("COM200");
    const CliRun run = runCli(machine, {"COM200", "COM200"});
    EXPECT_EQ(run.status, cli::kUsageError);
    EXPECT_TRUE(contains(run.err, "given twice"));
    EXPECT_TRUE(contains(run.err, "usage: trevane-cli"));
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(board.opens(), 0);
    EXPECT_TRUE(board.writes().empty());
}

TEST(Cli, SeveralBoardsAtOnceWithOneFailing) {
    Machine machine;
    machine.add("COM200");
    boardsim::Config silent = Machine::demoBoard();
    silent.silentFrames = {100};
    machine.add("COM201", silent);
    machine.add("COM202");
    const CliRun run = runCli(machine, {"COM200", "COM201", "COM202"});
    EXPECT_EQ(run.status, cli::kSomeFailed);
    const auto lines = run.lines();
    for (const char* expected :
         {"COM200: Found 24HJ64", "COM200: Program Ok", "COM201: not Response",
          "COM202: Program Ok", "2 programmed, 1 failed", "retry: trevane-cli COM201"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
}

// The retry line is pasted back into the shell the run came from: every argument must come
// back whole, and the options that shaped the run (records above all) must come back too.
TEST(RetryLine, QuotedForTheShellWithEveryOptionOfTheRun) {
    const struct {
        const char* argument;
        const char* posix;
        const char* windows;
    } words[] = {
        {"COM201", "COM201", "COM201"},
        {"/dev/serial/by-id/usb-FTDI_A5-if00", "/dev/serial/by-id/usb-FTDI_A5-if00",
         "/dev/serial/by-id/usb-FTDI_A5-if00"},
        {"new build.hex", "'new build.hex'", "\"new build.hex\""},
        {"it's", "'it'\\''s'", "\"it's\""},
        {"a&b|c", "'a&b|c'", "\"a&b|c\""},
        {"C:\\fw\\", "'C:\\fw\\'", "C:\\fw\\"},
        {"C:\\my fw\\", "'C:\\my fw\\'", "\"C:\\my fw\\\\\""},
        {"say \"hi\"", "'say \"hi\"'", "\"say \\\"hi\\\"\""},
        {"", "''", "\"\""},
    };
    for (const auto& w : words) {
        EXPECT_EQ(cli::quoteArgument(w.argument, cli::ShellRules::Posix), w.posix) << w.argument;
        EXPECT_EQ(cli::quoteArgument(w.argument, cli::ShellRules::Windows), w.windows)
            << w.argument;
    }
    cli::Options options;
    options.json = true;
    options.repeat = true;
    options.imageFile = "fw 2.hex";
    options.baysFile = "bays.txt";
    options.journalFile = "shift log.jsonl";
    options.operatorName = "A. Smith";
    EXPECT_EQ(cli::retryCommand("/opt/trevane-cli", options, {"COM201", "COM203"},
                                cli::ShellRules::Posix),
              "/opt/trevane-cli --json --image 'fw 2.hex' --bays bays.txt --journal "
              "'shift log.jsonl' --operator 'A. Smith' --repeat COM201 COM203");
}

TEST(Cli, JsonIsOneObjectALineAndEndsEachPortWithItsResult) {
    Machine machine;
    machine.add("COM200");
    boardsim::Config refusing = Machine::demoBoard();
    refusing.refusals = {{3, 1}};
    refusing.description = "Rig \"7\"\\\x01\xE9"; // a control byte, an 8-bit e-acute
    machine.add("COM201", refusing);
    const CliRun run = runCli(machine, {"--json", "COM200", "COM201", "COM9"});
    EXPECT_EQ(run.status, cli::kSomeFailed);
    std::map<std::string, std::string> lastEvent;
    const std::vector<std::string> lines = run.lines();
    for (const std::string& line : lines) {
        ASSERT_EQ(line.rfind("{\"port\":", 0), 0u) << line;
        const station::Json e = station::Json::parse(line); // throws on a malformed line
        if (e["port"].is_string()) lastEvent[e["port"]] = e["event"];
    }
    EXPECT_EQ(lastEvent["COM200"], "result");
    EXPECT_EQ(lastEvent["COM201"], "result");
    EXPECT_EQ(lastEvent["COM9"], "result");
    const station::Json summary = station::Json::parse(lines.back());
    EXPECT_EQ(summary["event"], "summary");
    EXPECT_EQ(summary["ports"][2]["yield"], 0.0) << "COM9 met no board that passed";
    EXPECT_EQ(summary["failed"], 1);
    EXPECT_TRUE(contains(run.out, "{\"port\":\"COM201\",\"event\":\"resend\",\"attempt\":0}"));
    EXPECT_TRUE(contains(run.out, "\"description\":\"Rig \\\"7\\\"\\\\\\u0001\xC3\xA9\""));
    // The board as the journal gives it, with the same keys.
    EXPECT_TRUE(contains(run.out, "\"event\":\"found\",\"bios\":10,\"chip\":254,\"chipName\":"
                                  "\"PIC24HJ64\",\"index\":2,\"preparation\":129"));
    EXPECT_TRUE(contains(run.out, "\"event\":\"image\",\"bytes\":65175,\"first\":0,\"end\":32587"));
    EXPECT_TRUE(contains(run.out, "{\"port\":\"COM9\",\"event\":\"result\",\"ok\":false,"
                                  "\"text\":\"Invalid Port Com\""));
    EXPECT_TRUE(contains(run.out, "\"event\":\"result\",\"ok\":true,\"text\":\" Program Ok \""));
    EXPECT_TRUE(contains(run.err, "1 failed")) << "the summary is for a person: stderr";
}

TEST(Cli, InterruptionStopsEveryBoardAtItsNextWait) {
    Machine machine;
    boardsim::SimulatedPort& first = machine.add("COM200");
    boardsim::SimulatedPort& second = machine.add("COM201");
    // Ctrl+C while the first board is being written; the second may be anywhere.
    size_t writtenAtCtrlC = 0;
    first.onWait([&](int64_t wait) {
        if (wait != 50) return;
        writtenAtCtrlC = first.writes().size();
        machine.interrupt();
    });
    const CliRun run = runCli(machine, {"COM200", "COM201"});
    EXPECT_EQ(run.status, cli::kInterrupted);
    EXPECT_TRUE(contains(run.out, "COM200: User Abort !!"));
    EXPECT_FALSE(first.isOpen()) << "ports are closed before the program ends";
    EXPECT_FALSE(second.isOpen());
    // The request met the wait for a frame's answer: nothing was sent after that frame.
    EXPECT_GT(first.board().counters().frames, 10);
    EXPECT_EQ(first.writes().size(), writtenAtCtrlC);
}

TEST(Cli, CtrlCAsPortsComeEndsTheWatchAndTheirStations) {
    Machine machine;
    machine.add("COM200");
    std::ostringstream out, err;
    cli::Platform platform = machine.platform(out, err);
    // The port comes in the listing that Ctrl+C interrupts: its station starts after the
    // interruption, and a station at a watch ends only when something stops it.
    int listings = 0;
    const auto everyPort = platform.ports.list;
    platform.ports.list = [&] {
        if (++listings == 1) return std::vector<serial::PortDescription>{};
        if (listings == 2) machine.interrupt();
        return everyPort();
    };
    platform.watchPeriodMs = 1;
    cli::Cli program(firmware::thisProduct(), "9.9.9", std::move(platform));
    const char* args[] = {"trevane-cli", "--watch"};
    // Ctrl+C is how a watch ends: no board failed.
    EXPECT_EQ(program.run(2, args), cli::kAllProgrammed) << err.str();
}

TEST(Cli, RepeatCountsBoardAfterBoardAndWaitsForEachToLeave) {
    Machine machine;
    boardsim::SimulatedPort& port = machine.add("COM200");
    int programmed = 0;
    int framesWhenUnplugged = -1;
    int searchesWhenUnplugged = -1;
    port.onWait([&](int64_t) {
        const int frames = port.board().counters().frames;
        // The first board is done: it stays a while (answering), then the adapter is
        // unplugged and the same simulated board comes back as the next one.
        if (frames == 256 && programmed == 0) {
            programmed = 1;
        } else if (programmed == 1 && port.waits() % 200 == 0) {
            programmed = 2;
            framesWhenUnplugged = frames;
            searchesWhenUnplugged = port.board().counters().answered;
            port.unplug();
        } else if (frames == 512 && programmed == 2 && port.writes().back().size() == 1) {
            // The second board is done and is being watched for leaving.
            programmed = 3;
            machine.interrupt();
        }
    });
    const CliRun run = runCli(machine, {"--repeat", "COM200"});
    EXPECT_EQ(run.status, cli::kAllProgrammed) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "COM200 #1: Program Ok (1 programmed, 0 failed)")) << run.out;
    EXPECT_TRUE(contains(run.out, "COM200 #2: Program Ok (2 programmed, 0 failed)")) << run.out;
    EXPECT_FALSE(contains(run.out, "#3"));
    // While it stayed plugged in, the first board kept answering and was not written again.
    EXPECT_EQ(framesWhenUnplugged, 256);
    EXPECT_GT(searchesWhenUnplugged, 1);
}

TEST(Cli, ListsAndVersion) {
    Machine machine;
    machine.add("COM7");
    CliRun run = runCli(machine, {"--list-ports"});
    EXPECT_EQ(run.out, "COM7\tsim\tboard\tusb-0:2:COM7\t0403:6001\tA5COM7\n");
    run = runCli(machine, {"--list-images"});
    EXPECT_EQ(run.lines().at(0), "Device - Print          - Preparation");
    run = runCli(machine, {"--version"});
    EXPECT_TRUE(contains(run.out, "trevane-cli 9.9.9 - "));
    EXPECT_EQ(run.status, 0);
}

TEST(Cli, ReplyTimesHintsAndAPulledAdapter) {
    Machine machine;
    machine.add("COM200").setAdapterLatency(16, false); // an FTDI timer left at 16 ms
    machine.add("COM201").setAdapterLatency(16, true);  // lowered by the open's request
    const auto pullOut = [](boardsim::SimulatedPort& port) {
        port.onWait([&port](int64_t) {
            if (port.board().counters().frames == 100) port.unplug();
        });
    };
    pullOut(machine.add("COM202"));
    // A board that takes 6 ms to write a frame behind a quick adapter: no adapter to blame.
    boardsim::SimulatedPort& slowBoard = machine.add("COM203");
    slowBoard.setAdapterLatency(1, false);
    slowBoard.setFlashWriteMs(6);
    // A 16 ms timer that the system does not tell: the answers with no flash work show it.
    machine.add("COM204").setAdapterLatency(16, false, false);
    const CliRun run =
        runCli(machine, {"--json", "COM200", "COM201", "COM202", "COM203", "COM204"});
    std::map<std::string, station::Json> result;
    std::map<std::string, int> hints;
    std::map<std::string, std::string> notes;
    for (const std::string& line : run.lines()) {
        const station::Json e = station::Json::parse(line);
        if (e["event"] == "result") result[e["port"]] = e;
        if (e["event"] == "hint") ++hints[e["port"]];
        if (e["event"] == "note") notes[e["port"]] += e["text"].get<std::string>();
    }
    EXPECT_EQ(result["COM203"]["adapter_ms"], 1.0);
    EXPECT_EQ(result["COM203"]["write_ms"], 6.0);
    EXPECT_EQ(hints["COM203"], 0);
    EXPECT_TRUE(contains(notes["COM203"], "COM203: the board takes 6.0 ms to write a frame"));
    EXPECT_EQ(result["COM204"]["adapter_ms"], 16.0);
    EXPECT_EQ(hints["COM204"], 1) << "its answers, not its timer, which nobody can read";
    EXPECT_EQ(result["COM200"]["reply_ms"]["median"], 16.0);
    EXPECT_EQ(result["COM200"]["reply_ms"]["count"], 256);
    EXPECT_EQ(hints["COM200"], 1) << "the timer at the open, and no second hint for its answers";
    EXPECT_EQ(result["COM201"]["reply_ms"]["max"], 1.0);
    EXPECT_EQ(hints["COM201"], 0);
    EXPECT_EQ(result["COM202"]["text"], " not Response ");
    EXPECT_EQ(result["COM202"]["cause"], "port-gone");
    // The board took 100 of 256 frames; the adapter went before the session read the last "K".
    EXPECT_EQ(result["COM202"]["percent"], 38);

    Machine again;
    pullOut(again.add("COM202"));
    const CliRun lines = runCli(again, {"COM202"});
    EXPECT_TRUE(contains(lines.out, "COM202: not Response (the adapter was removed at 38 %)"))
        << lines.out;
}

TEST(Cli, DoctorChecksEachPortAndAsksTheBoardOnlyWhereItCan) {
    Machine machine;
    boardsim::SimulatedPort& good = machine.add("COM200");
    boardsim::Config otherBoard = Machine::demoBoard();
    otherBoard.board = 5; // the image is made for board 2
    machine.add("COM201", otherBoard);
    boardsim::SimulatedPort& held = machine.add("COM202");
    std::ostringstream out, err;
    cli::Platform platform = machine.platform(out, err);
    platform.checkPort = [](std::string_view port) {
        const bool busy = port == "COM202";
        return std::vector<serial::PortCheck>{
            {serial::Check::Device, serial::Verdict::Ok, "there", ""},
            {serial::Check::Free, busy ? serial::Verdict::Problem : serial::Verdict::Ok, "",
             busy ? "x" : ""}};
    };
    cli::Cli program(firmware::thisProduct(), "9.9.9", std::move(platform));
    const char* args[] = {"trevane-cli", "--doctor", "COM200", "COM201", "COM202", "COM9"};
    EXPECT_EQ(program.run(6, args), cli::kSomeFailed);
    std::vector<std::string> board;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);)
        if (line.find(" board ") != std::string::npos) board.push_back(line.substr(0, 30));
    EXPECT_EQ(board, (std::vector<std::string>{"COM200   board         ok     ",
                                               "COM201   board         warning",
                                               "COM9     board         problem"}))
        << out.str();
    EXPECT_TRUE(contains(out.str(), "no image of this program suits it: BD01_R02 - Preparation81"))
        << out.str();
    EXPECT_EQ(held.opens(), 0) << "a port another program holds is left alone";
    for (const std::vector<uint8_t>& written : good.writes())
        EXPECT_EQ(written, std::vector<uint8_t>{engine::kUpdaterSearchByte}) << "search bytes only";
}

// A journal file in the system's temporary folder, removed afterwards.
struct TempFiles {
    std::filesystem::path dir;
    // A folder of this run's own: tests run side by side in several processes.
    TempFiles() {
        std::random_device random;
        do
            dir = std::filesystem::temp_directory_path() /
                  ("trevane-cli-test-" + std::to_string(random()));
        while (!std::filesystem::create_directory(dir));
    }
    ~TempFiles() { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
    std::vector<station::Json> records(const std::string& name) const {
        std::vector<station::Json> all;
        std::ifstream in(dir / name);
        for (std::string line; std::getline(in, line);)
            all.push_back(station::Json::parse(line));
        return all;
    }
};

TEST(Station, BaysNameEveryEventAndTheJournalKeepsOneRecordPerBoard) {
    TempFiles files;
    Machine machine;
    machine.add("COM200");
    boardsim::Config silent = Machine::demoBoard();
    silent.silentFrames = {10};
    silent.description = "Pr\xFC"
                         "fplatz \"3\"\n"; // 8-bit, a quote, a control byte
    machine.add("COM201", silent);
    machine.add("COM202");
    // By place, by the adapter's serial number; COM202 is in no bay.
    const std::string bays = files.write("bays.txt", "A1 usb-0:2:COM200\nA2 A5COM201\n");
    const std::string journal = (files.dir / "journal.jsonl").string();
    std::ostringstream out, err;
    cli::Platform platform = machine.platform(out, err);
    platform.openJournal = &station::openRecordFile;
    platform.hostName = "bench-3";
    cli::Cli program(firmware::thisProduct(), "9.9.9", std::move(platform));
    const char* args[] = {"trevane-cli", "--json",        "--bays",     bays.c_str(),
                          "--journal",   journal.c_str(), "--operator", "J\xC3\xB6rg",
                          "COM200",      "COM201",        "COM202",     "COM209"};
    ASSERT_EQ(program.run(12, args), cli::kSomeFailed) << err.str();

    std::map<std::string, std::string> bayOfPort;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        const station::Json e = station::Json::parse(line);
        if (e["event"] == "result") bayOfPort[e["port"]] = e.value("bay", "-");
    }
    EXPECT_EQ(bayOfPort,
              (std::map<std::string, std::string>{
                  {"COM200", "A1"}, {"COM201", "A2"}, {"COM202", "-"}, {"COM209", "-"}}));

    const std::vector<station::Json> records = files.records("journal.jsonl");
    ASSERT_EQ(records.size(), 4u);
    std::map<std::string, station::Json> byPort;
    for (const station::Json& r : records)
        byPort[r["port"]] = r;
    const station::Json& failed = byPort["COM201"];
    EXPECT_EQ(failed["bay"], "A2");
    EXPECT_EQ(failed["operator"], "J\xC3\xB6rg");
    EXPECT_EQ(failed["host"], "bench-3");
    EXPECT_EQ(failed["adapter"]["serial"], "A5COM201");
    EXPECT_EQ(failed["board"]["description"], "Pr\xC3\xBC"
                                              "fplatz \"3\"\n");
    EXPECT_EQ(failed["result"]["outcome"], "not-response");
    EXPECT_EQ(failed["result"]["text"], " not Response ");
    EXPECT_EQ(failed["image"]["source"], "built-in");
    EXPECT_EQ(failed["image"]["sha256"], byPort["COM200"]["image"]["sha256"]);
    EXPECT_EQ(failed["image"]["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(failed["trevane"], "9.9.9");
    EXPECT_EQ(byPort["COM202"]["bay"], nullptr);
    // A port with no board on it: a record that says so, told apart from the boards'.
    EXPECT_EQ(byPort["COM200"]["event"], "board");
    EXPECT_EQ(byPort["COM209"]["event"], "no-board");
    EXPECT_EQ(byPort["COM209"]["result"]["text"], "Invalid Port Com");
    EXPECT_EQ(failed["time"].get<std::string>().size(), 24u); // 2026-12-09T14:03:11.123Z
}

// A port listed before udev has described it: its station waits for its place, so that the
// board's record has its bay; and a description that changes later starts no second station.
TEST(Station, AStationWaitsForItsPortToBeDescribed) {
    TempFiles files;
    Machine machine;
    machine.add("COM200");
    const std::string bays = files.write("bays.txt", "A1 usb-0:2:COM200\n");
    const std::string journal = (files.dir / "journal.jsonl").string();
    std::ostringstream out, err;
    cli::Platform platform = machine.platform(out, err);
    platform.openJournal = &station::openRecordFile;
    platform.watchPeriodMs = 50;
    int listings = 0;
    const auto described = platform.ports.list;
    platform.ports.list = [&] {
        std::vector<serial::PortDescription> ports = described();
        if (++listings <= 2) { // as sysfs has it before udev: no place yet
            ports[0].place.clear();
            ports[0].settled = false;
        }
        if (listings >= 40) ports[0].friendlyName = "FT232R (ttyUSB0)"; // named at last
        if (listings == 60) machine.interrupt();
        return ports;
    };
    cli::Cli program(firmware::thisProduct(), "9.9.9", std::move(platform));
    const char* args[] = {"trevane-cli", "--watch",   "--bays",
                          bays.c_str(),  "--journal", journal.c_str()};
    EXPECT_EQ(program.run(6, args), cli::kAllProgrammed) << err.str();
    const std::vector<station::Json> records = files.records("journal.jsonl");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["bay"], "A1");
    EXPECT_EQ(records[0]["adapter"]["place"], "usb-0:2:COM200");
}

TEST(Station, NoRecordNoProgramming) {
    Machine machine;
    boardsim::SimulatedPort& board = machine.add("COM200");
    // A journal that cannot be opened: a usage error before any port is touched.
    const CliRun refused = runCli(machine, {"--journal", "/no/such/folder/j.jsonl", "COM200"});
    EXPECT_EQ(refused.status, cli::kUsageError);
    EXPECT_TRUE(contains(refused.err, "cannot be opened for appending")) << refused.err;

    // One that fails later: the run ends as failed and says why.
    class FullDisk final : public station::RecordFile {
    public:
        bool append(const std::string&, std::string& error) override {
            error = "No space left on device";
            return false;
        }
    };
    std::ostringstream out, err;
    cli::Platform platform = machine.platform(out, err);
    platform.openJournal = [](const std::string&, std::string&) {
        return std::unique_ptr<station::RecordFile>(std::make_unique<FullDisk>());
    };
    cli::Cli program(firmware::thisProduct(), "9.9.9", std::move(platform));
    const char* args[] = {"trevane-cli", "--journal", "j", "COM200"};
    EXPECT_EQ(program.run(4, args), cli::kSomeFailed);
    EXPECT_TRUE(contains(err.str(), "No space left on device")) << err.str();
    // The board took its image but has no record: it counts as failed, and is retried.
    EXPECT_TRUE(contains(out.str(), "COM200: Program Ok (programmed, not recorded)")) << out.str();
    EXPECT_TRUE(contains(out.str(), "0 programmed, 1 failed (1 programmed, not recorded)"));
    EXPECT_TRUE(contains(out.str(), "retry: trevane-cli --journal j COM200")) << out.str();
    EXPECT_EQ(board.opens(), 1) << "only the run that could keep records touched the port";
}

// The lines a terminal shows once it has run the output: cursor up and down, carriage return,
// erase to the end of the line.
std::vector<std::string> screen(const std::string& output) {
    std::vector<std::string> lines(1);
    size_t row = 0, column = 0;
    for (size_t i = 0; i < output.size(); ++i) {
        if (output.compare(i, 2, "\x1b[") == 0) {
            size_t end = i + 2;
            while (std::isdigit(static_cast<unsigned char>(output[end])))
                ++end;
            const size_t n = end > i + 2 ? std::stoul(output.substr(i + 2, end - i - 2)) : 1;
            if (output[end] == 'A') row -= n;
            if (output[end] == 'B') row += n;
            if (output[end] == 'K') lines[row].resize(column);
            i = end;
        } else if (output[i] == '\r') {
            column = 0;
        } else if (output[i] == '\n') {
            ++row;
            column = 0;
        } else {
            if (lines[row].size() <= column) lines[row].resize(column + 1, ' ');
            lines[row][column++] = output[i];
        }
        if (lines.size() <= row) lines.resize(row + 1);
    }
    return lines;
}

TEST(TerminalReport, EachPortKeepsItsLineAsPortsComeAndResultsArrive) {
    std::ostringstream out, err;
    const std::unique_ptr<cli::Report> report =
        cli::makeReport(cli::ReportForm::Terminal, out, err);
    const int first = 0, second = 1, third = 2;
    report->stationStarted(first, {"COM200", "", ""}, "");
    report->stationStarted(second, {"COM201", "", ""}, "A2");
    engine::BoardFound board;
    board.identification.chipCode = 254;
    report->boardFound(second, board, chips::chipByCode(254));
    report->phase(first, engine::Phase::Programming);
    report->stationStarted(third, {"COM202", "", ""}, ""); // plugged in while the others run
    report->hint(third, "COM202: a hint comes at the end");
    report->phase(first, engine::Phase::FixFrame);
    cli::BoardResult ok;
    ok.result = engine::Result(engine::Outcome::Ok);
    report->result(second, ok, 1, 0);
    report->problem(third, "COM202: busy");
    station::Summary summary;
    summary.programmed = 1;
    report->finish(summary, "");
    const std::vector<std::string> shown = screen(out.str());
    ASSERT_GE(shown.size(), 5u) << out.str();
    EXPECT_EQ(shown[0].rfind("COM200", 0), 0u);
    EXPECT_TRUE(contains(shown[0], "Fix Program")) << shown[0];
    EXPECT_EQ(shown[1].rfind("A2 COM201 PIC24HJ64", 0), 0u) << shown[1];
    EXPECT_TRUE(contains(shown[1], "100%  Program Ok")) << shown[1];
    EXPECT_EQ(shown[2].rfind("COM202", 0), 0u);
    EXPECT_TRUE(contains(shown[2], "busy")) << shown[2];
    EXPECT_EQ(shown[3], "A2 COM201: Program Ok");
    EXPECT_EQ(shown[4], "1 programmed, 0 failed");
    EXPECT_EQ(err.str(), "COM202: a hint comes at the end\n");
}

} // namespace

// A full update of the default product against board-sim with its wire-rate model of a real
// 115200 8N2 line: the measured time against the time the bytes need on the wire.
//
//   update_bench [--baud B] [--write-ms M] [--runs N]
#include "firmware/image_table.h"
#include "protocol/link_state.h"
#include "protocol/reporter.h"
#include "protocol/search.h"
#include "protocol/session.h"
#include "serial/port_driver.h"
#include "sim_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

struct NoBar : ui::ProgressBar {
    void setMax(int) override {}
    void setPosition(int) override {}
    void setSmooth(bool) override {}
};

struct NoStatus : ui::StatusBar {
    void setPanelText(int, std::string_view) override {}
    std::string panelText(int) const override { return {}; }
    void repaint() override {}
};

// Keeps the last banner so that the run can be checked.
struct LastBanner : protocol::Reporter {
    std::string text;
    void showErrorBanner(std::string_view t, ui::Color, uint8_t) override { text = t; }
    void showStatusBanner(std::string_view, ui::Color) override {}
    void showStopButton() override {}
    void showUpdateButton() override {}
    bool upgradeMode() const override { return false; }
    ui::StatusBar* updaterStatusBar() override { return nullptr; }
    ui::Label* biosLabel() override { return nullptr; }
    ui::Label* boardDescriptionLabel() override { return nullptr; }
    void showProgramOk() override { text = " Program Ok "; }
};

// Bytes that crossed the line in both directions, from board-sim's record of the run.
long wireBytes(const std::vector<std::string>& dump, bool boardRecord) {
    long bytes = 0;
    for (const std::string& line : dump) {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "search") {
            std::string b, outcome;
            in >> b >> outcome;
            bytes += 1;
            if (outcome == "answered") bytes += 6 + (boardRecord ? 32 : 0); // V id K, record
            else if (outcome == "refused") bytes += 1;
        } else if (kind == "progmode") {
            bytes += 2; // 0xCC and its K
        } else if (kind == "flash" || kind == "refused" || kind == "silent") {
            std::string what = kind;
            if (kind != "flash") in >> what;
            std::string address;
            int length = 0;
            in >> address >> length;
            if (what == "eeprom") bytes += 6 + 1;
            else bytes += 3 + 2 + length + 1 + (kind == "silent" ? 0 : 1);
        } else if (kind == "eeprom") {
            bytes += 6 + 1;
        }
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    int baud = 115200, writeMs = 0, runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (opt == "--baud") baud = value;
        else if (opt == "--write-ms") writeMs = value;
        else if (opt == "--runs") runs = value;
    }
    std::printf("full update of the default product, board-sim at %d baud (11 bits a byte), "
                "%d ms flash write time\n",
                baud, writeMs);
    double worst = 0;
    for (int run = 0; run < runs; ++run) {
        e2e::Sandbox sandbox;
        firmware::buildImageTable();
        const firmware::FirmwareImage& image = firmware::imageTable[0][6];
        const int board = image.flashData[1024] ^ firmware::scrambleMask(0);
        const int prep = image.flashData[1025] ^ firmware::scrambleMask(0);
        e2e::BoardSim sim(sandbox, {"--chip", "254", "--bios", "10", "--board",
                                    std::to_string(board == 255 ? 0 : board), "--prep",
                                    std::to_string(prep), "--baud", std::to_string(baud),
                                    "--write-ms", std::to_string(writeMs)});
        protocol::resetLinkState();
        protocol::link.selectedPort = 199; // COM200
        LastBanner banner;
        protocol::setReporter(&banner);
        NoBar bar;
        NoStatus status;

        const auto start = std::chrono::steady_clock::now();
        if (protocol::searchDevice(bar, status) == 0) protocol::runProgrammingSession(bar, status);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        serial::closePort(199);
        protocol::setReporter(nullptr);

        const long bytes = wireBytes(sim.dump(), true);
        const double floor = bytes * 11.0 / baud + (255.0 + 1.0) * writeMs / 1000.0;
        const double ratio = seconds / floor;
        worst = std::max(worst, ratio);
        std::printf("run %d: %-14s measured %.3f s, wire floor %.3f s (%ld bytes), ratio %.3f\n",
                    run + 1, banner.text.c_str(), seconds, floor, bytes, ratio);
        if (banner.text != " Program Ok ") return 1;
    }
    std::printf("worst ratio %.3f (target at most 1.05)\n", worst);
    return 0;
}

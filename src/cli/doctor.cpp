// trevane-cli --doctor: the system's checks of each port, then whether a board answers a short
// search and whether an image of this program suits it. Nothing but search bytes is sent.
#include "cli/cli.h"
#include "cli/report.h"
#include "engine/session.h"
#include "station/json_text.h"
#include "station/observer.h"

#include <cstdio>

namespace cli {

namespace {

// About a second of searching: a board that is there answers the first try.
constexpr int kDoctorSearchTries = 10;

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value & 0xFFu);
    return text;
}

std::string boardText(const engine::Plan& plan) {
    const engine::Identification& id = plan.board.identification;
    std::string chip = std::to_string(id.chipCode);
    if (plan.chip) chip = std::string(plan.chip->part) + " (chip " + chip + ")";
    if (!plan.board.fullIdentification) return "an older bootloader answers: " + chip;
    return "a board answers: BIOS " + hexByte(id.biosCode) + ", " + chip + ", board " +
           std::to_string(id.boardIndex) + ", preparation " + hexByte(id.preparation);
}

serial::PortCheck checkBoard(serial::SerialPort& port, const std::string& name,
                             const firmware::ImageTable& images, bool upgrade) {
    if (const serial::PortError error = port.open(name))
        return {serial::Check::Board, serial::Verdict::Problem, serial::describe(error, name), ""};
    engine::BlockingWait wait;
    engine::SessionObserver quiet;
    const engine::SessionOptions options =
        upgrade ? engine::SessionOptions::upgrade() : engine::SessionOptions::updater();
    engine::Session session(port, images, options, wait, quiet);
    engine::Plan plan;
    const engine::Result result = session.inspect(plan, kDoctorSearchTries);
    port.close();
    switch (result.outcome()) {
    case engine::Outcome::Ok:
        return {serial::Check::Board, serial::Verdict::Ok,
                boardText(plan) + "; an image of this program suits it (" +
                    std::to_string(plan.image->flashLength) + " bytes)",
                ""};
    case engine::Outcome::DeviceNotFound:
    case engine::Outcome::InvalidPort:
        return {serial::Check::Board, serial::Verdict::Problem,
                "no board answered " + std::to_string(kDoctorSearchTries) + " search bytes (0x" +
                    hexByte(options.searchByte) + ")" +
                    (result.cause() == engine::Cause::PortGone ? "; the adapter went away" : ""),
                upgrade ? "check that the board is powered, wired to this port and runs its "
                          "bootloader"
                        : "check that the board is powered, wired to this port and runs its "
                          "bootloader; a board of the Upgrade product line answers --upgrade"};
    case engine::Outcome::UserAbort:
        return {serial::Check::Board, serial::Verdict::Problem, "the search was interrupted", ""};
    default:
        return {serial::Check::Board, serial::Verdict::Warning,
                boardText(plan) +
                    "; no image of this program suits it: " + station::resultText(result),
                "update it with the product made for this board (trevane-cli --list-images "
                "lists what this one carries)"};
    }
}

} // namespace

int Cli::doctor(const Options& options, const std::vector<std::string>& ports) {
    std::ostream& out = *platform_.out;
    bool problem = false;
    const auto show = [&](const std::string& port, const serial::PortCheck& check) {
        problem = problem || check.verdict == serial::Verdict::Problem;
        if (options.json) {
            station::Json e;
            e["port"] = station::jsonText(port);
            e["event"] = "check";
            e["check"] = serial::checkCode(check.check);
            e["status"] = serial::verdictText(check.verdict);
            e["found"] = station::jsonText(check.found);
            e["fix"] = station::jsonText(check.fix);
            out << station::dumpLine(e) << '\n';
        } else {
            char head[64];
            std::snprintf(head, sizeof head, "%-8s %-13s %-8s ", port.c_str(),
                          serial::checkCode(check.check), serial::verdictText(check.verdict));
            out << head << check.found;
            if (!check.fix.empty()) out << "; fix: " << check.fix;
            out << '\n';
        }
        out.flush();
    };
    for (const std::string& port : ports) {
        bool reachable = true;
        if (platform_.checkPort) {
            for (const serial::PortCheck& check : platform_.checkPort(port)) {
                show(port, check);
                // The board is asked only through a port that can be opened.
                if (serial::keepsPortShut(check.check) && check.verdict == serial::Verdict::Problem)
                    reachable = false;
            }
        }
        if (reachable) {
            const std::unique_ptr<serial::SerialPort> serialPort = platform_.ports.make();
            show(port, checkBoard(*serialPort, port, product_.images, options.upgrade));
        }
    }
    return problem ? kSomeFailed : kAllProgrammed;
}

} // namespace cli

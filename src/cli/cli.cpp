#include "cli/cli.h"

#include "cli/cli_options.h"
#include "cli/station.h"
#include "firmware/version_listing.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace cli {

Cli::Cli(const firmware::Product& product, const char* version, Platform platform)
    : product_(product), version_(version), platform_(std::move(platform)) {}

int Cli::run(int argc, const char* const* argv) {
    std::ostream& out = *platform_.out;
    std::ostream& err = *platform_.err;
    const Parsed parsed = parseArguments(argc, argv, platform_.devicePaths);
    if (!parsed.error.empty()) {
        err << "trevane-cli: " << parsed.error << "\n\n" << usageText();
        return kUsageError;
    }
    const Options& options = parsed.options;
    switch (options.command) {
    case Command::Help:
        out << usageText();
        return kAllProgrammed;
    case Command::Version:
        out << "trevane-cli " << version_ << " - " << product_.identity << ", built "
            << product_.buildDate << " " << product_.buildTime << '\n';
        return kAllProgrammed;
    case Command::ListImages:
        for (const std::string& line : firmware::versionListing(product_.images))
            out << line << '\n';
        return kAllProgrammed;
    case Command::ListPorts:
        for (const serial::PortDescription& port : platform_.listPorts())
            out << port.name << '\t' << port.device << '\t' << port.friendlyName << '\n';
        return kAllProgrammed;
    case Command::Doctor:
    case Command::Update:
        break;
    }
    std::vector<std::string> ports = options.ports;
    if (options.command == Command::Doctor) {
        if (ports.empty())
            for (const serial::PortDescription& port : platform_.listPorts())
                ports.push_back(port.name);
        if (ports.empty()) {
            err << "trevane-cli: no serial port is present: plug the adapter in, or name its "
                   "port\n";
            return kSomeFailed;
        }
        return doctor(options, ports);
    }
    if (options.all) {
        for (const serial::PortDescription& port : platform_.listPorts())
            ports.push_back(port.name);
        if (ports.empty()) {
            err << "trevane-cli: --all: no serial port is present\n";
            return kUsageError;
        }
    }
    return update(options, std::move(ports), argc, argv);
}

int Cli::update(const Options& options, std::vector<std::string> ports, int argc,
                const char* const* argv) {
    const ReportForm form = options.json              ? ReportForm::Json
                            : platform_.outIsTerminal ? ReportForm::Terminal
                                                      : ReportForm::Lines;
    const std::unique_ptr<Report> report = makeReport(form, *platform_.out, *platform_.err);
    report->start(ports);

    const engine::SessionOptions sessionOptions =
        options.upgrade ? engine::SessionOptions::upgrade() : engine::SessionOptions::updater();
    std::vector<std::unique_ptr<Station>> stations;
    for (size_t i = 0; i < ports.size(); ++i)
        stations.push_back(std::make_unique<Station>(
            static_cast<int>(i), ports[i], platform_.makePort(), product_.images, sessionOptions,
            options.repeat, *report, platform_.latencyFix ? platform_.latencyFix(ports[i]) : ""));

    std::atomic<bool> interrupted{false};
    std::mutex stationsMutex;
    bool running = true;
    if (platform_.onInterrupt) {
        platform_.onInterrupt([&] {
            interrupted = true;
            std::lock_guard lock(stationsMutex);
            if (!running) return;
            for (auto& station : stations)
                station->interrupt();
        });
    }

    // One thread a port: a board that fails never holds up the others.
    std::vector<std::thread> threads;
    for (auto& station : stations)
        threads.emplace_back([&station] { station->run(); });
    for (std::thread& t : threads)
        t.join();
    {
        std::lock_guard lock(stationsMutex);
        running = false;
    }
    if (platform_.onInterrupt) platform_.onInterrupt(nullptr);

    Summary summary;
    for (const auto& station : stations) {
        summary.programmed += station->programmed();
        summary.failed += station->failed();
        PortTally tally{station->portName(), station->programmed(), station->failed(), {}};
        if (!station->replyTimes().empty()) tally.replies = station->replyTimes().timing();
        summary.ports.push_back(tally);
        const auto& last = station->lastResult();
        // With --repeat a port that never met a board has nothing to retry.
        if (last ? !last->ok() : !options.repeat) summary.retryPorts.push_back(station->portName());
    }
    if (!summary.retryPorts.empty()) {
        summary.retryCommand = argc > 0 ? argv[0] : "trevane-cli";
        if (options.upgrade) summary.retryCommand += " --upgrade";
        if (options.json) summary.retryCommand += " --json";
        if (options.repeat) summary.retryCommand += " --repeat";
        for (const std::string& port : summary.retryPorts)
            summary.retryCommand += " " + port;
    }
    report->finish(summary);

    if (interrupted && !options.repeat) return kInterrupted;
    return summary.retryPorts.empty() ? kAllProgrammed : kSomeFailed;
}

} // namespace cli

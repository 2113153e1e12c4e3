#include "cli/cli.h"

#include "cli/cli_options.h"
#include "cli/report.h"
#include "cli/retry_line.h"
#include "firmware/file_images.h"
#include "firmware/version_listing.h"
#include "serial/port_name.h"
#include "station/bays.h"
#include "station/journal.h"
#include "station/run.h"
#include "station/station_files.h"

#include <algorithm>
#include <optional>

namespace cli {

Cli::Cli(const firmware::Product& product, const char* version, Platform platform)
    : product_(product), version_(version), platform_(std::move(platform)) {}

Cli::~Cli() = default;

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
        if (!prepare(options)) return kUsageError;
        return listImages();
    case Command::ListPorts:
        for (const serial::PortDescription& port : platform_.ports.list()) {
            const std::string usb =
                port.vendorId.empty() ? std::string() : port.vendorId + ":" + port.productId;
            out << port.name << '\t' << port.device << '\t' << port.friendlyName << '\t'
                << port.place << '\t' << usb << '\t' << port.serial << '\n';
        }
        return kAllProgrammed;
    case Command::Doctor:
    case Command::Update:
        break;
    }
    if (options.command == Command::Doctor) {
        std::vector<std::string> ports = options.ports;
        if (ports.empty())
            for (const serial::PortDescription& port : platform_.ports.list())
                ports.push_back(port.name);
        if (ports.empty()) {
            err << "trevane-cli: no serial port is present: plug the adapter in, or name its "
                   "port\n";
            return kSomeFailed;
        }
        return doctor(options, ports);
    }
    if (!prepare(options)) return kUsageError;

    // The ports to update now; --watch adds and ends them as they come and go.
    std::vector<serial::PortDescription> ports;
    if (!options.watch) {
        const std::vector<serial::PortDescription> present = platform_.ports.list();
        for (const std::string& name : options.ports) {
            // A port the listing describes carries its place and adapter, for bays and records.
            const auto it = std::find_if(present.begin(), present.end(),
                                         [&](const auto& p) { return serial::namesPort(name, p); });
            ports.push_back(it != present.end() ? *it : serial::PortDescription{name, name, ""});
        }
        if (options.all) ports = present;
        if (ports.empty()) {
            err << "trevane-cli: --all: no serial port is present\n";
            return kUsageError;
        }
    }
    return update(options, ports, argc, argv);
}

bool Cli::prepare(const Options& options) {
    std::vector<std::string> error;
    std::optional<station::StationFiles> files = station::openStationFiles(
        {options.imageFile, options.baysFile, options.journalFile}, product_,
        station::JournalContext{platform_.hostName, options.operatorName, product_.identity,
                                version_},
        platform_.openJournal, error);
    for (const std::string& line : error)
        *platform_.err << "trevane-cli: " << line << '\n';
    if (!files) return false;
    for (const std::string& notice : files->notices)
        *platform_.err << "trevane-cli: " << notice << '\n';
    file_ = std::move(files->image);
    bays_ = std::move(files->bays);
    journal_ = std::move(files->journal);
    return true;
}

int Cli::listImages() {
    std::ostream& out = *platform_.out;
    if (!file_) {
        for (const std::string& line : firmware::versionListing(product_.images))
            out << line << '\n';
        return kAllProgrammed;
    }
    // The file's identity line for every chip it suits, as the listing shows a built-in image.
    const std::vector<std::string> header = firmware::versionListing(firmware::ImageTable({}, 0));
    for (const std::string& line : header)
        out << line << '\n';
    int lineNumber = 0;
    for (const chips::Chip& chip : chips::allChips()) {
        const firmware::FirmwareImage& image = file_->select(chip.code, 0);
        if (chip.listingLabel == nullptr || !image.hasImage()) continue;
        const firmware::ImageIdentity identity = file_->identityOf(image, chip);
        out << firmware::imageLine(lineNumber++, chip.listingLabel,
                                   static_cast<int8_t>(identity.boardIndex), identity.preparation)
            << "  (" << file_->fileName() << "; reset vector " << file_->resetVectorText(chip.code)
            << ")\n";
    }
    if (lineNumber == 0) {
        *platform_.err << "trevane-cli: " << file_->fileName() << " suits no chip:\n";
        for (const chips::Chip& chip : chips::allChips())
            if (chip.listingLabel != nullptr)
                *platform_.err << "  " << file_->chipError(chip.code) << '\n';
        return kSomeFailed;
    }
    return kAllProgrammed;
}

int Cli::update(const Options& options, const std::vector<serial::PortDescription>& ports, int argc,
                const char* const* argv) {
    const ReportForm form = options.json              ? ReportForm::Json
                            : platform_.outIsTerminal ? ReportForm::Terminal
                                                      : ReportForm::Lines;
    station::RunSetup setup = station::runSetup(product_, file_.get(), options.upgrade);
    setup.stations.repeat = options.repeat;
    setup.stations.watch = options.watch;
    setup.stations.dryRun = options.dryRun;
    setup.stations.journal = journal_.get();
    setup.bays = bays_;
    setup.ports = ports;
    setup.watchedNames = options.ports;
    station::RunServices services{platform_.ports, platform_.watchPeriodMs,
                                  [this](const std::string& text) {
                                      *platform_.err << "trevane-cli: --watch: " << text << '\n';
                                  }};

    // Whatever stops the run early stops every station at its next wait: nothing is sent after
    // it, and every board met gets its record.
    station::Run* running = nullptr; // set before the first station starts
    const std::unique_ptr<Report> report =
        makeReport(form, *platform_.out, *platform_.err, product_.identity, [&] {
            if (running) running->stop(station::StopReason::OutputLost);
        });
    station::Run run(std::move(setup), std::move(services), *report);
    running = &run;
    if (platform_.onInterrupt)
        platform_.onInterrupt([&] { run.stop(station::StopReason::UserInterrupt); });
    run.start();
    while (!run.waitForEnd(1000)) {
    }
    const station::Summary summary = run.finish();
    if (platform_.onInterrupt) platform_.onInterrupt(nullptr);

    const std::string retry = summary.retryPorts.empty() || options.dryRun
                                  ? std::string()
                                  : retryCommand(argc > 0 ? argv[0] : "trevane-cli", options,
                                                 summary.retryPorts, platform_.shellRules);
    report->finish(summary, retry);

    if (journal_ && journal_->failed()) {
        *platform_.err << "trevane-cli: the journal " << options.journalFile
                       << " could not be written (" << journal_->error()
                       << "): the stations stopped\n";
        return kSomeFailed;
    }
    // A lost output ends the run as Ctrl+C does; with --repeat, Ctrl+C is how a station's shift
    // ends, and the boards say how it went.
    const station::StopReason stopped = run.stopReason();
    if (stopped == station::StopReason::OutputLost ||
        (stopped == station::StopReason::UserInterrupt && !options.repeat))
        return kInterrupted;
    return summary.retryPorts.empty() ? kAllProgrammed : kSomeFailed;
}

} // namespace cli

#include "cli/cli.h"

#include "cli/bays.h"
#include "cli/cli_options.h"
#include "cli/journal.h"
#include "cli/retry_line.h"
#include "cli/station.h"
#include "cli/station_pool.h"
#include "firmware/file_images.h"
#include "firmware/version_listing.h"
#include "serial/port_name.h"
#include "serial/port_watcher.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

namespace cli {

namespace {

// A file's bytes; none, with the system's words in error, when it cannot be read.
std::optional<std::string> readFile(const std::string& path, std::string& error) {
    // A folder opens as a stream on some systems and fails only when read.
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        error = std::make_error_code(std::errc::is_a_directory).message();
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    try {
        // The stream's buffer throws when the system's read fails (EIO, a folder).
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in.bad()) return bytes;
    } catch (const std::ios_base::failure&) {
    }
    error = std::strerror(errno);
    return std::nullopt;
}

} // namespace

// Why a run stops before its stations have ended by themselves; seen by the watch loop as soon
// as it comes. The first reason stays.
class Cli::Interruption {
public:
    enum class Reason {
        None,
        UserInterrupt, // Ctrl+C, SIGTERM, SIGHUP, a console closed
        OutputLost,    // standard output closed (a pipe whose reader ended): as Ctrl+C
        RecordLost,    // the journal could not take a record
    };
    void raise(Reason reason) {
        std::lock_guard lock(mutex_);
        if (reason_ == Reason::None) reason_ = reason;
        wake_.notify_all();
    }
    Reason reason() const {
        std::lock_guard lock(mutex_);
        return reason_;
    }
    // Waits up to ms; true when the run is to stop.
    bool waitFor(int ms) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return reason_ != Reason::None; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    Reason reason_ = Reason::None;
};

void Cli::watch(const Options& options, StationPool& pool, Interruption& interruption) {
    using Clock = std::chrono::steady_clock;
    // udev describes a device a moment after it appears: its station waits for that (its first
    // record then has its place and bay), but not for long.
    constexpr auto kSettleAtMost = std::chrono::seconds(1);
    // A port named on the command line that never shows is most likely misspelt.
    constexpr auto kNamedPortGrace = std::chrono::seconds(5);

    serial::PortWatcher watcher(platform_.listPorts);
    const auto wanted = [&](const serial::PortDescription& port) {
        if (options.ports.empty()) return true;
        return std::any_of(options.ports.begin(), options.ports.end(),
                           [&](const auto& name) { return serial::namesPort(name, port); });
    };
    std::vector<std::string> neverSeen = options.ports;
    const Clock::time_point started = Clock::now();
    // Ports that wait for their station: until udev has described them, and a port that came
    // back before its last station ended, for that one (two stations on one port would find it
    // busy).
    struct Waiting {
        serial::PortDescription port;
        Clock::time_point since;
    };
    std::vector<Waiting> waiting;
    do {
        const serial::PortWatcher::Changes changes = watcher.poll();
        const Clock::time_point now = Clock::now();
        for (const std::string& name : changes.vanished) {
            std::erase_if(
                waiting, [&](const Waiting& w) { return serial::samePortName(w.port.name, name); });
            pool.retire(name);
        }
        for (const serial::PortDescription& port : changes.updated) {
            for (Waiting& w : waiting)
                if (serial::samePortName(w.port.name, port.name)) w.port = port;
            pool.describe(port);
        }
        for (const serial::PortDescription& port : changes.appeared) {
            if (!wanted(port)) continue;
            std::erase_if(neverSeen,
                          [&](const std::string& name) { return serial::namesPort(name, port); });
            waiting.push_back({port, now});
        }
        std::erase_if(waiting, [&](const Waiting& w) {
            if (!w.port.settled && now - w.since < kSettleAtMost) return false;
            if (pool.runs(w.port.name)) return false;
            pool.start(w.port);
            return true;
        });
        pool.reap();
        if (!neverSeen.empty() && now - started >= kNamedPortGrace) {
            for (const std::string& name : neverSeen)
                *platform_.err << "trevane-cli: --watch: " << name
                               << " matches no port present; --list-ports shows the names\n";
            neverSeen.clear();
        }
    } while (!interruption.waitFor(platform_.watchPeriodMs));
}

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
        for (const serial::PortDescription& port : platform_.listPorts()) {
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
            for (const serial::PortDescription& port : platform_.listPorts())
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
        const std::vector<serial::PortDescription> present = platform_.listPorts();
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
    std::ostream& err = *platform_.err;
    if (!options.imageFile.empty()) {
        if (product_.filesForbidden) {
            err << "trevane-cli: --image: this product takes no firmware files ("
                << product_.identity << "): its images are built in\n";
            return false;
        }
        std::string error;
        const std::optional<std::string> bytes = readFile(options.imageFile, error);
        if (!bytes) {
            err << "trevane-cli: " << options.imageFile << ": cannot be read: " << error << '\n';
            return false;
        }
        file_ = std::make_unique<firmware::FileImages>(options.imageFile, *bytes, product_);
        if (!file_->ok()) {
            err << "trevane-cli: " << file_->error() << "\ntrevane-cli: nothing was sent\n";
            return false;
        }
    }
    if (!options.baysFile.empty()) {
        std::string error;
        const std::optional<std::string> text = readFile(options.baysFile, error);
        if (!text) {
            err << "trevane-cli: " << options.baysFile << ": cannot be read: " << error << '\n';
            return false;
        }
        BaysFile parsed = parseBays(options.baysFile, *text);
        if (!parsed.error.empty()) {
            err << "trevane-cli: " << parsed.error << '\n';
            return false;
        }
        bays_ = std::move(parsed.bays);
    }
    if (!options.journalFile.empty()) {
        // No record, no programming: a journal that cannot take lines stops the run here.
        std::string error;
        std::unique_ptr<RecordFile> file =
            platform_.openJournal ? platform_.openJournal(options.journalFile, error) : nullptr;
        if (!file) {
            err << "trevane-cli: --journal " << options.journalFile
                << ": cannot be opened for appending: " << error << '\n';
            return false;
        }
        if (const std::string kind = file->notOnDisk(); !kind.empty())
            err << "trevane-cli: --journal " << options.journalFile << " is " << kind
                << ", not a file on a disk: its records are written without a sync\n";
        journal_ = std::make_unique<Journal>(
            std::move(file),
            JournalContext{platform_.hostName, options.operatorName, product_.identity, version_});
    }
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
    // Whatever stops the run early stops every station at its next wait: nothing is sent after
    // it, and every board met gets its record.
    Interruption interruption;
    StationPool* stations = nullptr; // set before the first station starts
    const auto stopAll = [&](Interruption::Reason why) {
        interruption.raise(why);
        if (stations) stations->interrupt();
    };
    const std::unique_ptr<Report> report = makeReport(
        form, *platform_.out, *platform_.err, [&] { stopAll(Interruption::Reason::OutputLost); });
    StationSetup setup;
    setup.images =
        file_ ? static_cast<const firmware::ImageSource*>(file_.get()) : &product_.images;
    setup.file = file_.get();
    setup.options =
        options.upgrade ? engine::SessionOptions::upgrade() : engine::SessionOptions::updater();
    setup.repeat = options.repeat;
    setup.watch = options.watch;
    setup.dryRun = options.dryRun;
    setup.report = report.get();
    setup.journal = journal_.get();

    StationPool pool(setup, bays_, {platform_.makePort, platform_.latencyFix});
    stations = &pool;
    if (platform_.onInterrupt)
        platform_.onInterrupt([&] { stopAll(Interruption::Reason::UserInterrupt); });
    if (journal_) journal_->onFailure([&] { stopAll(Interruption::Reason::RecordLost); });
    for (const serial::PortDescription& port : ports)
        pool.start(port);
    if (options.watch) watch(options, pool, interruption);
    pool.join();
    if (platform_.onInterrupt) platform_.onInterrupt(nullptr);
    if (journal_) journal_->onFailure(nullptr);

    Summary summary;
    summary.dryRun = options.dryRun;
    for (StationPool::Tally t : pool.tallies()) {
        if (!t.times.empty()) t.counts.replies = t.times.timing();
        summary.programmed += t.counts.programmed;
        summary.failed += t.counts.failed;
        summary.programmedNotRecorded += t.counts.programmedNotRecorded;
        summary.ports.push_back(t.counts);
        // With --repeat a port that never met a board has nothing to retry, unless it never
        // even opened (busy, refused, not a port): that station did no work at all. A board
        // programmed without its record is retried, so that it gets one.
        const bool lastFailed = t.last && !t.last->ok();
        const bool retry = t.last ? lastFailed || t.counts.programmedNotRecorded > 0
                                  : !options.repeat || t.neverOpened;
        if (retry) summary.retryPorts.push_back(t.counts.port);
    }
    if (!summary.retryPorts.empty() && !options.dryRun)
        summary.retryCommand = retryCommand(argc > 0 ? argv[0] : "trevane-cli", options,
                                            summary.retryPorts, platform_.shellRules);
    report->finish(summary);

    if (journal_ && journal_->failed()) {
        *platform_.err << "trevane-cli: the journal " << options.journalFile
                       << " could not be written (" << journal_->error()
                       << "): the stations stopped\n";
        return kSomeFailed;
    }
    // A lost output ends the run as Ctrl+C does; with --repeat, Ctrl+C is how a station's shift
    // ends, and the boards say how it went.
    const Interruption::Reason stopped = interruption.reason();
    if (stopped == Interruption::Reason::OutputLost ||
        (stopped == Interruption::Reason::UserInterrupt && !options.repeat))
        return kInterrupted;
    return summary.retryPorts.empty() ? kAllProgrammed : kSomeFailed;
}

} // namespace cli

// trevane-cli: headless updates of several boards at once, for production lines.
#pragma once

#include "cli/cli_options.h"
#include "cli/retry_line.h"
#include "firmware/file_images.h"
#include "firmware/product.h"
#include "serial/doctor/port_doctor.h"
#include "serial/system_ports.h"
#include "station/bays.h"
#include "station/journal.h"
#include "station/record_file.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace cli {

// Exit statuses.
inline constexpr int kAllProgrammed = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsageError = 2;
inline constexpr int kInterrupted = 130;

// What the program takes from its system; tests put simulated boards in its place.
struct Platform {
    serial::Ports ports;
    // The system's checks of a port for --doctor (all but the board's).
    std::function<std::vector<serial::PortCheck>(std::string_view port)> checkPort;
    // The journal's file (--journal); none, with the reason, when it cannot be opened.
    station::OpenRecordFile openJournal;
    std::string hostName;
    int watchPeriodMs = 500;                   // how often --watch looks at the port listing
    bool devicePaths = false;                  // ports may be named by device path
    bool outIsTerminal = false;                // progress lines are redrawn in place
    ShellRules shellRules = ShellRules::Posix; // how the retry line quotes its arguments
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    // Installs what runs when the user interrupts (Ctrl+C): may be called from any thread.
    std::function<void(std::function<void()>)> onInterrupt;
};

class Cli {
public:
    Cli(const firmware::Product& product, const char* version, Platform platform);
    ~Cli();
    // Returns the exit status.
    int run(int argc, const char* const* argv);

private:
    int update(const Options& options, const std::vector<serial::PortDescription>& ports, int argc,
               const char* const* argv);
    // --doctor: the checks of every port, one line (or JSON object) each.
    int doctor(const Options& options, const std::vector<std::string>& ports);
    int listImages();
    // Reads --image, --bays and --journal; false after a usage error said why.
    bool prepare(const Options& options);

    const firmware::Product& product_;
    const char* version_;
    Platform platform_;
    std::unique_ptr<firmware::FileImages> file_;
    std::vector<station::Bay> bays_;
    std::unique_ptr<station::Journal> journal_;
};

} // namespace cli

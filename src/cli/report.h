// What trevane-cli tells about its ports while they update, in one of three forms: progress
// lines redrawn in place on a terminal, one plain line per milestone otherwise, or one JSON
// object a line for programs. Every port's thread reports here; the reports serialise them.
#pragma once

#include "cli/reply_times.h"
#include "engine/observer.h"
#include "engine/result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace chips {
struct Chip;
}

namespace cli {

enum class Stage { Flash, Eeprom };

// One board's ending on a port.
struct BoardResult {
    int board = 0; // counted from 1 on each port (--repeat); 0 for a single update
    engine::Result result{engine::Outcome::NotResponse};
    double seconds = 0;
    std::optional<ReplyTiming> replies; // when the board answered frames
};

// One port's part of a run.
struct PortTally {
    std::string port;
    int programmed = 0;
    int failed = 0;
    std::optional<ReplyTiming> replies; // every frame of every board on the port
};

// How a whole run went.
struct Summary {
    int programmed = 0;
    int failed = 0;
    std::vector<PortTally> ports;
    std::vector<std::string> retryPorts; // whose last board failed
    std::string retryCommand;            // the command line that retries just those
};

class Report {
public:
    virtual ~Report() = default;

    // The ports, in the order of the command line: the index of each is its number below.
    virtual void start(const std::vector<std::string>& ports) = 0;
    virtual void searchTry(int port, int attempt) = 0;
    virtual void boardFound(int port, const engine::BoardFound& board, const chips::Chip* chip) = 0;
    virtual void imageLoaded(int port, const engine::LoadedImage& image) = 0;
    virtual void phase(int port, const char* text) = 0; // "Entry in PrgMode", "Fix Program", ...
    virtual void progress(int port, Stage stage, int32_t done, int32_t total) = 0;
    virtual void resend(int port, int attempt) = 0;
    virtual void result(int port, const BoardResult& board, int programmed, int failed) = 0;
    // A port that cannot be opened or went away, for a person; the text names the port.
    virtual void problem(int port, const std::string& text) = 0;
    // Advice on making updates on the port faster or surer; the text names the port.
    virtual void hint(int port, const std::string& text) = 0;
    virtual void finish(const Summary& summary) = 0;
};

enum class ReportForm { Terminal, Lines, Json };

// out: what the form writes (stdout); err: messages for a person (stderr).
std::unique_ptr<Report> makeReport(ReportForm form, std::ostream& out, std::ostream& err);

// The text without its leading and trailing blanks (" Program Ok " -> "Program Ok").
std::string trimmed(std::string_view text);

// "not Response (the adapter was removed at 43 %)": a result as the plain lines give it.
std::string resultText(const engine::Result& result);

} // namespace cli

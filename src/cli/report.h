// What trevane-cli tells about its ports while they update, in one of three forms: progress
// lines redrawn in place on a terminal, one plain line per milestone otherwise, or one JSON
// object a line for programs. Every port's thread reports here; the reports serialise them.
#pragma once

#include "cli/reply_times.h"
#include "engine/observer.h"
#include "engine/result.h"

#include <cstdint>
#include <functional>
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

// The image chosen for a board.
struct ImageInfo {
    bool fromFile = false;
    std::string file;   // the file's name, when from a file
    std::string sha256; // of the image's bytes (see firmware::flashSha256)
    int slot = 0;       // the image table's column of the chip
};

// One board's ending on a port.
struct BoardResult {
    int board = 0; // counted from 1 on each port (--repeat); 0 for a single update
    engine::Result result{engine::Outcome::NotResponse};
    // The journal could not take its record: a board programmed so counts as failed.
    bool notRecorded = false;
    bool ok() const { return result.ok() && !notRecorded; }
    double seconds = 0;
    std::optional<ReplyTiming> replies; // when the board answered frames
    std::optional<ImageInfo> image;     // when an image was chosen for the board
};

// What a dry run found: whether the image would be written, and how.
using engine::AddressRange;
struct DryRun {
    engine::Result result{engine::Outcome::Ok}; // Ok: the image would be written
    std::optional<engine::BoardFound> board;
    const chips::Chip* chip = nullptr;
    std::optional<ImageInfo> image;
    std::vector<AddressRange> ranges; // what the flash frames write
    int32_t flashFrames = 0;
    int32_t skippedFrames = 0; // left out for the protected range
    int32_t protectedStart = 0;
    int32_t protectedLength = 0;
    int32_t fixAddress = 0;
    std::string resetVector; // the application's, which the fix frame carries: "GOTO 0x0202"
    int32_t eepromBytes = 0;
    bool programMode = false;
    double seconds = 0; // the bytes' time on a 115200 line
};

// One bay's or port's part of a run.
struct PortTally {
    std::string port;
    std::string bay; // empty: the port matches no bay
    int programmed = 0;
    int failed = 0;
    int programmedNotRecorded = 0;      // of those failed
    std::optional<ReplyTiming> replies; // every frame of every board on the port

    // Boards programmed of those met, in percent; none before the first board.
    std::optional<double> yieldPercent() const {
        if (programmed + failed == 0) return std::nullopt;
        return 100.0 * programmed / (programmed + failed);
    }
};

// How a whole run went. In a dry run, "programmed" counts the boards whose image would be
// written and "failed" those whose would not.
struct Summary {
    bool dryRun = false;
    int programmed = 0;
    int failed = 0;
    int programmedNotRecorded = 0; // of those failed
    std::vector<PortTally> ports;
    std::vector<std::string> retryPorts; // whose last board failed
    std::string retryCommand;            // the command line that retries just those
};

class Report {
public:
    virtual ~Report() = default;

    // A port (and the bay it is in, or "") whose station starts: its number below. A port whose
    // station starts again keeps its number.
    virtual int addPort(const std::string& port, const std::string& bay) = 0;
    virtual void searchTry(int port, int attempt) = 0;
    virtual void boardFound(int port, const engine::BoardFound& board, const chips::Chip* chip) = 0;
    virtual void imageLoaded(int port, const engine::LoadedImage& image) = 0;
    virtual void phase(int port, engine::Phase phase) = 0;
    virtual void progress(int port, Stage stage, int32_t done, int32_t total) = 0;
    virtual void resend(int port, int attempt) = 0;
    virtual void result(int port, const BoardResult& board, int programmed, int failed) = 0;
    // A port that cannot be opened or went away, for a person; the text names the port.
    virtual void problem(int port, const std::string& text) = 0;
    // Advice on making updates on the port faster or surer; the text names the port.
    virtual void hint(int port, const std::string& text) = 0;
    // What is about to be written, for a person.
    virtual void note(int port, const std::string& text) = 0;
    // --dry-run: what would have been written.
    virtual void plan(int port, const DryRun& plan) = 0;
    virtual void finish(const Summary& summary) = 0;
};

enum class ReportForm { Terminal, Lines, Json };

// out: what the form writes (stdout); err: messages for a person (stderr). outputLost is called
// once (under the report's lock, on the thread that wrote) when out stops taking lines.
std::unique_ptr<Report> makeReport(ReportForm form, std::ostream& out, std::ostream& err,
                                   std::function<void()> outputLost = nullptr);

// The text without its leading and trailing blanks (" Program Ok " -> "Program Ok").
std::string trimmed(std::string_view text);

// "not Response (the adapter was removed at 43 %)": a result as the plain lines give it.
std::string resultText(const engine::Result& result);

} // namespace cli

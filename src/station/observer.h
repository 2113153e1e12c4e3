// What a production station tells while its ports update: its stations as they start and as
// their ports go, every board's steps and result, and what a person should know. Events come on
// the stations' own threads, one per port, so an observer serialises them itself. Every event
// has an empty default: an observer takes what it shows.
#pragma once

#include "engine/observer.h"
#include "engine/plan.h"
#include "engine/result.h"
#include "serial/listing/port_list.h"
#include "station/reply_times.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace chips {
struct Chip;
}

namespace station {

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
    double seconds = 0;
    std::optional<ReplyTiming> replies; // when the board answered frames
    // The adapter's delay: the quicker of the answers that need no flash work (the search's,
    // the program-mode byte's); none when neither came.
    std::optional<double> adapterMs;
    std::optional<ImageInfo> image; // when an image was chosen for the board

    bool ok() const { return result.ok() && !notRecorded; }
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
    int64_t wireBytes = 0; // what the update puts on the line, both ways
    double seconds = 0;    // their time on a 115200 line
};

// One bay's or port's part of a run.
struct PortTally {
    std::string port;
    std::string bay; // empty: the port matches no bay
    int programmed = 0;
    int failed = 0;
    int programmedNotRecorded = 0;      // of those failed
    std::optional<ReplyTiming> replies; // every frame of every board on the port
    std::optional<ReplyTiming> adapter; // every answer that needed no flash work

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
    // Whose last board failed or was not recorded, and those that never opened at a station:
    // the ports worth trying again.
    std::vector<std::string> retryPorts;
};

class StationObserver {
public:
    virtual ~StationObserver() = default;

    // A station starts on a port (as the listing describes it), in a bay ("" for none): its
    // number in every event below. A port whose station starts again (plugged in again) keeps
    // its number.
    virtual void stationStarted(int /*station*/, const serial::PortDescription& /*port*/,
                                const std::string& /*bay*/) {}
    // The port has gone (its adapter was pulled out): its station ends after the board in
    // progress, quietly.
    virtual void portGone(int /*station*/) {}
    // The station's port, still the same device, is described anew (udev has named its adapter
    // since): the bay it is in stays.
    virtual void portDescribed(int /*station*/, const serial::PortDescription& /*port*/) {}
    virtual void searchTry(int /*station*/, int /*attempt*/) {}
    virtual void boardFound(int /*station*/, const engine::BoardFound& /*board*/,
                            const chips::Chip* /*chip*/) {}
    virtual void imageLoaded(int /*station*/, const engine::LoadedImage& /*image*/) {}
    virtual void phase(int /*station*/, engine::Phase /*phase*/) {}
    virtual void progress(int /*station*/, Stage /*stage*/, int32_t /*done*/, int32_t /*total*/) {}
    virtual void resend(int /*station*/, int /*attempt*/) {}
    // A board ended; the station's counts so far.
    virtual void result(int /*station*/, const BoardResult& /*board*/, int /*programmed*/,
                        int /*failed*/) {}
    // A port that cannot be opened, a file that does not suit the chip, a journal that cannot
    // be written: for a person; the text names the port.
    virtual void problem(int /*station*/, const std::string& /*text*/) {}
    // Advice on making updates on the port faster or surer; the text names the port.
    virtual void hint(int /*station*/, const std::string& /*text*/) {}
    // What is about to be written, for a person.
    virtual void note(int /*station*/, const std::string& /*text*/) {}
    // A dry run's plan: what would have been written.
    virtual void plan(int /*station*/, const DryRun& /*plan*/) {}
};

// "not Response (the adapter was removed at 43 %)": a result as a line for a person gives it,
// without the blanks around the windows' text.
std::string resultText(const engine::Result& result);

} // namespace station

// What an update tells its front end while it runs. Every event has an empty default, so a
// front end overrides only what it shows. Events come on the thread that runs the session.
#pragma once

#include "engine/plan.h"
#include "engine/result.h"
#include "firmware/image_table.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// The stages of a write that the front ends name.
enum class Phase : uint8_t {
    ProgramModeEntry, // the program-mode byte is sent
    Programming,      // the frames begin
    FixFrame,         // the fix frame at the application limit
    Eeprom,           // the EEPROM bytes
};

// The stage's name as the windows' activity panel shows it: "Entry in PrgMode", "Programming",
// "Fix Program", "Program EEP".
std::string_view phaseText(Phase phase);

// The windows' texts that trevane-cli and the station show too:
// the device panel's for the board: the chip's ("Found 258"), or "Unknow Device";
std::string_view deviceText(const chips::Chip* chip);
// the image panel's: "Loaded 32587 bytes (0000 to FE8E)", counted in program-memory addresses;
std::string loadedText(const LoadedImage& image);
// the activity panel's for a frame sent again: "Resend 2".
std::string resendText(int attempt);

class SessionObserver {
public:
    virtual ~SessionObserver() = default;

    // The search begins; then one event per try (0 to 99) until a bootloader answers.
    virtual void searchStarted() {}
    virtual void searchTry(int /*attempt*/) {}
    // The search is over: a board answered, none did, or the user stopped it.
    virtual void searchEnded() {}

    // A board answered; the session that decides whether and what to write begins.
    virtual void sessionStarted() {}
    virtual void boardFound(const BoardFound& /*board*/) {}
    virtual void chipNamed(const chips::Chip& /*chip*/) {}
    // Read from the image chosen for the board, before the compatibility check.
    virtual void imageIdentified(const firmware::ImageIdentity& /*image*/) {}
    // Everything decided, nothing written yet: the plan the write phase follows.
    virtual void planned(const Plan& /*plan*/) {}
    virtual void imageLoaded(const LoadedImage& /*image*/) {}
    virtual void programModeEntry() {}
    virtual void programmingStarted() {}

    // The write phase. Progress positions count addresses for the flash frames and bytes for
    // the EEPROM; each stage announces its maximum first.
    virtual void flashStarted(int32_t /*maximum*/) {}
    virtual void frameStarted(int32_t /*address*/) {}
    virtual void progress(int32_t /*position*/) {}
    // The board refused a frame; it is sent again (attempt counts from 0).
    virtual void resend(int /*attempt*/) {}
    // The board answered a frame (taken or refused) this long after the frame had crossed the
    // line: the board's flash work and the adapter's delay.
    virtual void replyTimed(int32_t /*microseconds*/) {}
    // An answer that needs no flash work (the identification to the search byte, the answer to
    // the program-mode byte) came this long after its byte had crossed the line: the adapter's
    // delay alone.
    virtual void adapterTimed(int32_t /*microseconds*/) {}
    virtual void fixFrame() {}
    virtual void eepromStarted(int32_t /*length*/) {}
    virtual void eepromByte(int32_t /*index*/) {}
    virtual void writeEnded() {}

    // The end, whatever it was. The last event of every run.
    virtual void finished(const Result& /*result*/) {}
};

} // namespace engine

// A link-time replacement of the serial port driver for fast tests: a scripted board instead of a
// device, and a virtual clock instead of sleeping. Link it instead of trevane_serial.
//
// Everything written is recorded per port and handed to the installed write handler, which may
// queue reply bytes (at once, or readable only after some 5 ms steps of pauseWithEvents). Each
// step of pauseWithEvents advances the clock by 5 ms, then runs the event pump installed with
// serial::setEventPump and the test's step hook, so a test can "click Stop" at a given step.
#pragma once

#include "serial/port_driver.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace fakeport {

using WriteHandler = std::function<void(int32_t port, std::span<const uint8_t> bytes)>;
using StepHook = std::function<void(int64_t step)>;

struct OpenArguments {
    uint32_t baud = 0;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
    uint8_t byteSize = 0;
};

// Closes every port, forgets scripts, records and hooks, and sets the clock back to 0.
void reset();

void setWriteHandler(WriteHandler handler);
void setStepHook(StepHook hook);

// Input that becomes readable on `port` after `afterSteps` more steps of pauseWithEvents.
void queueInput(int32_t port, std::span<const uint8_t> bytes, int32_t afterSteps = 0);
void queueInput(int32_t port, std::initializer_list<uint8_t> bytes, int32_t afterSteps = 0);
// At most this many bytes per readPort (0: all that is readable), to split replies.
void setReadChunk(int32_t maxBytes);
// Opens of this port fail from now on (or work again with fail false).
void failOpen(int32_t port, bool fail = true);
// The adapter goes away: the record closes, as the real driver does on a hang-up.
void unplug(int32_t port);

bool isOpen(int32_t port);
int openCount(int32_t port);
OpenArguments lastOpen(int32_t port);
int drainCount(int32_t port);
int32_t drainedBytes(int32_t port);
int32_t pendingBytes(int32_t port); // queued and not read yet, readable or not
const std::vector<std::vector<uint8_t>>& writes(int32_t port);
std::vector<uint8_t> writtenBytes(int32_t port); // all writes joined
// Every driver call in order, e.g. "open 3", "close 2", "drop 3", "drain 3", "write 3".
const std::vector<std::string>& callLog();

int64_t steps();                               // 5 ms steps made by pauseWithEvents
int64_t clockMs();                             // virtual time
int64_t writeStep(int32_t port, size_t index); // the step count when that write was made

// True while a call into this fake (or a handler it runs) is in progress: allocation counters
// use it to leave the test's own machinery out.
bool insideDriver();

} // namespace fakeport

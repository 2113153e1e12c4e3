// The serial port driver: a table of COM ports by 0-based number (n is COM(n+1)), opened
// exclusively at one fixed line format, reads that never block, writes that return once sent,
// and the program's one wait, pauseWithEvents. One source per operating system implements it.
#pragma once

#include <cstdint>

namespace serial {

inline constexpr int32_t kLastPortNumber = 256;
inline constexpr int32_t kReceiveBufferSize = 3072;

// Win32 codes, kept on every platform so callers pass the same values.
inline constexpr uint8_t kNoParity = 0;
inline constexpr uint8_t kTwoStopBits = 2;

struct PortRecord {
    int32_t portNumber = 0;
    int32_t open = 0;
    intptr_t handle = -1; // a file descriptor or a Win32 HANDLE; meaningful only while open
};

// Program-wide: the receive buffer that drainPort and the reply receiver read into, and the
// baud rate that every open uses.
extern uint8_t receiveBuffer[kReceiveBufferSize];
extern uint32_t baudRateSetting;

PortRecord* openPort(int32_t n, uint32_t baud, uint8_t parity, uint8_t stopBits, uint8_t byteSize);
void closePort(int32_t n);
int16_t portStatus(int16_t n);        // 0 usable, -2 not open
void dropModemLines(int32_t n);
bool writePort(int32_t n, const uint8_t* bytes, int32_t count);
// Reads what is queued on port n into the receive buffer without waiting. Returns the count,
// or -1 when the port is not open or the read failed. A port whose device went away (adapter
// unplugged, other side hung up) is closed here and reads as -1 from then on.
int32_t readPort(int32_t n);
// Empties the input queue of port n, however much is waiting.
void drainPort(int32_t n);
// Waits ms milliseconds in 5 ms steps, processing pending window events after each step.
// A step ends early when new input arrives on an open port, so a reply is seen as soon as it
// arrives; the number of steps is the same either way.
void pauseWithEvents(int32_t ms);

// Installed by the shell: processes pending window events (called after every 5 ms step).
using EventPump = void (*)();
void setEventPump(EventPump pump);

// Installed by the shell: shows a modal message box with an OK button and no icon.
using MessageHook = void (*)(const char* text, const char* caption);
void setMessageHook(MessageHook hook);

// Tests: closes every port and forgets the hooks.
void resetPortTable();

} // namespace serial

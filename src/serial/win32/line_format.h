// The line settings every open of a Win32 port applies, apart so that tests can see exactly
// what is asked of the driver (some drivers, wine's among them, read back DTR and RTS
// control as enabled whatever was set).
#pragma once

#include <windows.h>

#include <cstdint>

namespace serial::win32 {

// Binary mode, no parity checking, no flow control of any kind, DTR and RTS held low, and the
// given line format. Every other field keeps what the port reported.
void setLineFormat(DCB& dcb, uint32_t baud, uint8_t parity, uint8_t stopBits, uint8_t byteSize);

// Reads return at once with whatever is queued; a write of k bytes may take 10 k + 1000 ms.
COMMTIMEOUTS portTimeouts();

} // namespace serial::win32

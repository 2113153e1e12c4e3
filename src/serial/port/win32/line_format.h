// The line settings every open of a Win32 port applies, apart so that tests can see exactly
// what is asked of the driver (some drivers, wine's among them, read back DTR and RTS
// control as enabled whatever was set).
#pragma once

#include "serial/serial_port.h"

#include <windows.h>

namespace serial::win32 {

// Binary mode, no parity checking, no flow control of any kind, DTR and RTS held low, 115200
// baud, 8 data bits, no parity, two stop bits. Every other field keeps what the port reported.
void setLineFormat(DCB& dcb);

// Reads return at once with whatever is queued; a write of k bytes may take 10 k + 1000 ms.
COMMTIMEOUTS portTimeouts();

// The handle of a port that makeSystemPort made, for tests that ask the driver what it was
// told; INVALID_HANDLE_VALUE when the port is closed.
HANDLE portHandle(const SerialPort& port);

} // namespace serial::win32

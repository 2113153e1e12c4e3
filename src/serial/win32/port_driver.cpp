// The port driver on Win32 communications ports. Ports are opened for synchronous I/O; the
// time-outs make every ReadFile return at once with what is queued, and writes are followed by
// FlushFileBuffers, so writePort returns once the bytes have been sent.

#include "serial/port_driver.h"
#include "serial/port_table.h"
#include "serial/win32/line_format.h"

#include <windows.h>

#include <cstdio>

namespace serial {

using namespace detail;

namespace {

constexpr DWORD kInputQueue = 32768;
constexpr DWORD kOutputQueue = 9216;

HANDLE handleOf(const PortRecord& record) {
    return reinterpret_cast<HANDLE>(record.handle);
}

// The errors a port gives once its device is gone (a USB adapter unplugged): from then on it
// reads as closed, so the protocol sees a dead port rather than a board that stays silent.
bool deviceGone(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE ||
           error == ERROR_GEN_FAILURE || error == ERROR_DEVICE_NOT_CONNECTED;
}

DWORD queuedInput(HANDLE handle) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status)) return 0;
    return status.cbInQue;
}

} // namespace

void detail::releaseRecord(PortRecord& record) {
    if (record.open == 0) return;
    const HANDLE handle = handleOf(record);
    record.open = 0;
    record.handle = -1;
    CloseHandle(handle);
}

namespace win32 {

void setLineFormat(DCB& dcb, uint32_t baud, uint8_t parity, uint8_t stopBits, uint8_t byteSize) {
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
}

COMMTIMEOUTS portTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 10;
    timeouts.WriteTotalTimeoutConstant = 1000;
    return timeouts;
}

} // namespace win32

PortRecord* openPort(int32_t n, uint32_t baud, uint8_t parity, uint8_t stopBits, uint8_t byteSize) {
    if (!validNumber(n)) return nullptr;
    PortRecord& record = portTable[n];
    record.portNumber = n;
    releaseRecord(record);

    // The device namespace path works for COM10 and above as well as for COM1 to COM9.
    char path[16];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", static_cast<int>(n + 1));
    const HANDLE handle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    FlushFileBuffers(handle);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        CloseHandle(handle);
        return nullptr;
    }
    win32::setLineFormat(dcb, baud, parity, stopBits, byteSize);
    if (!SetCommState(handle, &dcb)) {
        showError("Unable to configure the serial port");
        CloseHandle(handle);
        return nullptr;
    }

    if (!SetupComm(handle, kInputQueue, kOutputQueue)) {
        CloseHandle(handle);
        return nullptr;
    }

    COMMTIMEOUTS timeouts = win32::portTimeouts();
    if (!SetCommTimeouts(handle, &timeouts)) {
        showError("Unable to set the time-out parameters");
        CloseHandle(handle);
        return nullptr;
    }

    record.handle = reinterpret_cast<intptr_t>(handle);
    record.portNumber = n;
    record.open = 1;
    return &record;
}

int16_t portStatus(int16_t n) {
    PortRecord* record = openRecord(n);
    if (record == nullptr) return -2;
    if (!FlushFileBuffers(handleOf(*record)) && deviceGone(GetLastError())) {
        releaseRecord(*record);
        return -2;
    }
    return 0;
}

void dropModemLines(int32_t n) {
    PortRecord* record = openRecord(n);
    if (record == nullptr) return;
    // Some drivers (and wine) refuse these; the lines are of no interest to us if so.
    EscapeCommFunction(handleOf(*record), CLRDTR);
    EscapeCommFunction(handleOf(*record), CLRRTS);
}

bool writePort(int32_t n, const uint8_t* bytes, int32_t count) {
    PortRecord* record = openRecord(n);
    if (record == nullptr || count < 0 || (bytes == nullptr && count > 0)) return false;
    const HANDLE handle = handleOf(*record);
    DWORD written = 0;
    if (!WriteFile(handle, bytes, static_cast<DWORD>(count), &written, nullptr)) {
        if (deviceGone(GetLastError())) releaseRecord(*record);
        return false;
    }
    FlushFileBuffers(handle);
    return written == static_cast<DWORD>(count);
}

int32_t readPort(int32_t n) {
    PortRecord* record = openRecord(n);
    if (record == nullptr) return -1;
    DWORD got = 0;
    if (!ReadFile(handleOf(*record), receiveBuffer, sizeof receiveBuffer, &got, nullptr)) {
        if (deviceGone(GetLastError())) releaseRecord(*record);
        return -1;
    }
    return static_cast<int32_t>(got);
}

void drainPort(int32_t n) {
    // Bounded, so that a line streaming without end cannot hold the window thread here.
    for (int reads = 0; reads < 4096; ++reads) {
        if (readPort(n) <= 0) return;
    }
}

void pauseWithEvents(int32_t ms) {
    static bool watched[kPortCount];
    while (ms > 0) {
        // A step is five 1 ms sleeps (the program asks for a 1 ms timer period); it ends early
        // once input arrives on a port that had none when it began. Ports whose input is
        // already waiting are not watched: that input waits for its reader.
        bool any = false;
        for (int32_t n = 0; n < kPortCount; ++n) {
            watched[n] = portTable[n].open != 0 && queuedInput(handleOf(portTable[n])) == 0;
            any = any || watched[n];
        }
        for (int slice = 0; slice < kStepMs; ++slice) {
            Sleep(1);
            bool arrived = false;
            for (int32_t n = 0; any && n < kPortCount && !arrived; ++n) {
                arrived =
                    watched[n] && portTable[n].open != 0 && queuedInput(handleOf(portTable[n])) > 0;
            }
            if (arrived) break;
        }
        if (eventPump != nullptr) eventPump();
        ms -= kStepMs;
    }
}

} // namespace serial

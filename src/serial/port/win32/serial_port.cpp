// The serial port on Win32 communications ports, opened for synchronous I/O. Writes wait for
// the driver's output queue to empty and then FlushFileBuffers, so that write returns once the
// bytes have been sent; all of it within the write time-out (10 ms a byte plus one second). A
// plain FlushFileBuffers on a full queue behind an adapter that stopped taking data would never
// return: such a port counts as gone instead.
//
// Waiting for input is a read: with ReadIntervalTimeout and ReadTotalTimeoutMultiplier at
// MAXDWORD and ReadTotalTimeoutConstant at the wait's length, ReadFile returns at once with
// what is queued, or with the first bytes that arrive, or with nothing when the time is up. The
// bytes it brings are kept for the next read. Under wine 8 this ends a wait soon after the
// bytes arrive, where an overlapped WaitCommEvent woke later than sleeping in 1 ms steps did. Reads
// ask for no more than ClearCommError says is queued, so that they return at once whatever read
// time-outs the last wait left set.

#include "serial/serial_port.h"
#include "serial/listing/adapter_facts.h"
#include "serial/port/win32/line_format.h"
#include "serial/port_name.h"

#include "serial/port/win32/system_text.h"

#include <windows.h>

#include <chrono>
#include <string>

namespace serial {

namespace win32 {

// A designated initializer leaves every field it does not name zero, which is the point here;
// GCC 12 warns about such fields all the same.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
void setLineFormat(DCB& dcb) {
    // Every flag not named is off: no parity check, no flow control by the modem lines or by
    // XON/XOFF, no replacing or dropping of bytes, no stop on an error. The driver's limits and
    // characters stay as it reported them (SetCommState refuses equal XON and XOFF characters).
    dcb = DCB{.DCBlength = sizeof(DCB),
              .BaudRate = kBaudRate,
              .fBinary = TRUE,
              .fDtrControl = DTR_CONTROL_DISABLE,
              .fRtsControl = RTS_CONTROL_DISABLE,
              .XonLim = dcb.XonLim,
              .XoffLim = dcb.XoffLim,
              .ByteSize = 8,
              .Parity = NOPARITY,
              .StopBits = TWOSTOPBITS,
              .XonChar = dcb.XonChar,
              .XoffChar = dcb.XoffChar,
              .ErrorChar = dcb.ErrorChar,
              .EofChar = dcb.EofChar,
              .EvtChar = dcb.EvtChar};
}
#pragma GCC diagnostic pop

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

namespace {

using Kind = PortError::Kind;
using win32::systemText;
using Clock = std::chrono::steady_clock;

constexpr DWORD kInputQueue = 32768;
constexpr DWORD kOutputQueue = 9216;

// The errors a port gives once its device is gone (a USB adapter unplugged): from then on it
// reads as closed, so the protocol sees a dead port rather than a board that stays silent, and a
// station opens the port anew.
//
// ERROR_NOT_READY is how wine 8 reports a line that hung up (its pseudo-terminal's other side
// closed): ClearCommError, WriteFile, FlushFileBuffers and GetCommState fail with it, while
// ReadFile goes on succeeding with no bytes at the end of its time-out and SetCommTimeouts
// still succeeds. Reads alone would take such a port for a silent board for ever. A port whose
// line is up gives no error at all, whether or not a board answers.
bool deviceGone(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE ||
           error == ERROR_GEN_FAILURE || error == ERROR_DEVICE_NOT_CONNECTED ||
           error == ERROR_NOT_READY;
}

PortError failure(Kind kind, DWORD error) {
    return {kind, systemText(error)};
}

int64_t msUntil(Clock::time_point deadline) {
    return std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

void sleepUntil(Clock::time_point deadline) {
    for (int64_t left = msUntil(deadline); left > 0; left = msUntil(deadline))
        Sleep(static_cast<DWORD>(left));
}

// Waits until the driver's output queue is empty, then for the transmitter (FlushFileBuffers),
// but not past the deadline. False when it passed or the device went away.
bool drainBefore(HANDLE handle, Clock::time_point deadline) {
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle, &errors, &status)) {
            if (deviceGone(GetLastError())) return false;
            break; // a driver that cannot tell: its flush is all there is
        }
        if (status.cbOutQue == 0) break;
        const int64_t left = msUntil(deadline);
        if (left <= 0) return false;
        // About the time the queued bytes need on the line, at least a millisecond.
        const int64_t wireMs = static_cast<int64_t>(status.cbOutQue) * 11 * 1000 / kBaudRate + 1;
        Sleep(static_cast<DWORD>(left < wireMs ? left : wireMs));
    }
    return FlushFileBuffers(handle) || !deviceGone(GetLastError());
}

class Win32SerialPort final : public SerialPort {
public:
    ~Win32SerialPort() override { close(); }

    PortError open(std::string_view name) override {
        close();
        if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4); // \\.\COM<n>
        const int number = comNumber(name);
        if (number < 0) return {Kind::InvalidName, {}};

        // The device namespace path works for COM10 and above as well as for COM1 to COM9.
        const std::string path = "\\\\.\\" + comName(number);
        const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            switch (error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return failure(Kind::NotFound, error);
            case ERROR_ACCESS_DENIED: // a COM port held by another program
            case ERROR_SHARING_VIOLATION:
                return failure(Kind::Busy, error);
            default:
                return failure(Kind::Failed, error);
            }
        }
        // Whatever an earlier user left queued goes out first, but not for ever.
        if (!drainBefore(handle, Clock::now() + std::chrono::seconds(1))) {
            CloseHandle(handle);
            return {Kind::NotFound, comName(number) + ": the adapter takes no data"};
        }

        const auto giveUp = [handle](Kind kind) {
            const DWORD error = GetLastError();
            CloseHandle(handle);
            return failure(kind, error);
        };
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle, &dcb)) return giveUp(Kind::Failed);
        win32::setLineFormat(dcb);
        if (!SetCommState(handle, &dcb)) return giveUp(Kind::Configure);
        if (!SetupComm(handle, kInputQueue, kOutputQueue)) return giveUp(Kind::Failed);
        COMMTIMEOUTS timeouts = win32::portTimeouts();
        if (!SetCommTimeouts(handle, &timeouts)) return giveUp(Kind::Timeouts);

        // Some drivers (and wine) refuse these; the lines are of no interest to us if so.
        EscapeCommFunction(handle, CLRDTR);
        EscapeCommFunction(handle, CLRRTS);

        handle_ = handle;
        name_ = comName(number);
        readWaitMs_ = 0;
        heldByWait_ = false;
        return {};
    }

    void close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        heldByWait_ = false;
    }

    bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE handle() const { return handle_; }

    bool usable() override {
        if (handle_ == INVALID_HANDLE_VALUE) return false;
        if (!drainBefore(handle_, Clock::now() + std::chrono::seconds(1))) close();
        return isOpen();
    }

    int32_t read(uint8_t* buffer, int32_t size) override {
        if (handle_ == INVALID_HANDLE_VALUE) return -1;
        if (buffer == nullptr || size <= 0) return 0;
        // The byte the last wait brought in first, then what is queued.
        DWORD taken = 0;
        if (heldByWait_) {
            buffer[taken++] = heldByte_;
            heldByWait_ = false;
        }
        const DWORD room = static_cast<DWORD>(size) - taken;
        if (room == 0) return static_cast<int32_t>(taken);
        DWORD queued = 0;
        if (!queuedInput(queued)) return taken > 0 ? static_cast<int32_t>(taken) : -1;
        const DWORD wanted = queued < room ? queued : room;
        if (wanted == 0) return static_cast<int32_t>(taken);
        DWORD got = 0;
        if (!ReadFile(handle_, buffer + taken, wanted, &got, nullptr)) {
            closeIfGone();
            return taken > 0 ? static_cast<int32_t>(taken) : -1;
        }
        return static_cast<int32_t>(taken + got);
    }

    bool write(const uint8_t* bytes, int32_t count) override {
        if (handle_ == INVALID_HANDLE_VALUE || count < 0 || (bytes == nullptr && count > 0))
            return false;
        const Clock::time_point deadline =
            Clock::now() + std::chrono::milliseconds(10 * static_cast<int64_t>(count) + 1000);
        DWORD written = 0;
        if (!WriteFile(handle_, bytes, static_cast<DWORD>(count), &written, nullptr)) {
            const DWORD error = GetLastError();
            if (deviceGone(error) || error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT) close();
            return false;
        }
        // Short of the whole: the write time-out passed with the adapter taking nothing.
        if (written != static_cast<DWORD>(count) || !drainBefore(handle_, deadline)) {
            close();
            return false;
        }
        return true;
    }

    void discardInput() override {
        heldByWait_ = false;
        SerialPort::discardInput();
    }

    bool waitReadable(int ms) override {
        if (heldByWait_) return true;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
        if (handle_ != INVALID_HANDLE_VALUE && ms <= 0) {
            DWORD queued = 0;
            return queuedInput(queued) && queued > 0;
        }
        while (handle_ != INVALID_HANDLE_VALUE) {
            const int64_t left = msUntil(deadline);
            if (left <= 0) return false;
            if (!setReadWait(static_cast<DWORD>(left))) {
                // A driver that refuses these time-outs: look at the queue every millisecond.
                DWORD queued = 0;
                if (handle_ == INVALID_HANDLE_VALUE || !queuedInput(queued)) break;
                if (queued > 0) return true;
                Sleep(1);
                continue;
            }
            // One byte: wine ends a wait for more only when its time is up. The rest of what
            // came is the next read's.
            DWORD got = 0;
            if (!ReadFile(handle_, &heldByte_, 1, &got, nullptr)) {
                closeIfGone();
                break;
            }
            if (got > 0) {
                heldByWait_ = true;
                return true;
            }
        }
        // No port, or its device has gone: the wait keeps its time all the same.
        sleepUntil(deadline);
        return false;
    }

    // The timer is the FTDI driver's setting; unlike Linux, there is no request a user may make.
    std::optional<AdapterLatency> adapterLatency() const override {
        if (handle_ == INVALID_HANDLE_VALUE) return std::nullopt;
        return adapterLatencyOf(name_);
    }

private:
    // After a call that failed: the port reads as closed from now on when its device has gone.
    void closeIfGone() {
        if (deviceGone(GetLastError())) close();
    }

    // The bytes queued for reading; false, with the port closed when its device has gone, when
    // the driver cannot tell.
    bool queuedInput(DWORD& queued) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle_, &errors, &status)) {
            closeIfGone();
            return false;
        }
        queued = status.cbInQue;
        return true;
    }

    // Read time-outs for a wait of ms milliseconds; set only when the length changes, since
    // most waits are as long as the one before.
    bool setReadWait(DWORD ms) {
        if (ms == readWaitMs_) return true;
        COMMTIMEOUTS timeouts = win32::portTimeouts();
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = ms;
        if (!SetCommTimeouts(handle_, &timeouts)) {
            closeIfGone();
            return false;
        }
        readWaitMs_ = ms;
        return true;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::string name_;     // "COM5"
    DWORD readWaitMs_ = 0; // 0 while the read time-outs are those of the open
    uint8_t heldByte_ = 0; // read by a wait, for the next read
    bool heldByWait_ = false;
};

} // namespace

std::unique_ptr<SerialPort> makeSystemPort(const PortLinks&) { // COM names are the system's own
    return std::make_unique<Win32SerialPort>();
}

HANDLE win32::portHandle(const SerialPort& port) {
    const auto* ours = dynamic_cast<const Win32SerialPort*>(&port);
    return ours != nullptr ? ours->handle() : INVALID_HANDLE_VALUE;
}

} // namespace serial

// The serial port on Win32 communications ports. The port is opened for overlapped I/O so that
// a wait for input can end the moment a byte arrives: a WaitCommEvent on EV_RXCHAR stays
// pending across waits, and each wait blocks on its event for the time it has left. Reads and
// writes are overlapped too but complete before they return: the time-outs make every read
// return at once with what is queued, and writes are followed by FlushFileBuffers, so that
// write returns once the bytes have been sent.

#include "serial/serial_port.h"
#include "serial/win32/line_format.h"

#include <windows.h>

#include <chrono>
#include <string>

namespace serial {

namespace win32 {

void setLineFormat(DCB& dcb) {
    dcb.BaudRate = kBaudRate;
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
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
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

namespace {

using Kind = PortError::Kind;
using Clock = std::chrono::steady_clock;

constexpr DWORD kInputQueue = 32768;
constexpr DWORD kOutputQueue = 9216;

// The errors a port gives once its device is gone (a USB adapter unplugged): from then on it
// reads as closed, so the protocol sees a dead port rather than a board that stays silent.
bool deviceGone(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE ||
           error == ERROR_GEN_FAILURE || error == ERROR_DEVICE_NOT_CONNECTED;
}

std::string systemText(DWORD error) {
    char text[512] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

PortError failure(Kind kind, DWORD error) {
    return {kind, systemText(error)};
}

// The number of "COM<n>" or "\\.\COM<n>" (any letter case), n from 1 to 257 without leading
// zeros; -1 for anything else.
int comNumber(std::string_view name) {
    if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
    if (name.size() < 4 || name.size() > 6) return -1;
    if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm') return -1;
    if (name[3] == '0') return -1;
    int number = 0;
    for (const char c : name.substr(3)) {
        if (c < '0' || c > '9') return -1;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && number <= 257 ? number : -1;
}

int64_t msUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count();
}

void sleepUntil(Clock::time_point deadline) {
    for (int64_t left = msUntil(deadline); left > 0; left = msUntil(deadline))
        Sleep(static_cast<DWORD>(left));
}

class Win32SerialPort final : public SerialPort {
public:
    Win32SerialPort()
        : waitEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          ioEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

    ~Win32SerialPort() override {
        close();
        if (waitEvent_ != nullptr) CloseHandle(waitEvent_);
        if (ioEvent_ != nullptr) CloseHandle(ioEvent_);
    }

    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    PortError open(std::string_view name) override {
        close();
        const int number = comNumber(name);
        if (number < 0) return {Kind::InvalidName, {}};
        if (waitEvent_ == nullptr || ioEvent_ == nullptr) return failure(Kind::Failed, ERROR_OUTOFMEMORY);

        // The device namespace path works for COM10 and above as well as for COM1 to COM9.
        const std::string path = "\\\\.\\COM" + std::to_string(number);
        const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
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
        FlushFileBuffers(handle);

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

        // A driver without comm events still works: waits then look at the queue every
        // millisecond.
        eventsWork_ = SetCommMask(handle, EV_RXCHAR) != FALSE;
        waitPending_ = false;
        handle_ = handle;
        return {};
    }

    void close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        if (waitPending_) {
            // A new mask ends a pending wait; the cancel is for drivers that ignore that. The
            // wait's OVERLAPPED is ours until it has completed.
            SetCommMask(handle, 0);
            CancelIoEx(handle, &waitOverlapped_);
            WaitForSingleObject(waitEvent_, 1000);
            waitPending_ = false;
        }
        CloseHandle(handle);
    }

    bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    bool usable() override {
        if (handle_ == INVALID_HANDLE_VALUE) return false;
        if (!FlushFileBuffers(handle_) && deviceGone(GetLastError())) {
            close();
            return false;
        }
        return true;
    }

    int32_t read(uint8_t* buffer, int32_t size) override {
        if (handle_ == INVALID_HANDLE_VALUE) return -1;
        if (buffer == nullptr || size <= 0) return 0;
        DWORD got = 0;
        if (!finish(ReadFile(handle_, buffer, static_cast<DWORD>(size), nullptr, &ioOverlapped()),
                    got)) {
            if (deviceGone(GetLastError())) close();
            return -1;
        }
        return static_cast<int32_t>(got);
    }

    bool write(const uint8_t* bytes, int32_t count) override {
        if (handle_ == INVALID_HANDLE_VALUE || count < 0 || (bytes == nullptr && count > 0))
            return false;
        DWORD written = 0;
        if (!finish(WriteFile(handle_, bytes, static_cast<DWORD>(count), nullptr, &ioOverlapped()),
                    written)) {
            if (deviceGone(GetLastError())) close();
            return false;
        }
        FlushFileBuffers(handle_);
        return written == static_cast<DWORD>(count);
    }

    void discardInput() override {
        // Bounded, so that a line streaming without end cannot hold the caller here.
        uint8_t buffer[4096];
        for (int reads = 0; reads < 4096; ++reads) {
            if (read(buffer, sizeof buffer) <= 0) return;
        }
    }

    bool waitReadable(int ms) override {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
        int endedAtOnce = 0;
        while (handle_ != INVALID_HANDLE_VALUE) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!ClearCommError(handle_, &errors, &status)) {
                if (deviceGone(GetLastError())) close();
                break;
            }
            if (status.cbInQue > 0) return true;
            const int64_t left = msUntil(deadline);
            if (left <= 0) return false;
            // Without comm events, or with a driver whose waits keep ending at once without
            // input, the queue is looked at every millisecond instead. (One wait that ends at
            // once is usual: Windows records the event of input that has since been read.)
            if (!eventsWork_ || endedAtOnce > 1) {
                Sleep(1);
                endedAtOnce = 0;
                continue;
            }
            if (!waitPending_ && !startWait()) {
                ++endedAtOnce;
                continue;
            }
            // Input that arrives ends the wait; the pending wait outlives a wait that times out,
            // and the next one takes it over.
            if (WaitForSingleObject(waitEvent_, static_cast<DWORD>(left)) == WAIT_OBJECT_0) {
                waitPending_ = false;
                DWORD unused = 0;
                if (!GetOverlappedResult(handle_, &waitOverlapped_, &unused, FALSE) &&
                    deviceGone(GetLastError()))
                    close();
            }
        }
        // No port, or its device has gone: the wait keeps its time all the same.
        sleepUntil(deadline);
        return false;
    }

private:
    OVERLAPPED& ioOverlapped() {
        ioOverlapped_ = OVERLAPPED{};
        ioOverlapped_.hEvent = ioEvent_;
        return ioOverlapped_;
    }

    // Completes a read or write started with ioOverlapped(): with the port's time-outs it ends
    // by itself, at once for a read and within the write time-out for a write.
    bool finish(BOOL started, DWORD& transferred) {
        if (!started && GetLastError() != ERROR_IO_PENDING) return false;
        return GetOverlappedResult(handle_, &ioOverlapped_, &transferred, TRUE) != FALSE;
    }

    // Starts the wait for EV_RXCHAR. False when it completed at once (an event recorded before
    // it, or one that cannot be waited for), after which the queue is to be looked at again.
    bool startWait() {
        waitOverlapped_ = OVERLAPPED{};
        waitOverlapped_.hEvent = waitEvent_;
        ResetEvent(waitEvent_);
        if (WaitCommEvent(handle_, &events_, &waitOverlapped_)) return false;
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            waitPending_ = true;
            return true;
        }
        if (deviceGone(error))
            close();
        else
            eventsWork_ = false;
        return false;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE waitEvent_;
    HANDLE ioEvent_;
    OVERLAPPED waitOverlapped_{};
    OVERLAPPED ioOverlapped_{};
    DWORD events_ = 0;
    bool waitPending_ = false;
    bool eventsWork_ = false;
};

} // namespace

std::unique_ptr<SerialPort> makeSystemPort() {
    return std::make_unique<Win32SerialPort>();
}

} // namespace serial

#include "cli/console.h"

#include <windows.h>

#include <mmsystem.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace cli {
namespace {

std::mutex handlerMutex;
std::condition_variable handlerRemoved;
std::function<void()> interruptHandler;
bool finerTimer = false;

// Windows ends the process as soon as the handler of a closing console returns, and at the
// latest after about 5 seconds: the run gets what is left of them to stop its boards.
constexpr auto kCloseGrace = std::chrono::milliseconds(4500);

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: {
        std::unique_lock lock(handlerMutex);
        if (!interruptHandler) return FALSE;
        interruptHandler();
        if (event == CTRL_CLOSE_EVENT)
            handlerRemoved.wait_for(lock, kCloseGrace, [] { return !interruptHandler; });
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace

ConsoleSetup::ConsoleSetup() {
    // Every wait of an update is made of 5 ms steps; with the default 15.6 ms timer period
    // each of them would last a whole tick.
    finerTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
}

ConsoleSetup::~ConsoleSetup() {
    if (finerTimer) timeEndPeriod(1);
}

bool outputIsTerminal() {
    // A console that understands the escape sequences that redraw a line; a pipe, a file or an
    // older console gets plain lines.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
    return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

ShellRules shellRules() {
    return ShellRules::Windows;
}

std::string hostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
}

void setInterruptHandler(std::function<void()> handler) {
    const bool install = static_cast<bool>(handler);
    {
        std::lock_guard lock(handlerMutex);
        interruptHandler = std::move(handler);
    }
    handlerRemoved.notify_all();
    SetConsoleCtrlHandler(onConsoleEvent, install ? TRUE : FALSE);
}

} // namespace cli

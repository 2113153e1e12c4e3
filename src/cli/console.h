// What trevane-cli needs of the console it runs in. One source per operating system.
#pragma once

#include "cli/retry_line.h"

#include <functional>
#include <string>

namespace cli {

// For the run: a finer timer where waits of a few milliseconds need it, and escape sequences
// for redrawing progress lines where the console must be told.
class ConsoleSetup {
public:
    ConsoleSetup();
    ~ConsoleSetup();
    ConsoleSetup(const ConsoleSetup&) = delete;
    ConsoleSetup& operator=(const ConsoleSetup&) = delete;
};

// Standard output is a terminal whose lines can be redrawn in place.
bool outputIsTerminal();

// How this system's shell reads a command line, for the retry line.
ShellRules shellRules();

// This machine's name, for the records of a station.
std::string hostName();

// Runs `handler` (on a thread of its own) when the user interrupts the program: Ctrl+C, SIGTERM
// or SIGHUP; on Windows Ctrl+C, Ctrl+Break or closing the console. nullptr removes it; once that
// returns, the handler is not running and will not run. A closing console is held until the
// handler is removed (the run has stopped its boards and written their records), within the
// few seconds the system grants.
void setInterruptHandler(std::function<void()> handler);

} // namespace cli

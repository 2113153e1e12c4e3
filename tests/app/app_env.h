// Test environment of the window tests: board-sim's bootloader as the serial port, a port
// listing of the test's choosing, the settings store, instance lock and result notifier in
// memory, the fake toolkit, and the real start-up with a scripted user.
#pragma once

#include "app/application.h"
#include "fake_ui.h"
#include "simulated_port.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace apptest {

// What the program finds on the machine: a simulated board answering on one port, the ports
// the Port setup dialog lists, the stored settings, another copy holding the instance lock or
// not, and a launching program that receives the result codes.
struct Machine {
    explicit Machine(boardsim::Config board = {}, std::string portName = "COM1")
        : port(std::move(board), std::move(portName)) {}
    boardsim::SimulatedPort port;
    std::vector<serial::PortDescription> ports;

    std::map<std::string, std::string> settings; // text values by name
    bool settingIsNoText = false;                // "com" holds a value of another type
    bool settingsWriteFails = false;
    bool anotherCopyRuns = false;
    bool notifierPortTaken = false;
    int notifiersStarted = 0;
    std::vector<int> resultCodes; // the datagrams' codes, in order
};

// board-sim's bootloader with this chip and BIOS code, and its other settings as board-sim has
// them unless `change` changes them.
boardsim::Config board(uint8_t chip, uint8_t bios = 10,
                       const std::function<void(boardsim::Config&)>& change = {});
// A board that never answers a search.
boardsim::Config silentBoard();

// Runs the program's start-up with the fake toolkit; `user` is called once the main window is
// up and may act on the windows. The main window is then closed unless the script closed it.
void runProgram(fake::Toolkit& toolkit, Machine& machine,
                const std::function<void(fake::Toolkit&, app::Application&)>& user,
                std::vector<const char*> args = {});

} // namespace apptest

// Test environment of the window tests: settings in a temporary folder of their own,
// board-sim's bootloader as the serial port, a port listing of the test's choosing, the fake
// toolkit, and the real start-up with a scripted user.
#pragma once

#include "app/application.h"
#include "fake_ui.h"
#include "simulated_port.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace apptest {

class TempSettings {
public:
    TempSettings();
    ~TempSettings();
    // Writes the per-user settings file with these lines (after the section header).
    void store(const std::string& valueLine);
    std::string userFileContent() const;
    std::filesystem::path userFile() const;

private:
    std::filesystem::path root_;
    std::string oldHome_, oldDirs_;
};

// What the program finds on the machine: a simulated board answering on one port, and the
// ports the Port setup dialog lists.
struct Machine {
    explicit Machine(boardsim::Config board = {}, std::string portName = "COM1")
        : port(std::move(board), std::move(portName)) {}
    boardsim::SimulatedPort port;
    std::vector<serial::PortDescription> ports;
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

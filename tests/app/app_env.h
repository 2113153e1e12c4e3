// Test environment of the window tests: settings in a temporary folder of their own, a fake
// serial port and a fake toolkit, and a way to run the real start-up with a scripted user.
#pragma once

#include "fake_port.h"
#include "fake_ui.h"

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

// Runs the program's start-up with the fake toolkit; `user` is called with the toolkit once the
// main window is up and may act on the windows. The main window is then closed unless the script
// closed it.
void runProgram(fake::Toolkit& toolkit, const std::function<void(fake::Toolkit&)>& user,
                std::vector<const char*> args = {});

} // namespace apptest

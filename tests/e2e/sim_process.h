// board-sim as a child process for the in-process whole-program tests, with the settings and
// port-link folders of one test.
#pragma once

#include "serial/listing/port_map.h"

#include <string>
#include <vector>

namespace e2e {

class Sandbox {
public:
    Sandbox(); // sets XDG_CONFIG_HOME and XDG_CONFIG_DIRS to folders of its own
    ~Sandbox();
    void storePort(int number);
    void linkPort(const std::string& comName, const std::string& target);
    std::string root() const { return root_; }
    // Where its simulators link their ports.
    serial::PortLinks portLinks() const { return {root_ + "/ports"}; }

private:
    std::string root_;
};

class BoardSim {
public:
    BoardSim(const Sandbox& sandbox, std::vector<std::string> args, std::string port = "COM200");
    ~BoardSim();
    void stop();                     // SIGTERM; the dump is written
    std::vector<std::string> dump(); // stops first

private:
    int pid_ = -1;
    std::string dumpPath_;
};

} // namespace e2e

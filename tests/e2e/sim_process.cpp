#include "sim_process.h"
#include "temp_folder.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#ifndef BOARD_SIM_PATH
#error "BOARD_SIM_PATH must name the board-sim executable"
#endif

namespace e2e {

namespace fs = std::filesystem;

Sandbox::Sandbox() {
    char pattern[] = "/tmp/trevane-qt-e2e.XXXXXX";
    root_ = ::mkdtemp(pattern);
    fs::create_directories(root_ + "/ports");
    fs::create_directories(root_ + "/config/trevane");
    ::setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (root_ + "/etc").c_str(), 1);
}

Sandbox::~Sandbox() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void Sandbox::storePort(int number) {
    std::ofstream(root_ + "/config/trevane/trevane.reg")
        << "[Software\\Dravik\\Trevane]\n\"com\"=\"" << number << "\"\n";
}

void Sandbox::linkPort(const std::string& comName, const std::string& target) {
    fs::create_symlink(target, root_ + "/ports/" + comName);
}

BoardSim::BoardSim(const Sandbox& sandbox, std::vector<std::string> args, std::string port) {
    dumpPath_ = sandbox.root() + "/dump-" + port + ".txt";
    std::vector<std::string> argv{BOARD_SIM_PATH, "--port", port, "--dump", dumpPath_};
    argv.insert(argv.end(), args.begin(), args.end());
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    // The simulator's environment names the sandbox's link folder; made before the fork, which
    // leaves the child only calls that are safe there.
    testing_support::ChildEnvironment environment("TREVANE_PORTS", sandbox.portLinks().folder);
    std::vector<char*> raw;
    for (auto& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execve(raw[0], raw.data(), environment.get());
        ::_exit(127);
    }
    ::close(out[1]);
    // Wait for its "ready" line.
    std::string line;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(out[0]);
    if (line.rfind("ready", 0) != 0) throw std::runtime_error("board-sim did not start: " + line);
}

BoardSim::~BoardSim() {
    stop();
}

void BoardSim::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::vector<std::string> BoardSim::dump() {
    stop();
    std::vector<std::string> lines;
    std::ifstream in(dumpPath_);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

} // namespace e2e

#include "cli/console.h"

#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace cli {
namespace {

// A signal only writes a byte into a pipe; a thread of ours reads it and runs the handler,
// where locks and the rest of the program may be used.
int signalPipe[2] = {-1, -1};
// Never destroyed: a program that ends through exit() while the handler is installed (the
// display's connection broken under a window, say) must not be aborted by a joinable thread.
std::thread& watcher = *new std::thread;
std::mutex handlerMutex;
std::function<void()> interruptHandler;
struct sigaction previousInt {};
struct sigaction previousTerm {};
struct sigaction previousHup {};

constexpr char kInterrupt = 'i';
constexpr char kQuit = 'q';

void onSignal(int) {
    const char byte = kInterrupt;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written; // a full pipe already holds an interruption
}

void watch() {
    char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1 && byte != kQuit) {
        std::lock_guard lock(handlerMutex);
        if (interruptHandler) interruptHandler();
    }
}

} // namespace

// A write to a pipe whose reader has gone (`trevane-cli | head`) fails with EPIPE rather than
// killing the program in the middle of a board: the report sees it and ends the run as Ctrl+C
// does, with every board's record written.
ConsoleSetup::ConsoleSetup() {
    signal(SIGPIPE, SIG_IGN);
}
ConsoleSetup::~ConsoleSetup() = default;

bool outputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

ShellRules shellRules() {
    return ShellRules::Posix;
}

std::string hostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

void setInterruptHandler(std::function<void()> handler) {
    if (handler) {
        {
            std::lock_guard lock(handlerMutex);
            interruptHandler = std::move(handler);
        }
        if (watcher.joinable()) return;
        if (::pipe2(signalPipe, O_CLOEXEC) != 0) return;
        watcher = std::thread(watch);
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &previousInt);
        sigaction(SIGTERM, &action, &previousTerm);
        // The terminal closed, or the ssh session dropped: as SIGTERM.
        sigaction(SIGHUP, &action, &previousHup);
        return;
    }
    {
        std::lock_guard lock(handlerMutex);
        interruptHandler = nullptr;
    }
    if (!watcher.joinable()) return;
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    sigaction(SIGHUP, &previousHup, nullptr);
    const char quit = kQuit;
    if (::write(signalPipe[1], &quit, 1) == 1)
        watcher.join();
    else
        watcher.detach();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

} // namespace cli

// board-sim: an emulated bootloader on a pseudo-terminal. One process, one thread, one poll
// loop: bytes from the line go through the bootloader state machine one at a time, and its
// replies are queued with the time at which they are due (at once, or as the wire-rate model
// says), then written when that time comes.

#include "bootloader.h"
#include "options.h"
#include "pty_line.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::microseconds;

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

constexpr Micros kSplitGap{2000};

struct Pending {
    Clock::time_point due;
    std::vector<uint8_t> bytes;
};

class Simulator {
public:
    explicit Simulator(const boardsim::Options& options)
        : options_(options), bootloader_(options.bootloader) {
        if (options.baud > 0) byteTime_ = Micros(11'000'000 / options.baud);
        latency_ = std::chrono::milliseconds(options.latencyMs);
    }

    bool start(std::string& error) {
        if (!line_.open(error)) return false;
        linkPath_ = boardsim::registerLink(options_.links, options_.port, line_.slavePath(), error);
        if (linkPath_.empty()) return false;
        std::printf("ready %s %s\n", options_.port.c_str(), line_.slavePath().c_str());
        std::fflush(stdout);
        return true;
    }

    void run(const sigset_t& waitMask) {
        while (stopRequested == 0) {
            pollfd entry{line_.master(), POLLIN, 0};
            const nfds_t count = line_.master() >= 0 ? 1 : 0;
            timespec timeout{};
            timespec* timeoutPointer = nullptr;
            if (!pending_.empty()) {
                const auto left = std::max(Micros(0), std::chrono::duration_cast<Micros>(
                                                          pending_.front().due - Clock::now()));
                timeout.tv_sec = static_cast<time_t>(left.count() / 1'000'000);
                timeout.tv_nsec = static_cast<long>(left.count() % 1'000'000) * 1000;
                timeoutPointer = &timeout;
            }
            const int ready = ppoll(&entry, count, timeoutPointer, &waitMask);
            if (ready < 0 && errno != EINTR) break;
            if (ready > 0 && (entry.revents & POLLIN) != 0) receive();
            sendDue();
        }
    }

    void finish() {
        if (!linkPath_.empty()) boardsim::removeLink(linkPath_, line_.slavePath());
        line_.close();
        if (options_.dumpFile.empty()) return;
        // Written beside and renamed, so that a reader never sees half a dump.
        const std::string temporary = options_.dumpFile + ".part";
        {
            std::ofstream out(temporary, std::ios::trunc);
            out << bootloader_.dump();
        }
        std::rename(temporary.c_str(), options_.dumpFile.c_str());
    }

private:
    void receive() {
        uint8_t buffer[4096];
        const ssize_t count = read(line_.master(), buffer, sizeof buffer);
        if (count <= 0) return;
        const Clock::time_point now = Clock::now();
        for (ssize_t i = 0; i < count; ++i) {
            // Each byte is taken to end its trip over the modelled line one byte time after
            // the previous one, or after its own arrival, whichever is later.
            lineFree_ = std::max(lineFree_, now) + byteTime_;
            const boardsim::Outcome outcome = bootloader_.feed(buffer[i]);
            if (outcome.hangup) {
                hangUp();
                return;
            }
            if (outcome.reply.empty()) continue;
            Clock::time_point due = lineFree_;
            if (outcome.flashFrame) due += std::chrono::milliseconds(options_.writeMs);
            queueReply(due, outcome.reply);
            if (outcome.stall) {
                // The updater's side of the terminal stops sending, as behind an adapter that
                // takes no more data: its writes find no room.
                line_.stopUpdaterOutput();
                std::printf("stalled %s\n", options_.port.c_str());
                std::fflush(stdout);
                return;
            }
        }
    }

    void queueReply(Clock::time_point due, const std::vector<uint8_t>& reply) {
        // The reply's own bytes take their time on the line too; then an adapter's latency
        // timer may hold them back before the updater sees them.
        if (options_.split) {
            for (uint8_t byte : reply) {
                replyFree_ = std::max(replyFree_, due) + byteTime_;
                pending_.push_back({replyFree_ + latency_, {byte}});
                due = replyFree_ + kSplitGap;
            }
        } else {
            // On a line the first byte arrives one byte time after the reply begins, the rest
            // behind it: a long reply (an identification with its board data record) is not
            // held back until its last byte.
            const Clock::time_point start = std::max(replyFree_, due);
            pending_.push_back({start + byteTime_ + latency_, {reply.front()}});
            replyFree_ = start + byteTime_ * static_cast<int>(reply.size());
            if (reply.size() > 1)
                pending_.push_back({replyFree_ + latency_, {reply.begin() + 1, reply.end()}});
        }
    }

    void sendDue() {
        while (!pending_.empty() && pending_.front().due <= Clock::now()) {
            Pending& next = pending_.front();
            const ssize_t written = write(line_.master(), next.bytes.data(), next.bytes.size());
            if (written < 0 && errno == EAGAIN) return; // nobody reads: try again later
            if (written > 0 && static_cast<std::size_t>(written) < next.bytes.size()) {
                next.bytes.erase(next.bytes.begin(), next.bytes.begin() + written);
                return;
            }
            pending_.pop_front();
        }
    }

    void hangUp() {
        pending_.clear();
        boardsim::removeLink(linkPath_, line_.slavePath());
        line_.close();
        linkPath_.clear();
        bootloader_.lineReset();
        std::printf("hangup %s\n", options_.port.c_str());
        std::fflush(stdout);
        if (!options_.reopen) return; // stays without a line until told to end
        std::string error;
        if (!start(error)) std::fprintf(stderr, "board-sim: %s\n", error.c_str());
    }

    const boardsim::Options& options_;
    boardsim::Bootloader bootloader_;
    boardsim::PtyLine line_;
    std::string linkPath_;
    Micros byteTime_{0};
    std::chrono::milliseconds latency_{0};
    Clock::time_point lineFree_{};
    Clock::time_point replyFree_{};
    std::deque<Pending> pending_;
};

} // namespace

int main(int argc, char** argv) {
    boardsim::Options options;
    std::string error;
    if (!boardsim::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "board-sim: %s\n%s", error.c_str(), boardsim::usageText());
        return 2;
    }
    if (options.help) {
        std::fputs(boardsim::usageText(), stdout);
        return 0;
    }
    options.links = serial::portLinksFromEnvironment();

    // The line model times each reply to the microsecond: the kernel's default slack of 50 us
    // on every wake-up would add itself to every frame.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    // The stop signals are blocked except inside ppoll, so none is lost between the check of
    // the flag and the wait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Simulator simulator(options);
    if (!simulator.start(error)) {
        std::fprintf(stderr, "board-sim: %s\n", error.c_str());
        simulator.finish();
        return 1;
    }
    simulator.run(waitMask);
    simulator.finish();
    return 0;
}

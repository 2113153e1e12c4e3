// A station on this machine's own services: --watch with the real serial driver and port
// listing, a pseudo-terminal whose link is plugged in and pulled out again and again.
#include "cli/cli.h"
#include "firmware/product.h"
#include "serial/system_ports.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <pty.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

int entries(const char* folder) {
    return static_cast<int>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// How many descriptors of this process have the device open; once its other end has hung up,
// the kernel names a terminal still held "/dev/pts/N (deleted)".
int opened(const std::string& device) {
    int count = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (target == device || target == device + " (deleted)") ++count;
    }
    return count;
}

// Waits up to five seconds for the condition.
template <typename Condition> bool eventually(Condition condition) {
    for (int i = 0; i < 5000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

TEST(Watch, TwoHundredPlugsAndPullsLeaveNoDescriptorOrThreadBehind) {
    testing_support::TempFolder folder;
    fs::create_directory(folder / "ports");
    std::ostringstream out, err;
    // As the console's does, the handler runs under a lock that its removal waits for: the run
    // ends, and removes it, while Ctrl+C is still on its way out.
    std::mutex interruptLock;
    std::function<void()> interrupt;
    cli::Platform platform;
    platform.ports = serial::systemPorts({folder / "ports"});
    platform.devicePaths = true;
    platform.watchPeriodMs = 2;
    platform.out = &out;
    platform.err = &err;
    platform.onInterrupt = [&](std::function<void()> handler) {
        std::lock_guard lock(interruptLock);
        interrupt = std::move(handler);
    };
    cli::Cli program(firmware::thisProduct(), "9.9.9", std::move(platform));
    int status = -1;
    std::thread run([&] {
        const char* args[] = {"trevane-cli", "--watch", "--json", "COM200"};
        status = program.run(4, args);
    });

    int descriptors = 0, threads = 0;
    for (int cycle = 0; cycle < 200; ++cycle) {
        // Plugged in: a new terminal appears under the port's name.
        int master = -1, slave = -1;
        char name[256] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        close(slave); // the updater opens it; the master keeps the terminal alive
        const std::string device = name;
        fs::create_symlink(device, folder / "ports/COM200");
        ASSERT_TRUE(eventually([&] { return opened(device) == 1; })) << "cycle " << cycle;
        // Pulled out: the name goes, and the line hangs up.
        fs::remove(folder / "ports/COM200");
        close(master);
        ASSERT_TRUE(eventually([&] { return opened(device) == 0; })) << "cycle " << cycle;
        if (cycle == 20) {
            // The watch reads the port listing every 2 ms, opening files as it goes: the
            // fewest seen are the ones held between listings.
            descriptors = threads = 1 << 20;
            for (int look = 0; look < 50; ++look) {
                descriptors = std::min(descriptors, entries("/proc/self/fd"));
                threads = std::min(threads, entries("/proc/self/task"));
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        }
    }
    // The watch's listing holds a file or two while it runs; a descriptor lost on each plug or
    // pull would show as hundreds.
    EXPECT_TRUE(eventually([&] { return entries("/proc/self/fd") <= descriptors + 2; }));
    // The last station's thread may still be on its way out.
    EXPECT_TRUE(eventually([&] { return entries("/proc/self/task") <= threads; }));
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(interruptLock);
        return static_cast<bool>(interrupt);
    }));
    {
        std::lock_guard lock(interruptLock);
        interrupt();
    }
    run.join();
    EXPECT_EQ(status, cli::kAllProgrammed) << err.str();
    EXPECT_EQ(err.str().find("COM200:"), std::string::npos) << err.str();
}

} // namespace

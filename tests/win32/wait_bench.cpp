// Measurement, not a test: flash frames sent stop-and-wait to board-sim on COM<n>, each reply
// awaited in 5 ms waits as the updater awaits it, and the time taken compared with the time the
// bytes need on a 115200-baud line of 11-bit bytes (board-sim --baud 115200 models that line).
//
//   wait_bench COM<n> event|sleep [frames] [data bytes a frame]
//
// "event" waits with waitReadable(5); "sleep" is the wait the driver had before, five Sleep(1)
// with a look at the input queue after each, kept here for comparison. Run by wait_bench.py.

#include "serial/serial_port.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool sleepStyleWait(serial::SerialPort& port) {
    for (int slice = 0; slice < 5; ++slice) {
        Sleep(1);
        if (port.waitReadable(0)) return true;
    }
    return false;
}

// A flash frame as board-sim's default chip takes it: 3 address bytes, 2 length bytes (high
// first), the data, and a checksum that brings the sum of all bytes to 0.
std::vector<uint8_t> flashFrame(uint32_t address, int length) {
    std::vector<uint8_t> frame = {static_cast<uint8_t>(address >> 16),
                                  static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                  static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    for (int i = 0; i < length; ++i)
        frame.push_back(static_cast<uint8_t>(address + i * 7));
    uint8_t sum = 0;
    for (uint8_t b : frame)
        sum = static_cast<uint8_t>(sum + b);
    frame.push_back(static_cast<uint8_t>(-sum));
    return frame;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[2], "event") != 0 && std::strcmp(argv[2], "sleep") != 0)) {
        std::fprintf(stderr, "usage: wait_bench COM<n> event|sleep [frames] [data bytes]\n");
        return 2;
    }
    const bool events = std::strcmp(argv[2], "event") == 0;
    const int frames = argc > 3 ? std::atoi(argv[3]) : 300;
    const int length = argc > 4 ? std::atoi(argv[4]) : 64;
    timeBeginPeriod(1); // as the program does

    const auto port = serial::makeSystemPort({});
    if (const serial::PortError error = port->open(argv[1])) {
        std::fprintf(stderr, "%s\n", serial::describe(error, argv[1]).c_str());
        return 1;
    }
    port->discardInput();

    int64_t wireBytes = 0;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        const std::vector<uint8_t> frame = flashFrame(static_cast<uint32_t>(i) * 64, length);
        if (!port->write(frame.data(), static_cast<int32_t>(frame.size()))) {
            std::fprintf(stderr, "frame %d: write failed\n", i);
            return 1;
        }
        uint8_t reply = 0;
        int32_t got = 0;
        for (int step = 0; step < 400 && got == 0; ++step) {
            if (events)
                port->waitReadable(5);
            else
                sleepStyleWait(*port);
            got = port->read(&reply, 1);
            if (got < 0) break;
        }
        if (got != 1 || reply != 'K') {
            std::fprintf(stderr, "frame %d: no K (got %d, 0x%02X)\n", i, got, reply);
            return 1;
        }
        wireBytes += static_cast<int64_t>(frame.size()) + 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double floor = static_cast<double>(wireBytes) * 11.0 / serial::kBaudRate;
    std::printf(
        "%s: %d frames of %d bytes, measured %.3f s, wire %.3f s (%lld bytes), ratio %.3f\n",
        argv[2], frames, length, seconds, floor, static_cast<long long>(wireBytes),
        seconds / floor);
    return 0;
}

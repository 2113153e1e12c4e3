// What a /proc/net/udp table says of the UDP socket bound to a port: the bytes waiting to be read
// and the datagrams dropped for want of room; nothing when no socket is bound there.
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace testing_support {

struct UdpQueue {
    long waiting = 0;
    long dropped = 0;
};

inline std::optional<UdpQueue> udpQueueOf(const char* table, uint16_t port) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line); // the column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, field;
        fields >> slot >> local >> remote >> state >> queues;
        if (std::stoul(local.substr(local.find(':') + 1), nullptr, 16) != port) continue;
        UdpQueue queue;
        queue.waiting = std::stol(queues.substr(queues.find(':') + 1), nullptr, 16);
        while (fields >> field)
            queue.dropped = std::stol(field); // the last column
        return queue;
    }
    return std::nullopt;
}

// Whether the socket's queue is empty within five seconds.
inline bool udpQueueEmptiedSoon(const char* table, uint16_t port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::optional<UdpQueue> queue = udpQueueOf(table, port);
        if (queue && queue->waiting == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace testing_support

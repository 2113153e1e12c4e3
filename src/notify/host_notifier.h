// Tells a launching program how each update ended: one 12-byte UDP datagram per result, from
// local port 3004 to 127.0.0.1:3000. Whatever arrives on the endpoint is read and dropped by a
// receive thread of its own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace notify {

inline constexpr uint16_t kLocalPort = 3004;
inline constexpr uint16_t kHostPort = 3000;

struct BindError : std::runtime_error {
    BindError()
        : std::runtime_error("Could not bind socket. Address and port are already in use.") {}
};

// Three 32-bit words in network byte order: 4, 0, the result code.
std::array<uint8_t, 12> resultDatagram(uint8_t resultCode);

// Where the windows send their result codes.
class ResultNotifier {
public:
    virtual ~ResultNotifier() = default;
    // Sends one result code; a refused send is ignored (nobody may be listening).
    virtual void sendResultCode(uint8_t resultCode) = 0;
};

class HostNotifier final : public ResultNotifier {
public:
    // Inactive: not bound, no thread. Local port 0 lets the system choose one.
    explicit HostNotifier(uint16_t localPort, uint16_t hostPort = kHostPort);
    ~HostNotifier() override; // stops the receive thread
    HostNotifier(const HostNotifier&) = delete;
    HostNotifier& operator=(const HostNotifier&) = delete;

    // Binds to the local port on all addresses and starts the receive thread. Throws BindError.
    void activate();
    void sendResultCode(uint8_t resultCode) override;
    // The port bound by activate(); 0 before.
    uint16_t localPort() const;

private:
    struct Impl; // one per operating system
    std::unique_ptr<Impl> impl_;
};

// The notifier of a run started with the "\P" switch: bound to port 3004 and receiving.
std::unique_ptr<ResultNotifier> startHostNotifier();

} // namespace notify

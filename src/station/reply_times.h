// How long a board took to answer its frames: counted in 0.1 ms steps up to a second, so that a
// station programming board after board all day keeps a fixed amount of memory.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

namespace station {

struct ReplyTiming {
    double medianMs = 0;
    double p95Ms = 0;
    double maxMs = 0;
    double minMs = 0;
    int64_t count = 0;
};

// What a board's answer times say of its line, for the hint a person gets.
enum class LatencyVerdict {
    Quick,     // nothing to say
    Adapter,   // even the answers that need no flash work came late: the adapter holds them
    BoardWork, // a quick adapter, slow frames: the board's own flash work, nothing to fix
};
// adapterMs: the quicker of the answers that need no flash work; replyMedianMs: the frames'.
LatencyVerdict latencyVerdict(double adapterMs, double replyMedianMs);
// What the board itself takes for a frame: the frames' median less the adapter's delay, never
// below nothing (on a busy computer the two quick answers may come later than most frames').
double boardWorkMs(double adapterMs, double replyMedianMs);

class ReplyTimes {
public:
    void add(int32_t microseconds);
    void add(const ReplyTimes& other);
    void clear() { *this = ReplyTimes(); }
    bool empty() const { return count_ == 0; }
    ReplyTiming timing() const;

private:
    static constexpr int kBins = 10000; // 0.1 ms each; the last takes everything longer
    // The value below which `share` of the samples lie, to the step.
    double quantileMs(double share) const;

    std::array<uint32_t, kBins> bins_{};
    int64_t count_ = 0;
    int32_t maxUs_ = 0;
    int32_t minUs_ = std::numeric_limits<int32_t>::max();
};

} // namespace station

#include "station/reply_times.h"

#include <algorithm>

namespace station {

LatencyVerdict latencyVerdict(double adapterMs, double replyMedianMs) {
    // A frame slower than this costs a full update a noticeable share of its time; an answer
    // that needs no flash work slower than this is held back by the adapter.
    constexpr double kSlowReplyMs = 5.0;
    constexpr double kSlowAdapterMs = 4.0;
    if (adapterMs > kSlowAdapterMs) return LatencyVerdict::Adapter;
    if (replyMedianMs > kSlowReplyMs) return LatencyVerdict::BoardWork;
    return LatencyVerdict::Quick;
}

double boardWorkMs(double adapterMs, double replyMedianMs) {
    return std::max(replyMedianMs - adapterMs, 0.0);
}

void ReplyTimes::add(int32_t microseconds) {
    const int32_t us = std::max(microseconds, 0);
    ++bins_[static_cast<size_t>(std::min(us / 100, kBins - 1))];
    ++count_;
    maxUs_ = std::max(maxUs_, us);
    minUs_ = std::min(minUs_, us);
}

void ReplyTimes::add(const ReplyTimes& other) {
    for (size_t i = 0; i < bins_.size(); ++i)
        bins_[i] += other.bins_[i];
    count_ += other.count_;
    maxUs_ = std::max(maxUs_, other.maxUs_);
    minUs_ = std::min(minUs_, other.minUs_);
}

double ReplyTimes::quantileMs(double share) const {
    // The sample of rank ceil(share * count), counted from 1.
    const auto rank =
        std::max<int64_t>(1, static_cast<int64_t>(share * static_cast<double>(count_) + 0.999999));
    int64_t seen = 0;
    for (int bin = 0; bin < kBins; ++bin) {
        seen += bins_[static_cast<size_t>(bin)];
        // The bin's middle, but never beyond the longest reply seen.
        if (seen >= rank) return std::min((bin + 0.5) / 10.0, maxUs_ / 1000.0);
    }
    return maxUs_ / 1000.0;
}

ReplyTiming ReplyTimes::timing() const {
    if (count_ == 0) return {};
    return {quantileMs(0.5), quantileMs(0.95), maxUs_ / 1000.0, minUs_ / 1000.0, count_};
}

} // namespace station

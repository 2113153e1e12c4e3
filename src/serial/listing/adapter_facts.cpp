#include "serial/listing/adapter_facts.h"

namespace serial {

std::optional<std::string> latencyAdvice(std::string_view name,
                                         const std::optional<AdapterLatency>& timer) {
    if (!timer || timer->timerMs <= kLowLatencyMs) return std::nullopt;
    return std::string(name) + ": the adapter's latency timer is " +
           std::to_string(timer->timerMs) +
           " ms, and every reply of the board waits for it. Fix: " + timer->fix;
}

} // namespace serial

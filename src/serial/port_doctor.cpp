#include "serial/port_doctor.h"

namespace serial {

const char* verdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "ok";
    case Verdict::Warning:
        return "warning";
    case Verdict::Problem:
        return "problem";
    }
    return "";
}

std::optional<std::string> latencyAdvice(std::string_view name,
                                         const std::optional<AdapterLatency>& timer) {
    if (!timer || timer->timerMs <= kLowLatencyMs) return std::nullopt;
    return std::string(name) + ": the adapter's latency timer is " +
           std::to_string(timer->timerMs) +
           " ms, and every reply of the board waits for it. Fix: " + timer->fix;
}

} // namespace serial

// The checks `trevane-cli --doctor` runs on a port and what surrounds it on this system: each
// finds one thing that keeps updates from working or makes them slow, and says how to fix it.
// One source per operating system; the board itself is checked by the caller.
#pragma once

#include "serial/serial_port.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace serial {

enum class Verdict { Ok, Warning, Problem };

struct PortCheck {
    std::string code; // stable, for programs: "device", "access", "free", "latency", ...
    Verdict verdict = Verdict::Ok;
    std::string found; // what the check found, for a person
    std::string fix;   // what to do about it; empty when nothing is to be done
};

// "ok", "warning", "problem".
const char* verdictText(Verdict verdict);

// The checks of the port `name` (a COM name, or a device path where the system has them). The
// system's facts are read under `root`: on Linux the root of the files read ("/"), on Windows
// the registry key below HKEY_LOCAL_MACHINE that holds the device tree ("" for the system's).
std::vector<PortCheck> checkPortSystem(std::string_view name, const std::string& root);
// The same, on this machine's own files or registry.
std::vector<PortCheck> checkPort(std::string_view name);

// How to lower the latency timer of a USB adapter that provides the port, on this system.
std::string latencyFix(std::string_view name);

// What to tell of an opened port whose adapter holds every reply back longer than
// kLowLatencyMs, with the fix; nothing for a port whose timer is low or unknown.
std::optional<std::string> latencyAdvice(std::string_view name,
                                         const std::optional<AdapterLatency>& timer);

} // namespace serial

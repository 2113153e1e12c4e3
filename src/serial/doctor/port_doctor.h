// The checks `trevane-cli --doctor` runs on a port and what surrounds it on this system: each
// finds one thing that keeps updates from working or makes them slow, and says how to fix it.
// One source per operating system; the board itself is checked by the caller.
#pragma once

#include "serial/listing/port_map.h"

#include <string>
#include <string_view>
#include <vector>

namespace serial {

// What a check looks at. Its code (checkCode) is stable, for programs.
enum class Check {
    Device,       // "device": the port names a device that is there
    Access,       // "access": the user may open it
    Free,         // "free": no other program holds it
    ModemManager, // "modemmanager": ModemManager leaves it alone
    Brltty,       // "brltty": brltty does not take the adapter
    Latency,      // "latency": the adapter's latency timer
    Board,        // "board": a bootloader answers through it
};
const char* checkCode(Check check);

// Whether a problem this check finds keeps the port from being opened at all.
bool keepsPortShut(Check check);

enum class Verdict { Ok, Warning, Problem };

struct PortCheck {
    Check check = Check::Device;
    Verdict verdict = Verdict::Ok;
    std::string found; // what the check found, for a person
    std::string fix;   // what to do about it; empty when nothing is to be done
};

// "ok", "warning", "problem".
const char* verdictText(Verdict verdict);

// The checks of the port `name` (a COM name, or a device path where the system has them), its
// links in `links`. The system's facts are read under `root`: on Linux the root of the files
// read ("/"), on Windows the registry key below HKEY_LOCAL_MACHINE that holds the device tree
// ("" for the system's).
std::vector<PortCheck> checkPortSystem(std::string_view name, const std::string& root,
                                       const PortLinks& links);
// The same, on this machine's own files or registry.
std::vector<PortCheck> checkPort(std::string_view name, const PortLinks& links);

} // namespace serial

// Command line of board-sim.
#pragma once

#include "bootloader.h"
#include "serial/listing/port_map.h"

#include <string>

namespace boardsim {

struct Options {
    Config bootloader;
    std::string port = "COM200";
    serial::PortLinks links; // where the port's link goes, as the environment names it
    bool split = false;      // every reply byte in its own write
    bool reopen = false;     // after a hang-up, a new line under the same port name
    long baud = 0;           // wire-rate model; 0 = off
    long writeMs = 0;        // flash write time added to the reply of each flash frame
    long latencyMs = 0;      // a USB adapter's latency timer: every reply is passed on this late
    std::string dumpFile;    // empty: no dump
    bool help = false;
};

// Parses argv; returns false with a message in error when an option is unknown or malformed.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* usageText();

} // namespace boardsim

// What the port drivers of every operating system share: the table of port records, the hooks
// the shell installs, and the checks around them. Only the drivers include this.
#pragma once

#include "serial/port_driver.h"

namespace serial::detail {

inline constexpr int32_t kPortCount = kLastPortNumber + 1;
inline constexpr int kStepMs = 5;

extern PortRecord portTable[kPortCount];
extern EventPump eventPump;

inline bool validNumber(int32_t n) { return n >= 0 && n <= kLastPortNumber; }

// The record of port n when it is open, else null.
inline PortRecord* openRecord(int32_t n) {
    if (!validNumber(n) || portTable[n].open == 0) return nullptr;
    return &portTable[n];
}

// A message box with the caption "Error", through the shell's hook.
void showError(const char* text);

// Closes the record's handle and marks it closed; nothing when it is not open. One per
// operating system.
void releaseRecord(PortRecord& record);

} // namespace serial::detail

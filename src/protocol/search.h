// The device search: keeps the driver's open port in step with the user's choice and sends the
// search byte until a bootloader answers with its identification.
#pragma once

#include "ui/widgets.h"

#include <cstdint>

namespace protocol {

// searchDevice results.
inline constexpr int16_t kSearchFound = 0;
inline constexpr int16_t kSearchPortUnusable = -1;
inline constexpr int16_t kSearchNotFound = -2;
inline constexpr int16_t kSearchAborted = -3;

inline constexpr uint8_t kSearchByte = 194;        // 0xC2
inline constexpr uint8_t kUpgradeSearchByte = 197; // 0xC5, when the Upgrade window exists
inline constexpr int kSearchTries = 100;
inline constexpr int32_t kSearchReplyTimeoutMs = 100;

int16_t searchDevice(ui::ProgressBar& progress, ui::StatusBar& statusBar);

// Opens the selected port when it is not the one opened last or when its record is not open
// (never opened, failed before, or lost); a port that was open for an earlier choice is closed.
// Shows "Invalid Port Com" each time the open fails.
void reopenSelectedPort();

// "COM<n+1>" or "-----" into the port panel (panel 0).
void showPortPanel(ui::StatusBar& statusBar);

} // namespace protocol

// The write phase: reset jump into the image, flash frames block by block, the fix frame at the
// application limit and the data EEPROM byte by byte, each frame through sendCommand.
#pragma once

#include "ui/widgets.h"

#include <cstdint>

namespace protocol {

// The one frame buffer: 5 header bytes + 256 data bytes + the checksum fit with room to spare.
inline constexpr int32_t kFrameBufferSize = 300;
extern uint8_t frameBuffer[kFrameBufferSize];

inline constexpr uint8_t kEepromCommand = 0x40;
// EEPROM addresses are one byte on the wire.
inline constexpr int32_t kMaxEepromLength = 256;

// 0 when every frame was acknowledged, else the link result of the frame that ended the write.
int16_t writeFirmware(ui::ProgressBar& progress, ui::StatusBar& statusBar);

} // namespace protocol

// The programming session: decides whether the built-in image may be written to the board just
// found, puts the bootloader into programming mode, has the image written and reports the end.
#pragma once

#include "protocol/link_state.h"
#include "ui/widgets.h"

#include <cstdint>

namespace protocol {

// Program-wide values that every session rewrites.
struct SessionValues {
    uint8_t imageBoardIndex = 0; // from the image identity bytes
    uint8_t imagePreparation = 0;
    int32_t protectedStart = 0; // address units; 0 and 0 mean no protected range
    int32_t protectedLength = 0;
};

extern SessionValues session;

inline constexpr uint8_t kProgramModeByte = 0xCC;
inline constexpr int32_t kProgramModeTimeoutMs = 2000;
inline constexpr int kBoardRecordWaitSteps = 251;

void runProgrammingSession(ui::ProgressBar& progress, ui::StatusBar& statusBar);

// Whether an image made for (imageBoardIndex, imagePreparation) suits the identified board.
bool checkCompatibility(const Identification& identification, uint8_t fullIdentification,
                        uint8_t imageBoardIndex, uint8_t imagePreparation);

// Back to the values at program start (tests).
void resetSessionValues();

} // namespace protocol

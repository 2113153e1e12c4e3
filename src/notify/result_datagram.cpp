#include "notify/host_notifier.h"

namespace notify {

std::array<uint8_t, 12> resultDatagram(uint8_t resultCode) {
    return {0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, resultCode};
}

} // namespace notify

#include "notify/host_notifier.h"

namespace notify {

std::array<uint8_t, 12> resultDatagram(uint8_t resultCode) {
    return {0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, resultCode};
}

std::unique_ptr<ResultNotifier> startHostNotifier() {
    auto notifier = std::make_unique<HostNotifier>(kLocalPort);
    notifier->activate();
    return notifier;
}

} // namespace notify

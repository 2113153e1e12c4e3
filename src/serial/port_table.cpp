#include "serial/port_table.h"

namespace serial {

uint8_t receiveBuffer[kReceiveBufferSize];
uint32_t baudRateSetting = 115200;

namespace detail {

PortRecord portTable[kPortCount];
EventPump eventPump = nullptr;

namespace {
MessageHook messageHook = nullptr;
}

void showError(const char* text) {
    if (messageHook != nullptr) messageHook(text, "Error");
}

} // namespace detail

void closePort(int32_t n) {
    if (PortRecord* record = detail::openRecord(n)) detail::releaseRecord(*record);
}

void setEventPump(EventPump pump) { detail::eventPump = pump; }

void setMessageHook(MessageHook hook) { detail::messageHook = hook; }

void resetPortTable() {
    for (PortRecord& record : detail::portTable) {
        detail::releaseRecord(record);
        record.portNumber = 0;
    }
    detail::eventPump = nullptr;
    detail::messageHook = nullptr;
}

} // namespace serial

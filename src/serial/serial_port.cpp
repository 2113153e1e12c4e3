#include "serial/serial_port.h"

namespace serial {

std::string describe(const PortError& error, std::string_view name) {
    std::string text(name);
    switch (error.kind) {
    case PortError::Kind::None:
        return text + ": open";
    case PortError::Kind::InvalidName:
        text += ": no such serial port name";
        break;
    case PortError::Kind::NotFound:
        text += ": no such device (is the adapter plugged in?)";
        break;
    case PortError::Kind::PermissionDenied:
        text += ": permission denied: add your user to the dialout group and log in again";
        break;
    case PortError::Kind::Busy:
        text += ": busy: another program is using the port";
        break;
    case PortError::Kind::Configure:
        text += ": Unable to configure the serial port";
        break;
    case PortError::Kind::Timeouts:
        text += ": Unable to set the time-out parameters";
        break;
    case PortError::Kind::Failed:
        text += ": cannot be opened";
        break;
    }
    if (!error.message.empty()) text += " (" + error.message + ")";
    return text;
}

} // namespace serial

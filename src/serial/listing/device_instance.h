// The USB adapter behind a Windows serial port, as its device instance id names it:
// "USB\VID_1A86&PID_7523\5&2E6F1A2B&0&2" (no serial of its own: the id is made up by Windows),
// "USB\VID_067B&PID_2303\0123456" or, under the FTDI driver,
// "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000" (the serial with the port's letter after it).
#pragma once

#include <string>
#include <string_view>

namespace serial {

struct AdapterIdentity {
    std::string vendorId;  // "0403", lower case as on Linux
    std::string productId; // "6001"
    std::string serial;    // empty when the adapter has none
};

// Empty fields for an id that names no USB device.
AdapterIdentity adapterOfInstanceId(std::string_view instanceId);

} // namespace serial

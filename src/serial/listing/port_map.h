// How a COM port name reaches a device on a system without COM ports.
//
// 1. The port-link folder (PortLinks): an entry "COM200" (or "com200") there, usually a symlink
//    such as COM200 -> /dev/pts/4, is the device of that port and wins over the fixed ranges below.
// 2. Fixed ranges of kernel serial devices:
//      COM1   - COM32   /dev/ttyS0     - ttyS31      built-in UARTs
//      COM33  - COM96   /dev/ttyUSB0   - ttyUSB63    USB serial converters
//      COM97  - COM160  /dev/ttyACM0   - ttyACM63    USB CDC modems
//      COM161 - COM176  /dev/ttyAMA0   - ttyAMA15    ARM PL011 UARTs
//      COM177 - COM192  /dev/ttyXRUSB0 - ttyXRUSB15  Exar USB converters
//      COM193 - COM208  /dev/ttySC0    - ttySC15     SPI/I2C bridged UARTs
//      COM209 - COM224  /dev/ttymxc0   - ttymxc15    i.MX UARTs
//      COM225 - COM240  /dev/ttyMSM0   - ttyMSM15    Qualcomm UARTs
//      COM241 - COM257  /dev/rfcomm0   - rfcomm16    Bluetooth serial links
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace serial {

inline constexpr std::size_t kDevicePathSize = 512;

// Where the port links lie. The program learns it once, when it starts (portLinksFromEnvironment),
// and hands it to what opens and lists ports; tests give a folder of their own.
struct PortLinks {
    std::string folder; // empty: no links, the fixed ranges alone
};

// The folder the environment names: $TREVANE_PORTS, else $XDG_RUNTIME_DIR/trevane/ports, else
// /tmp/trevane-<uid>/ports. Windows has COM names of its own: no folder there.
PortLinks portLinksFromEnvironment();
// The same from the two variables' values (null or empty when unset).
PortLinks portLinksFrom(const char* trevanePorts, const char* runtimeDir);

// Makes the folder, missing levels with mode 0700. False when it cannot be made or, for the
// folder in /tmp (which every user shares), is not a private folder of this user: another user
// could otherwise point our port names at devices of their choice.
bool makePortLinkFolder(const PortLinks& links);

// The device path that port number n (COM(n+1)) opens, into out: the link of that name in the
// folder, else the fixed range's device. Returns false when n is outside 0..256, no device is
// mapped to it, or the path does not fit. Allocates nothing.
bool portDevicePath(int32_t n, const PortLinks& links, char* out, std::size_t size);

// The port number that the fixed ranges give a kernel device, named either by its kernel name
// ("ttyUSB0") or by its path ("/dev/ttyUSB0"); -1 when it has none. The link folder is not
// consulted: a link names its own port.
int32_t portNumberOfDevice(const char* nameOrPath);

// The port number of a link name "COM<k>" ("com<k>" and other letter cases too) with k in
// 1..257; -1 for any other name.
int32_t portNumberOfLinkName(const char* name);

} // namespace serial

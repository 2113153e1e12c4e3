// Listing of the COM ports present on the machine, as an iterator:
// openPortList, nextPort until it returns 0, then closePortList.
#pragma once

namespace serial {

struct PortList; // platform-specific

inline constexpr int kPortNameSize = 7;       // "COM256" and its terminating zero
inline constexpr int kFriendlyNameSize = 300; // 299 characters and the terminating zero

PortList* openPortList();
// Fills portName (room for kPortNameSize bytes) and, when given, friendlyName (room for
// kFriendlyNameSize bytes). Returns 1 with an entry, 0 when there is none left.
int nextPort(PortList* list, char* portName, char* friendlyName);
bool closePortList(PortList* list);

} // namespace serial

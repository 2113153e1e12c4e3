#include "fake_port_list.h"

#include "serial/port_list.h"

#include <cstdio>

namespace serial {
struct PortList {
    size_t next = 0;
};
} // namespace serial

namespace fakeport {
namespace {
std::vector<std::pair<std::string, std::string>> entries;
serial::PortList theList;
int opened = 0, closed = 0;
} // namespace

void setPortList(std::vector<std::pair<std::string, std::string>> e) {
    entries = std::move(e);
    opened = closed = 0;
}
int listsOpened() { return opened; }
int listsClosed() { return closed; }

} // namespace fakeport

namespace serial {

PortList* openPortList() {
    ++fakeport::opened;
    fakeport::theList.next = 0;
    return &fakeport::theList;
}

int nextPort(PortList* list, char* portName, char* friendlyName) {
    if (!list || !portName || list->next >= fakeport::entries.size()) return 0;
    const auto& [port, friendly] = fakeport::entries[list->next++];
    std::snprintf(portName, kPortNameSize, "%s", port.c_str());
    if (friendlyName) std::snprintf(friendlyName, kFriendlyNameSize, "%s", friendly.c_str());
    return 1;
}

bool closePortList(PortList* list) {
    if (list) ++fakeport::closed;
    return list != nullptr;
}

} // namespace serial

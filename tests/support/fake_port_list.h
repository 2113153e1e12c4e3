// A link-time replacement of the port listing: the entries a test sets, in its order.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace fakeport {

// (port name, friendly name) pairs that the next listings yield.
void setPortList(std::vector<std::pair<std::string, std::string>> entries);
// Listings opened and released so far.
int listsOpened();
int listsClosed();

} // namespace fakeport

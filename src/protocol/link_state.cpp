#include "protocol/link_state.h"

namespace protocol {

LinkState link;

void resetLinkState() { link = LinkState{}; }

} // namespace protocol

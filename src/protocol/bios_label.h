// The Updater window's BIOS label and board description label, from the identification of the
// board just found.
#pragma once

namespace protocol {

// Rewrites and shows the BIOS label, shows or hides the board description label. Does nothing
// before the Updater window exists.
void refreshBiosLabel();

} // namespace protocol

// Where this user's own files of the program live. One source per system.
#pragma once

#include <string>

namespace app {

// The journal the station window keeps when none is given: on Linux
// $XDG_DATA_HOME/trevane/journal.jsonl (by default ~/.local/share), on Windows
// %LOCALAPPDATA%\Trevane\journal.jsonl. Its folder may not exist yet.
std::string userJournalPath();

} // namespace app

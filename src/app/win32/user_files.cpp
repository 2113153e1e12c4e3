#include "app/user_files.h"

#include <cstdlib>

namespace app {

std::string userJournalPath() {
    const char* local = std::getenv("LOCALAPPDATA");
    if (local != nullptr && *local != '\0') return std::string(local) + "\\Trevane\\journal.jsonl";
    const char* profile = std::getenv("USERPROFILE");
    return std::string(profile != nullptr ? profile : ".") +
           "\\AppData\\Local\\Trevane\\journal.jsonl";
}

} // namespace app

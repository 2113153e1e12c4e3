#include "app/user_files.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace app {

std::string userJournalPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is to be ignored, as the base directory rules say.
    if (data != nullptr && data[0] == '/') return std::string(data) + "/trevane/journal.jsonl";
    const char* home = std::getenv("HOME");
    std::string base = home != nullptr && home[0] == '/' ? home : "";
    if (base.empty())
        if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr)
            base = user->pw_dir;
    return base + "/.local/share/trevane/journal.jsonl";
}

} // namespace app

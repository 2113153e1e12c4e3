// The window tests' settings on Linux: the settings files in a temporary folder of their own.
#include "app_env.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace apptest {

namespace fs = std::filesystem;

TempSettings::TempSettings() {
    char pattern[] = "/tmp/trevane-settings.XXXXXX";
    root_ = ::mkdtemp(pattern);
    auto keep = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::string(v) : std::string("\x01");
    };
    oldHome_ = keep("XDG_CONFIG_HOME");
    oldDirs_ = keep("XDG_CONFIG_DIRS");
    ::setenv("XDG_CONFIG_HOME", (root_ / "user").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (root_ / "machine").c_str(), 1);
}

TempSettings::~TempSettings() {
    auto restore = [](const char* name, const std::string& v) {
        if (v == "\x01") ::unsetenv(name);
        else ::setenv(name, v.c_str(), 1);
    };
    restore("XDG_CONFIG_HOME", oldHome_);
    restore("XDG_CONFIG_DIRS", oldDirs_);
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
}

fs::path TempSettings::userFile() const { return root_ / "user" / "trevane" / "trevane.reg"; }

void TempSettings::store(const std::string& valueLine) {
    fs::create_directories(userFile().parent_path());
    std::ofstream(userFile()) << "[Software\\Dravik\\Trevane]\n" << valueLine << "\n";
}

std::string TempSettings::userFileContent() const {
    std::ifstream in(userFile());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace apptest

// The settings on Linux: a machine-wide file read as the default and a per-user file over it,
// each named trevane.reg in a folder of its own. Only the per-user file is written, atomically
// (temporary file, fsync, rename).
#pragma once

#include "app/settings_store.h"

#include <string>

namespace app {

class SettingsFiles final : public SettingsStore {
public:
    // An empty folder is a place that does not exist.
    SettingsFiles(std::string userFolder, std::string machineFolder);

    // The folders the system's store uses:
    //   per user:     $XDG_CONFIG_HOME (default ~/.config)/trevane
    //   machine-wide: $XDG_CONFIG_DIRS (first entry, default /etc/xdg)/trevane
    static std::string systemUserFolder();
    static std::string systemMachineFolder();

    std::string read(std::string_view name) override;
    void write(std::string_view name, std::string_view text) override;

private:
    std::string userFolder_;
    std::string machineFolder_;
};

} // namespace app

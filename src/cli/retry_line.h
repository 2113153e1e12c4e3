// The command line that retries the boards of a run that failed: the same program with every
// option that shaped the run, for just those ports, quoted so that it can be pasted into the
// shell the run was started from.
#pragma once

#include "cli/cli_options.h"

#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class ShellRules {
    Posix,   // sh and its kin: single quotes
    Windows, // cmd.exe and the C runtime's reading of a command line: double quotes
};

// The argument as the shell reads it back unchanged; plain words stay as they are.
std::string quoteArgument(std::string_view argument, ShellRules rules);

std::string retryCommand(std::string_view program, const Options& options,
                         const std::vector<std::string>& ports, ShellRules rules);

} // namespace cli

#include "cli/retry_line.h"

namespace cli {

namespace {

bool plainFor(std::string_view argument, std::string_view safe) {
    if (argument.empty()) return false;
    for (char c : argument) {
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && safe.find(c) == std::string_view::npos) return false;
    }
    return true;
}

std::string posixQuoted(std::string_view argument) {
    if (plainFor(argument, "_@%+=:,./-")) return std::string(argument);
    std::string out = "'";
    for (char c : argument) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// As CommandLineToArgvW and the C runtime read it back: backslashes are literal except before
// a double quote, where they must be doubled; inside the quotes cmd.exe's & | < > ^ lose their
// meaning.
std::string windowsQuoted(std::string_view argument) {
    if (plainFor(argument, "_@+=:,./\\-")) return std::string(argument);
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

} // namespace

std::string quoteArgument(std::string_view argument, ShellRules rules) {
    return rules == ShellRules::Posix ? posixQuoted(argument) : windowsQuoted(argument);
}

std::string retryCommand(std::string_view program, const Options& options,
                         const std::vector<std::string>& ports, ShellRules rules) {
    std::string command = quoteArgument(program, rules);
    const auto add = [&](std::string_view option, const std::string& value = {}) {
        command += ' ';
        command += option;
        if (!value.empty()) command += ' ' + quoteArgument(value, rules);
    };
    if (options.upgrade) add("--upgrade");
    if (options.json) add("--json");
    if (!options.imageFile.empty()) add("--image", options.imageFile);
    if (!options.baysFile.empty()) add("--bays", options.baysFile);
    if (!options.journalFile.empty()) add("--journal", options.journalFile);
    if (!options.operatorName.empty()) add("--operator", options.operatorName);
    if (options.repeat) add("--repeat");
    for (const std::string& port : ports)
        command += ' ' + quoteArgument(port, rules);
    return command;
}

} // namespace cli

// The persisted settings: text values under the key "Software\Dravik\Trevane". Each access
// opens the store, reads or writes one value and closes it again.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace app {

inline constexpr const char* kSettingsKey = "Software\\Dravik\\Trevane";

// A failure the event loop shows in a message box with its text.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The value's text; empty when the store or the value does not exist. A value that is not
    // text throws Failure("Invalid data type for 'NAME'").
    virtual std::string read(std::string_view name) = 0;
    // Stores the text, creating the key when missing. When the store cannot be created or
    // opened, nothing is stored and nothing is said; a write that fails once it is open throws
    // Failure("Failed to set data for 'NAME'").
    virtual void write(std::string_view name, std::string_view text) = 0;
};

// This system's store: the registry on Windows, the settings files on Linux.
std::unique_ptr<SettingsStore> makeSystemSettingsStore();

// The leading decimal number of a stored text (blanks skipped, optional sign, digits up to the
// first other character, 0 without digits), truncated to 16 bits signed.
int16_t leadingNumber(std::string_view text);

} // namespace app

// The settings file format used where there is no registry: sections named by key path, values
// in the registry export style, so that the value type survives:
//
//   [Software\Dravik\Trevane]
//   "com"="4"
//   "other"=dword:00000004
//
// Text values are quoted with \" and \\ escapes; anything else is a value of another type.
// Lines the program does not understand are kept as they are when a value is written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace app::settings_text {

struct Value {
    bool isText = false;
    std::string text; // the unescaped text when isText
};

// The value `name` in section `key`, if the file content holds it.
std::optional<Value> find(std::string_view content, std::string_view key, std::string_view name);

// The content with `name` in section `key` set to the text value; everything else unchanged.
std::string withText(std::string_view content, std::string_view key, std::string_view name,
                     std::string_view text);

} // namespace app::settings_text

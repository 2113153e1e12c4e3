// The station's JSON (its records, trevane-cli's events): objects whose members keep the order
// they were set in, one a line.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace station {

using Json = nlohmann::ordered_json;

// Text as JSON wants it, in UTF-8: text that is UTF-8 already stays as it is; other bytes (a
// board description in an 8-bit code page, say) are read as Latin-1.
std::string jsonText(std::string_view bytes);

// The object on one line, without a line break.
std::string dumpLine(const Json& value);

} // namespace station

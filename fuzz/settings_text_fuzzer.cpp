// The settings file reader and writer on arbitrary content.
//
// Input: four fields separated by NUL bytes, then the content: section key, value name, new
// text, another value name. Key and names are taken up to their first line break, since they
// always sit on one line of the file.
//
// Checked: after withText, find reads the new text back, and what find read before under
// another name of the same section, and under the same name in another section, is unchanged.
#include "app/settings_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

namespace st = app::settings_text;

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

std::string_view nextField(std::string_view& rest) {
    const size_t end = rest.find('\0');
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return field;
}

std::string_view oneLine(std::string_view s) {
    return s.substr(0, s.find_first_of("\r\n"));
}

bool sameValue(const std::optional<st::Value>& a, const std::optional<st::Value>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (a->isText == b->isText && a->text == b->text);
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        const auto lx = x >= 'A' && x <= 'Z' ? x + 32 : x, ly = y >= 'A' && y <= 'Z' ? y + 32 : y;
        if (lx != ly) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view key = oneLine(nextField(rest));
    const std::string_view name = oneLine(nextField(rest));
    const std::string_view text = nextField(rest);
    const std::string_view other = oneLine(nextField(rest));
    const std::string_view content = rest;
    const std::string otherKey = std::string(key) + "x";

    const auto otherBefore = st::find(content, key, other);
    const auto elsewhereBefore = st::find(content, otherKey, name);

    const std::string written = st::withText(content, key, name, text);

    // A value is one line: line breaks in the text are dropped on the way in.
    std::string expected;
    for (char c : text)
        if (c != '\n' && c != '\r') expected += c;
    const auto got = st::find(written, key, name);
    check(got.has_value(), "the value just written is not found");
    check(got->isText, "the value just written is not text");
    check(got->text == expected, "the value just written reads back differently");

    if (!equalNoCase(other, name))
        check(sameValue(otherBefore, st::find(written, key, other)),
              "another value of the section changed");
    check(sameValue(elsewhereBefore, st::find(written, otherKey, name)),
          "the same name in another section changed");
    return 0;
}

#include "app/settings_text.h"

#include <cctype>
#include <cstdint>
#include <vector>

namespace app::settings_text {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The lines without their '\n'; a '\r' before it stays, so that a file written with CRLF line
// ends keeps them (the parsing below trims it as white space).
std::vector<std::string_view> lines(std::string_view content) {
    std::vector<std::string_view> out;
    while (!content.empty()) {
        const size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        out.push_back(line);
        if (end == std::string_view::npos) break;
        content.remove_prefix(end + 1);
    }
    return out;
}

// "[key]" -> key
std::optional<std::string_view> sectionOf(std::string_view line) {
    line = trim(line);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']')
        return line.substr(1, line.size() - 2);
    return std::nullopt;
}

// Reads a quoted string at the start of s; returns the unescaped text and the rest.
std::optional<std::pair<std::string, std::string_view>> quoted(std::string_view s) {
    if (s.empty() || s.front() != '"') return std::nullopt;
    std::string text;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            text += s[++i];
        } else if (s[i] == '"') {
            return std::pair{text, s.substr(i + 1)};
        } else {
            text += s[i];
        }
    }
    return std::nullopt;
}

struct Entry {
    std::string name;
    Value value;
};

std::optional<Entry> entryOf(std::string_view line) {
    auto name = quoted(trim(line));
    if (!name) return std::nullopt;
    std::string_view rest = trim(name->second);
    if (rest.empty() || rest.front() != '=') return std::nullopt;
    rest = trim(rest.substr(1));
    Entry e{name->first, {}};
    if (auto text = quoted(rest); text && trim(text->second).empty()) {
        e.value = {true, text->first};
    } else {
        e.value = {false, {}};
    }
    return e;
}

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n' || c == '\r') continue; // one value, one line
        out += c;
    }
    return out + '"';
}

} // namespace

std::optional<Value> find(std::string_view content, std::string_view key, std::string_view name) {
    bool inKey = false;
    for (std::string_view line : lines(content)) {
        if (auto section = sectionOf(line)) {
            inKey = equalNoCase(*section, key);
            continue;
        }
        if (!inKey) continue;
        if (auto e = entryOf(line); e && equalNoCase(e->name, name)) return e->value;
    }
    return std::nullopt;
}

std::string withText(std::string_view content, std::string_view key, std::string_view name,
                     std::string_view text) {
    const bool crlf = content.find("\r\n") != std::string_view::npos;
    const std::string entry = quote(name) + "=" + quote(text) + (crlf ? "\r" : "");
    const std::string newline = crlf ? "\r\n" : "\n";
    std::string out;
    bool inKey = false, sectionSeen = false, written = false;
    auto finishSection = [&] {
        if (inKey && !written) {
            out += entry + "\n";
            written = true;
        }
    };
    for (std::string_view line : lines(content)) {
        if (auto section = sectionOf(line)) {
            finishSection();
            inKey = equalNoCase(*section, key);
            sectionSeen = sectionSeen || inKey;
        } else if (inKey) {
            if (auto e = entryOf(line); e && equalNoCase(e->name, name)) {
                if (!written) out += entry + "\n";
                written = true;
                continue;
            }
        }
        out += line;
        out += '\n';
    }
    finishSection();
    if (!sectionSeen) out += "[" + std::string(key) + "]" + newline + entry + "\n";
    return out;
}

} // namespace app::settings_text

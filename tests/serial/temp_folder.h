// Test helpers: a temporary folder removed with everything in it, and the environment of a child
// process.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace testing_support {

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "trevane-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// This process's environment with one variable set, for a child started by execve or
// posix_spawn: the child learns it at its start, and this process's own stays as it is.
class ChildEnvironment {
public:
    ChildEnvironment(const std::string& name, const std::string& value) {
        const std::string prefix = name + "=";
        entries_.push_back(prefix + value);
        for (char** entry = environ; *entry != nullptr; ++entry)
            if (std::string_view(*entry).substr(0, prefix.size()) != prefix)
                entries_.emplace_back(*entry);
        for (std::string& entry : entries_)
            pointers_.push_back(entry.data());
        pointers_.push_back(nullptr);
    }
    char** get() { return pointers_.data(); }

private:
    std::vector<std::string> entries_;
    std::vector<char*> pointers_;
};

} // namespace testing_support

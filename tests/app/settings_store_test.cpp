// The settings file on a temporary folder: the value round trip, what else the file holds, the
// atomic replace, and locations that cannot be used.
#include "app/posix/settings_files.h"
#include "app/settings_text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The per-user and machine-wide settings folders in a temporary folder of their own, and the
// store on them.
class TempSettings {
public:
    TempSettings() {
        char pattern[] = "/tmp/trevane-settings.XXXXXX";
        root_ = ::mkdtemp(pattern);
    }
    ~TempSettings() {
        std::error_code ec;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }
    const fs::path& root() const { return root_; }
    fs::path userFolder() const { return root_ / "user" / "trevane"; }
    fs::path machineFolder() const { return root_ / "machine" / "trevane"; }
    fs::path userFile() const { return userFolder() / "trevane.reg"; }
    // Writes the per-user settings file with these lines (after the section header).
    void store(const std::string& valueLines) {
        fs::create_directories(userFolder());
        std::ofstream(userFile()) << "[Software\\Dravik\\Trevane]\n" << valueLines << "\n";
    }
    std::string userFileContent() const {
        std::ifstream in(userFile());
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string read(std::string_view name) const { return files().read(name); }
    void write(std::string_view name, std::string_view text) const { files().write(name, text); }

private:
    app::SettingsFiles files() const {
        return app::SettingsFiles(userFolder().string(), machineFolder().string());
    }
    fs::path root_;
};

TEST(SettingsStore, MissingStoreReadsEmptyAndFirstWriteCreatesIt) {
    TempSettings settings;
    EXPECT_EQ(settings.read("com"), "");
    settings.write("com", "0");
    EXPECT_EQ(settings.read("com"), "0");
    EXPECT_EQ(settings.userFileContent(), "[Software\\Dravik\\Trevane]\n\"com\"=\"0\"\n");
}

TEST(SettingsStore, RoundTripKeepsTheRestOfTheFile) {
    TempSettings settings;
    settings.store("; a comment\n\"other\"=dword:00000001\n\"com\"=\"3\"\n\n[Another\\Key]\n"
                   "\"com\"=\"9\"");
    settings.write("com", "-1");
    EXPECT_EQ(settings.read("com"), "-1");
    const std::string content = settings.userFileContent();
    EXPECT_NE(content.find("; a comment"), std::string::npos);
    EXPECT_NE(content.find("\"other\"=dword:00000001"), std::string::npos);
    EXPECT_NE(content.find("[Another\\Key]\n\"com\"=\"9\""), std::string::npos);
    EXPECT_EQ(content.find("\"com\"=\"3\""), std::string::npos);
}

TEST(SettingsStore, TextIsEscapedAndReadBack) {
    TempSettings settings;
    settings.write("com", "a \"quoted\" \\ text");
    EXPECT_EQ(settings.read("com"), "a \"quoted\" \\ text");
}

TEST(SettingsStore, PerUserValueOverridesTheMachineWideDefault) {
    TempSettings settings;
    const fs::path machine = settings.machineFolder();
    fs::create_directories(machine);
    std::ofstream(machine / "trevane.reg") << "[Software\\Dravik\\Trevane]\n\"com\"=\"5\"\n";
    EXPECT_EQ(settings.read("com"), "5");
    settings.write("com", "6");
    EXPECT_EQ(settings.read("com"), "6");
    // The machine-wide file is never written.
    std::ifstream in(machine / "trevane.reg");
    std::string all((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(all.find("\"com\"=\"5\""), std::string::npos);
}

TEST(SettingsStore, ValueOfAnotherTypeIsAFailure) {
    TempSettings settings;
    settings.store("\"com\"=hex:01,02");
    try {
        settings.read("com");
        FAIL() << "no failure";
    } catch (const app::Failure& f) {
        EXPECT_STREQ(f.what(), "Invalid data type for 'com'");
    }
}

TEST(SettingsStore, ReplaceIsAtomic) {
    TempSettings settings;
    settings.write("com", "1");
    // A reader that opened the old file keeps reading it whole while the new one is written.
    const int old = ::open(settings.userFile().c_str(), O_RDONLY);
    ASSERT_GE(old, 0);
    settings.write("com", "2");
    char buf[256] = {};
    const ssize_t n = ::pread(old, buf, sizeof buf - 1, 0);
    ::close(old);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)),
              "[Software\\Dravik\\Trevane]\n\"com\"=\"1\"\n");
    EXPECT_EQ(settings.read("com"), "2");
    // No temporary file stays behind.
    int files = 0;
    for (const auto& e : fs::directory_iterator(settings.userFile().parent_path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(SettingsStore, LocationThatCannotBeCreatedStoresNothingSilently) {
    TempSettings settings;
    // The configuration folder lies below a plain file: it can never be created.
    const fs::path blocker = settings.userFolder().parent_path();
    fs::create_directories(blocker.parent_path());
    std::ofstream(blocker) << "not a folder";
    EXPECT_NO_THROW(settings.write("com", "3"));
    EXPECT_EQ(settings.read("com"), "");
}

TEST(SettingsStore, WriteThatFailsOnceOpenIsReported) {
    TempSettings settings;
    // The settings file's name is taken by a folder: the new file cannot replace it.
    fs::create_directories(settings.userFile() / "in-the-way");
    try {
        settings.write("com", "3");
        FAIL() << "no failure";
    } catch (const app::Failure& f) {
        EXPECT_STREQ(f.what(), "Failed to set data for 'com'");
    }
    EXPECT_TRUE(fs::is_directory(settings.userFile() / "in-the-way"));
}

// Runs `attempt` as a user for whom the file's mode counts: this process, or when it runs as
// root (whom no mode stops), a child that has given up root for "nobody". True when it passed.
bool asUnprivilegedUser(const fs::path& owned, const std::function<bool()>& attempt) {
    if (::geteuid() != 0) return attempt();
    constexpr uid_t kNobody = 65534;
    for (const auto& entry : fs::recursive_directory_iterator(owned))
        if (::chown(entry.path().c_str(), kNobody, kNobody) != 0) return false;
    if (::chown(owned.c_str(), kNobody, kNobody) != 0) return false;
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        ::_exit(dropped && attempt() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SettingsStore, FileThatCannotBeReadIsNeitherReplacedNorLost) {
    TempSettings settings;
    settings.store("\"com\"=\"3\"\n\"other\"=\"keep me\"");
    const std::string before = settings.userFileContent();
    fs::permissions(settings.userFile(), fs::perms::none);
    const bool failed = asUnprivilegedUser(settings.root(), [&settings] {
        try {
            settings.write("com", "7");
        } catch (const app::Failure& f) {
            return std::string(f.what()) == "Failed to set data for 'com'";
        }
        return false;
    });
    EXPECT_TRUE(failed);
    fs::permissions(settings.userFile(), fs::perms::owner_read);
    EXPECT_EQ(settings.userFileContent(), before);
}

TEST(SettingsText, SectionsAndNamesIgnoreLetterCase) {
    const std::string content = "[software\\dravik\\TREVANE]\n\"COM\"=\"8\"\n";
    auto v = app::settings_text::find(content, "Software\\Dravik\\Trevane", "com");
    ASSERT_TRUE(v.has_value());
    EXPECT_TRUE(v->isText);
    EXPECT_EQ(v->text, "8");
    EXPECT_EQ(app::settings_text::withText(content, "Software\\Dravik\\Trevane", "com", "9"),
              "[software\\dravik\\TREVANE]\n\"com\"=\"9\"\n");
}

TEST(SettingsText, LineEndsOfTheFileAreKept) {
    const std::string crlf = "; kept\r\n[Software\\Dravik\\Trevane]\r\n\"com\"=\"1\"\r\n";
    EXPECT_EQ(app::settings_text::withText(crlf, "Software\\Dravik\\Trevane", "com", "2"),
              "; kept\r\n[Software\\Dravik\\Trevane]\r\n\"com\"=\"2\"\r\n");
    EXPECT_EQ(app::settings_text::withText("; kept\r\n", "K", "com", "3"),
              "; kept\r\n[K]\r\n\"com\"=\"3\"\r\n");
    auto v = app::settings_text::find(crlf, "Software\\Dravik\\Trevane", "com");
    ASSERT_TRUE(v && v->isText);
    EXPECT_EQ(v->text, "1");
}

} // namespace

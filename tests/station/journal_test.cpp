// The journal's file under writers killed at any moment.
#include "station/json_text.h"
#include "station/record_file.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Waits up to five seconds for the condition.
template <typename Condition> bool eventually(Condition condition) {
    for (int i = 0; i < 5000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

TEST(Journal, AWriterKilledAtAnyMomentLeavesEveryLineWhole) {
    testing_support::TempFolder folder;
    const std::string path = folder / "journal.jsonl";
    std::mt19937 random(7);
    constexpr int kKills = 60;
    for (int round = 0; round < kKills; ++round) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            // Lines of hundreds of kilobytes take long enough to write that kills land in the
            // middle of some: those are the lines a torn tail would glue to the next.
            std::string error;
            const std::unique_ptr<station::RecordFile> file = station::openRecordFile(path, error);
            for (int i = 0;; ++i)
                file->append(station::dumpLine(station::Json{
                                 {"round", round}, {"pad", std::string(100000 + i % 900000, 'x')}}),
                             error);
        }
        // Killed once it has written a line, at some moment of the lines that follow.
        const auto size = [&] {
            std::error_code error;
            const auto bytes = fs::file_size(path, error);
            return error ? 0 : bytes;
        };
        const auto before = size();
        const bool wrote = eventually([&] { return size() > before; });
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        ASSERT_TRUE(wrote);
    }
    std::string error;
    ASSERT_TRUE(station::openRecordFile(path, error)->append("{\"last\":true}", error)) << error;

    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_GT(lines.size(), static_cast<size_t>(kKills));
    int cut = 0;
    for (const std::string& line : lines) {
        if (station::Json::accept(line)) continue;
        // A line cut by the kill stays on its own: the next one starts on a line of its own.
        ++cut;
        EXPECT_EQ(line.rfind("{\"round\":", 0), 0u) << line.substr(0, 40);
        EXPECT_EQ(line.find('}'), std::string::npos) << "two records on one line";
    }
    EXPECT_LE(cut, kKills);
    EXPECT_EQ(lines.back(), "{\"last\":true}");
}

} // namespace

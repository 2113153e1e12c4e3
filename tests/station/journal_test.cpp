// The journal's file under writers killed at any moment, and the times of its records.
#include "station/journal.h"
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

// A writer killed in the middle of its record leaves part of a line; the next writer replaces that
// torn tail, under the lock, with one whole "cut" record that holds the cut text, and every line
// of the journal parses.
TEST(Journal, AKilledWritersTornRecordBecomesAWholeCutRecordAndEveryLineParses) {
    testing_support::TempFolder folder;
    const std::string path = folder / "journal.jsonl";
    const auto open = [&] {
        std::string error;
        std::unique_ptr<station::RecordFile> file = station::openRecordFile(path, error);
        file->repairWith([](std::string_view torn) {
            return station::dumpLine(station::cutRecord(torn, std::chrono::system_clock::now()));
        });
        return file;
    };
    std::mt19937 random(7);
    constexpr int kKills = 60;
    for (int round = 0; round < kKills; ++round) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            // Lines of hundreds of kilobytes take long enough to write that kills land in the
            // middle of some.
            const std::unique_ptr<station::RecordFile> file = open();
            std::string error;
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
    ASSERT_TRUE(open()->append("{\"last\":true}", error)) << error;

    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_GT(lines.size(), static_cast<size_t>(kKills));
    int cut = 0;
    for (const std::string& line : lines) {
        ASSERT_TRUE(station::Json::accept(line)) << line.substr(0, 60);
        const station::Json record = station::Json::parse(line);
        if (!record.contains("event")) continue;
        // Nothing is thrown away: the cut text is the start of a record.
        ++cut;
        EXPECT_EQ(record["event"], "cut");
        EXPECT_EQ(record["text"].get<std::string>().rfind("{\"round\":", 0), 0u);
    }
    EXPECT_LE(cut, kKills);
    EXPECT_EQ(lines.back(), "{\"last\":true}");
}

TEST(Journal, TimesAreUtcToTheMillisecond) {
    using namespace std::chrono;
    const system_clock::time_point instant =
        sys_days{year{2026} / 12 / 9} + hours{14} + minutes{3} + seconds{11} + milliseconds{123};
    EXPECT_EQ(station::utcTimestamp(instant), "2026-12-09T14:03:11.123Z");
    EXPECT_EQ(
        station::dumpLine(station::cutRecord("{\"round\":", instant)),
        "{\"event\":\"cut\",\"time\":\"2026-12-09T14:03:11.123Z\",\"text\":\"{\\\"round\\\":\"}");
}

} // namespace

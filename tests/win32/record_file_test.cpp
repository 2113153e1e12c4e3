// The journal's file on Windows, with other processes (record_writer.exe, beside this program):
// several writing at once, each record whole on a line of its own; writers ended by
// TerminateProcess in the middle of long records, whose torn tails the next writer replaces with
// whole "cut" records, so that every line parses.
#include "station/json_text.h"
#include "station/record_file.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

std::string here() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string self(path, length);
    return self.substr(0, self.find_last_of("\\/") + 1);
}

std::string journalPath(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + name;
    DeleteFileA(path.c_str());
    return path;
}

// A writer process: its handle, or none.
HANDLE startWriter(const std::string& journal, const std::string& tag, long count, long bytes) {
    const std::string program = here() + "record_writer.exe";
    std::string command = "\"" + program + "\" \"" + journal + "\" " + tag + " " +
                          std::to_string(count) + " " + std::to_string(bytes);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << program << ": " << GetLastError();
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

std::vector<station::Json> records(const std::string& journal) {
    std::ifstream in(journal, std::ios::binary);
    std::vector<station::Json> all;
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(station::Json::accept(line))
            << "a line that does not parse: " << line.substr(0, 60);
        if (station::Json::accept(line)) all.push_back(station::Json::parse(line));
    }
    return all;
}

TEST(RecordFile, SeveralProcessesAppendAtOnceEachRecordWhole) {
    const std::string journal = journalPath("trevane-records-together.jsonl");
    std::vector<HANDLE> writers;
    for (const char* tag : {"a", "b", "c", "d"})
        writers.push_back(startWriter(journal, tag, 50, 20000));
    for (HANDLE w : writers) {
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(WaitForSingleObject(w, 120000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(w, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(w);
    }
    std::map<std::string, int> perTag;
    for (const station::Json& r : records(journal))
        ++perTag[r["tag"].get<std::string>()];
    EXPECT_EQ(perTag, (std::map<std::string, int>{{"a", 50}, {"b", 50}, {"c", 50}, {"d", 50}}));
    DeleteFileA(journal.c_str());
}

TEST(RecordFile, AWriterEndedInItsRecordLeavesAWholeCutRecord) {
    const std::string journal = journalPath("trevane-records-killed.jsonl");
    std::mt19937 random(11);
    constexpr int kKills = 15;
    for (int round = 0; round < kKills; ++round) {
        const HANDLE writer = startWriter(journal, "w" + std::to_string(round), 0, 300000);
        ASSERT_NE(writer, nullptr);
        // Ended once it has written, at some moment of the records that follow.
        WIN32_FILE_ATTRIBUTE_DATA before{};
        GetFileAttributesExA(journal.c_str(), GetFileExInfoStandard, &before);
        for (int wait = 0; wait < 3000; ++wait) {
            WIN32_FILE_ATTRIBUTE_DATA now{};
            if (GetFileAttributesExA(journal.c_str(), GetFileExInfoStandard, &now) &&
                now.nFileSizeLow != before.nFileSizeLow)
                break;
            Sleep(10);
        }
        Sleep(random() % 40);
        TerminateProcess(writer, 9);
        WaitForSingleObject(writer, 30000);
        CloseHandle(writer);
    }
    const HANDLE last = startWriter(journal, "last", 1, 10);
    ASSERT_NE(last, nullptr);
    WaitForSingleObject(last, 30000);
    CloseHandle(last);

    const std::vector<station::Json> all = records(journal);
    ASSERT_FALSE(all.empty());
    int cut = 0;
    for (const station::Json& r : all) {
        if (!r.contains("event")) continue;
        ++cut; // what a writer left, kept: the start of one of its records
        EXPECT_EQ(r["event"], "cut");
        EXPECT_EQ(r["text"].get<std::string>().rfind("{\"tag\":\"w", 0), 0u);
    }
    EXPECT_LE(cut, kKills);
    EXPECT_EQ(all.back()["tag"], "last");
    DeleteFileA(journal.c_str());
}

} // namespace

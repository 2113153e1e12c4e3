// The named mutex against a second process, as a second copy of the program would meet it.
#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// Runs instance_probe.exe (beside this test program) and returns its exit code.
DWORD runProbe() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string probe(path, length);
    probe = probe.substr(0, probe.find_last_of("\\/") + 1) + "instance_probe.exe";
    std::string command = "\"" + probe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(probe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start " << probe << ": " << GetLastError();
        return 99;
    }
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST(SingleInstance, ASecondProcessFindsTheMutexTakenUntilItIsReleased) {
    EXPECT_EQ(runProbe(), 0u) << "the lock was taken before the test took it";
    {
        app::SingleInstance first;
        ASSERT_TRUE(first.acquire());
        EXPECT_EQ(runProbe(), 3u);
        app::SingleInstance sameProcess;
        EXPECT_FALSE(sameProcess.acquire());
        first.release();
        EXPECT_EQ(runProbe(), 0u);
        EXPECT_TRUE(sameProcess.acquire());
    }
    EXPECT_EQ(runProbe(), 0u); // given back when its holder goes
}

TEST(SingleInstance, TheMutexHasTheProgramsName) {
    app::SingleInstance held;
    ASSERT_TRUE(held.acquire());
    HANDLE found = OpenMutexA(SYNCHRONIZE, FALSE, "TREVANE.MUTEX");
    EXPECT_NE(found, nullptr);
    if (found) CloseHandle(found);
}

} // namespace

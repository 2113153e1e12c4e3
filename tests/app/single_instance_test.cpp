// The instance lock on Linux, in a network namespace of the test's own: one copy per user (a
// second copy of the same user is the whole-program tests' case). The other user is "nobody",
// played by a child process when the test runs as root.
#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

// Runs `holding` in a child process of user "nobody" and `meanwhile` here while the child holds
// what `holding` took; true when the child got it. False when no other user can be played.
bool whileAnotherUserHolds(const std::function<bool()>& holding,
                           const std::function<void()>& meanwhile) {
    int ready[2], done[2];
    if (::pipe(ready) != 0 || ::pipe(done) != 0) return false;
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        const char got = dropped && holding() ? 'y' : 'n';
        (void)!::write(ready[1], &got, 1);
        char end;
        (void)!::read(done[0], &end, 1);
        ::_exit(0);
    }
    char got = 'n';
    const bool answered = ::read(ready[0], &got, 1) == 1;
    if (answered && got == 'y') meanwhile();
    (void)!::write(done[1], "x", 1);
    ::waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], done[0], done[1]})
        ::close(fd);
    return got == 'y';
}

TEST(SingleInstance, AnotherUsersCopyDoesNotCount) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to play a second user";
    app::SingleInstance mine;
    ASSERT_TRUE(mine.acquire());
    EXPECT_TRUE(whileAnotherUserHolds(
        [] {
            static app::SingleInstance theirs; // held until the child ends
            return theirs.acquire();
        },
        [] {}));
}

// Any user may bind any abstract name. One who took ours first does not keep us from running.
TEST(SingleInstance, OurNameHeldByAnotherUserDoesNotBlock) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to play a second user";
    char name[64];
    std::snprintf(name, sizeof name, "%s.%u", app::kInstanceLockName,
                  static_cast<unsigned>(::getuid()));
    EXPECT_TRUE(whileAnotherUserHolds(
        [&name] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::memcpy(addr.sun_path + 1, name, std::strlen(name));
            const auto size =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + std::strlen(name));
            return ::bind(fd, reinterpret_cast<sockaddr*>(&addr), size) == 0 &&
                   ::listen(fd, 1) == 0;
        },
        [] {
            app::SingleInstance mine;
            EXPECT_TRUE(mine.acquire());
        }));
}

} // namespace

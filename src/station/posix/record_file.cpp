#include "station/record_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace station {

namespace {

class PosixRecordFile final : public RecordFile {
public:
    PosixRecordFile(int fd, std::string notOnDisk) : fd_(fd), notOnDisk_(std::move(notOnDisk)) {}
    ~PosixRecordFile() override { ::close(fd_); }

    std::string notOnDisk() const override { return notOnDisk_; }

    bool append(const std::string& line, std::string& error) override {
        // A pipe or a device has no end to find and no disk to sync to (fdatasync: EINVAL).
        if (!notOnDisk_.empty()) return writeAll(line + "\n", -1, error);
        // The lock keeps the other processes out from the end found to the sync.
        if (flock(fd_, LOCK_EX) != 0) return fail(error);
        struct stat st {};
        std::string torn;
        bool ok = fstat(fd_, &st) == 0 &&
                  tornTail(
                      st.st_size,
                      [this](int64_t at, size_t length, char* into) {
                          return pread(fd_, into, length, at) == static_cast<ssize_t>(length);
                      },
                      torn);
        if (ok) {
            // Where the torn tail begins (or, left in place without a repair, the end).
            const off_t at = repairs() ? st.st_size - static_cast<off_t>(torn.size()) : st.st_size;
            ok = writeAll(recordsAfter(torn, line), at, error) &&
                 (fdatasync(fd_) == 0 || fail(error));
        } else {
            fail(error);
        }
        flock(fd_, LOCK_UN);
        return ok;
    }

private:
    // All of `bytes` at `offset` (-1: where the descriptor stands).
    bool writeAll(const std::string& bytes, off_t offset, std::string& error) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = offset < 0 ? ::write(fd_, bytes.data() + done, bytes.size() - done)
                                         : pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                                  offset + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? std::strerror(errno) : "the disk took only part of a line";
                return false;
            }
            done += static_cast<size_t>(n);
        }
        return true;
    }

    bool fail(std::string& error) {
        error = std::strerror(errno);
        return false;
    }

    int fd_;
    const std::string notOnDisk_;
};

std::string kindOf(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISCHR(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

} // namespace

std::unique_ptr<RecordFile> openRecordFile(const std::string& path, std::string& error) {
    // Not O_APPEND: a repair writes where the torn tail begins. Every write is at an end found
    // under the lock.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixRecordFile>(fd, kindOf(st.st_mode));
}

} // namespace station

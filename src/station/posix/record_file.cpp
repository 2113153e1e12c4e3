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
        // O_APPEND puts each write at the end; the lock keeps another process's line from
        // landing in the middle of a long one.
        if (flock(fd_, LOCK_EX) != 0) return fail(error);
        // A process killed in the middle of a long write may have left part of a line: this
        // line starts on a line of its own, so that it stays whole.
        std::string record = line + "\n";
        struct stat st {};
        char last = '\n';
        if (fstat(fd_, &st) == 0 && st.st_size > 0 && pread(fd_, &last, 1, st.st_size - 1) == 1 &&
            last != '\n')
            record.insert(record.begin(), '\n');
        ssize_t written;
        do {
            written = ::write(fd_, record.data(), record.size());
        } while (written < 0 && errno == EINTR);
        const int writeError = errno;
        const bool whole = written == static_cast<ssize_t>(record.size());
        // A pipe or a device has no disk to sync to (fdatasync says EINVAL).
        const bool synced = whole && (!notOnDisk_.empty() || fdatasync(fd_) == 0);
        const int syncError = errno;
        flock(fd_, LOCK_UN);
        if (!whole) {
            error = written < 0 ? std::strerror(writeError) : "the disk took only part of a line";
            return false;
        }
        if (!synced) {
            error = std::strerror(syncError);
            return false;
        }
        return true;
    }

private:
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
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
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

#include "station/record_file.h"

#include "serial/port/win32/system_text.h"

#include <windows.h>

#include <utility>

namespace station {

namespace {

using serial::win32::systemText;

class Win32RecordFile final : public RecordFile {
public:
    Win32RecordFile(HANDLE file, std::string notOnDisk)
        : file_(file), notOnDisk_(std::move(notOnDisk)) {}
    ~Win32RecordFile() override { CloseHandle(file_); }

    std::string notOnDisk() const override { return notOnDisk_; }

    bool append(const std::string& line, std::string& error) override {
        // A pipe or a device: no end to find, no lock to take, no disk to flush to (a flush of
        // a pipe would wait for its reader).
        if (!notOnDisk_.empty()) return writeAll(line + "\n", error);
        // The lock (on a byte far past any end the file will reach) keeps the processes that
        // share the file one at a time; under it, the end is where this line goes.
        OVERLAPPED at{};
        at.Offset = 0xFFFFFFFE;
        at.OffsetHigh = 0x7FFFFFFF;
        if (!LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
            error = systemText(GetLastError());
            return false;
        }
        LARGE_INTEGER size{};
        std::string torn;
        bool ok = GetFileSizeEx(file_, &size) &&
                  tornTail(
                      size.QuadPart,
                      [this](int64_t at, size_t length, char* into) {
                          LARGE_INTEGER from{};
                          from.QuadPart = at;
                          DWORD got = 0;
                          return SetFilePointerEx(file_, from, nullptr, FILE_BEGIN) &&
                                 ReadFile(file_, into, static_cast<DWORD>(length), &got, nullptr) &&
                                 got == length;
                      },
                      torn);
        if (ok) {
            // Where the torn tail begins (or, left in place without a repair, the end).
            LARGE_INTEGER where{};
            where.QuadPart =
                repairs() ? size.QuadPart - static_cast<LONGLONG>(torn.size()) : size.QuadPart;
            ok = SetFilePointerEx(file_, where, nullptr, FILE_BEGIN) &&
                 writeAll(recordsAfter(torn, line), error) && FlushFileBuffers(file_);
        }
        if (!ok && error.empty()) error = systemText(GetLastError());
        UnlockFileEx(file_, 0, 1, 0, &at);
        return ok;
    }

private:
    bool writeAll(const std::string& bytes, std::string& error) {
        DWORD written = 0;
        if (WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size())
            return true;
        error = written > 0 ? "the disk took only part of a line" : systemText(GetLastError());
        return false;
    }

    HANDLE file_;
    const std::string notOnDisk_;
};

} // namespace

std::unique_ptr<RecordFile> openRecordFile(const std::string& path, std::string& error) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = systemText(GetLastError());
        return nullptr;
    }
    const DWORD type = GetFileType(file);
    return std::make_unique<Win32RecordFile>(file, type == FILE_TYPE_DISK ? std::string()
                                                   : type == FILE_TYPE_PIPE
                                                       ? std::string("a pipe")
                                                       : std::string("a device"));
}

} // namespace station

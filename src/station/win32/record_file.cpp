#include "station/record_file.h"

#include <windows.h>

#include <utility>

namespace station {

namespace {

std::string systemText(DWORD error) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

class Win32RecordFile final : public RecordFile {
public:
    Win32RecordFile(HANDLE file, std::string notOnDisk)
        : file_(file), notOnDisk_(std::move(notOnDisk)) {}
    ~Win32RecordFile() override { CloseHandle(file_); }

    std::string notOnDisk() const override { return notOnDisk_; }

    bool append(const std::string& line, std::string& error) override {
        if (!notOnDisk_.empty()) return appendUnlocked(line + "\n", error);
        // The lock (on a byte far past any end the file will reach) keeps the processes that
        // share the file one at a time; under it, the end is where this line goes.
        OVERLAPPED at{};
        at.Offset = 0xFFFFFFFE;
        at.OffsetHigh = 0x7FFFFFFF;
        if (!LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
            error = systemText(GetLastError());
            return false;
        }
        // A process killed in the middle of a write may have left part of a line: this line
        // starts on a line of its own, so that it stays whole.
        std::string record = line + "\n";
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file_, &size) && size.QuadPart > 0) {
            LARGE_INTEGER lastByte{};
            lastByte.QuadPart = size.QuadPart - 1;
            char last = '\n';
            DWORD got = 0;
            if (SetFilePointerEx(file_, lastByte, nullptr, FILE_BEGIN) &&
                ReadFile(file_, &last, 1, &got, nullptr) && got == 1 && last != '\n')
                record.insert(record.begin(), '\n');
        }
        LARGE_INTEGER none{};
        if (!SetFilePointerEx(file_, none, nullptr, FILE_END)) {
            error = systemText(GetLastError());
            UnlockFileEx(file_, 0, 1, 0, &at);
            return false;
        }
        DWORD written = 0;
        const bool whole =
            WriteFile(file_, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
            written == record.size();
        const DWORD writeError = GetLastError();
        const bool synced = whole && FlushFileBuffers(file_);
        const DWORD syncError = GetLastError();
        UnlockFileEx(file_, 0, 1, 0, &at);
        if (!whole) {
            error = written > 0 ? "the disk took only part of a line" : systemText(writeError);
            return false;
        }
        if (!synced) {
            error = systemText(syncError);
            return false;
        }
        return true;
    }

private:
    // A pipe or a device: no end to find, no lock to take, no disk to flush to (a flush of a
    // pipe would wait for its reader).
    bool appendUnlocked(const std::string& record, std::string& error) {
        DWORD written = 0;
        if (WriteFile(file_, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
            written == record.size())
            return true;
        error = written > 0 ? "only part of a line was taken" : systemText(GetLastError());
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

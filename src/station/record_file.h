// A file of records that several processes append to at once, one record a line. Each record
// is written whole under a lock that every process honours, and is on the disk before append()
// returns. A writer killed in the middle of a long record (kill -9, a power cut) can
// still leave part of a line at the end; the next writer to append finds that torn tail, under
// the lock, and replaces it with one whole record that holds the cut text (made by the function
// given to repairWith), before its own. Every line of the file then parses. One source per
// system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace station {

class RecordFile {
public:
    virtual ~RecordFile() = default;
    // False, with the system's words in error, when the line could not be written whole.
    virtual bool append(const std::string& line, std::string& error) = 0;
    // Why lines are not put on a disk before append returns: "" for a file on a disk; for a
    // pipe, a FIFO or a device, which cannot be synced, what it is ("a pipe").
    virtual std::string notOnDisk() const { return {}; }
    // The whole record (without its line break) that takes the place of a torn tail, given the
    // tail. Without one, a record after a torn tail starts a line of its own.
    void repairWith(std::function<std::string(std::string_view torn)> cutRecord) {
        cutRecord_ = std::move(cutRecord);
    }

protected:
    // What goes where the file ends, or where its torn tail begins: the tail's record first.
    std::string recordsAfter(std::string_view torn, const std::string& line) const {
        if (torn.empty()) return line + "\n";
        if (!cutRecord_) return "\n" + line + "\n";
        return cutRecord_(torn) + "\n" + line + "\n";
    }
    bool repairs() const { return static_cast<bool>(cutRecord_); }
    // The bytes after the last line break of a file of `size` bytes (what a killed writer left
    // of its record), read backwards a block at a time by read(offset, length, into), which
    // answers false when it cannot.
    static bool tornTail(int64_t size, const std::function<bool(int64_t, size_t, char*)>& read,
                         std::string& torn);

private:
    std::function<std::string(std::string_view torn)> cutRecord_;
};

// Opens (or creates) the file for appending; none, with the reason in error, when it cannot.
std::unique_ptr<RecordFile> openRecordFile(const std::string& path, std::string& error);
// openRecordFile, or a test's stand-in for it.
using OpenRecordFile =
    std::function<std::unique_ptr<RecordFile>(const std::string& path, std::string& error)>;

} // namespace station

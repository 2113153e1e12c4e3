// A file of records that several processes append to at once: each record is one line, written
// with one write under a lock that every process honours, and on the disk before append()
// returns, so that a crash (or a kill -9) never leaves half a line. One source per system.
#pragma once

#include <memory>
#include <string>

namespace station {

class RecordFile {
public:
    virtual ~RecordFile() = default;
    // False, with the system's words in error, when the line could not be written whole.
    virtual bool append(const std::string& line, std::string& error) = 0;
    // Why lines are not put on a disk before append returns: "" for a file on a disk; for a
    // pipe, a FIFO or a device, which cannot be synced, what it is ("a pipe").
    virtual std::string notOnDisk() const { return {}; }
};

// Opens (or creates) the file for appending; none, with the reason in error, when it cannot.
std::unique_ptr<RecordFile> openRecordFile(const std::string& path, std::string& error);

} // namespace station

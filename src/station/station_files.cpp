#include "station/station_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace station {

std::optional<std::string> readWholeFile(const std::string& path, std::string& error) {
    // A folder opens as a stream on some systems and fails only when read.
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        error = std::make_error_code(std::errc::is_a_directory).message();
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    try {
        // The stream's buffer throws when the system's read fails (EIO, a folder).
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in.bad()) return bytes;
    } catch (const std::ios_base::failure&) {
    }
    error = std::strerror(errno);
    return std::nullopt;
}

std::optional<StationFiles> openStationFiles(const StationFileNames& names,
                                             const firmware::Product& product,
                                             const JournalContext& journalContext,
                                             const OpenRecordFile& openJournal,
                                             std::vector<std::string>& error) {
    StationFiles files;
    std::string why;
    if (!names.image.empty()) {
        if (product.filesForbidden) {
            error = {"--image: this product takes no firmware files (" +
                     std::string(product.identity) + "): its images are built in"};
            return std::nullopt;
        }
        const std::optional<std::string> bytes = readWholeFile(names.image, why);
        if (!bytes) {
            error = {names.image + ": cannot be read: " + why};
            return std::nullopt;
        }
        files.image = std::make_unique<firmware::FileImages>(names.image, *bytes, product);
        if (!files.image->ok()) {
            error = {files.image->error(), "nothing was sent"};
            return std::nullopt;
        }
    }
    if (!names.bays.empty()) {
        const std::optional<std::string> text = readWholeFile(names.bays, why);
        if (!text) {
            error = {names.bays + ": cannot be read: " + why};
            return std::nullopt;
        }
        BaysFile parsed = parseBays(names.bays, *text);
        if (!parsed.error.empty()) {
            error = {parsed.error};
            return std::nullopt;
        }
        files.bays = std::move(parsed.bays);
    }
    if (!names.journal.empty()) {
        // No record, no programming: a journal that cannot take lines stops the station here.
        std::unique_ptr<RecordFile> file = openJournal ? openJournal(names.journal, why) : nullptr;
        if (!file) {
            error = {"--journal " + names.journal + ": cannot be opened for appending: " + why};
            return std::nullopt;
        }
        if (const std::string kind = file->notOnDisk(); !kind.empty())
            files.notices.push_back("--journal " + names.journal + " is " + kind +
                                    ", not a file on a disk: its records are written without a "
                                    "sync");
        files.journal = std::make_unique<Journal>(std::move(file), journalContext);
    }
    return files;
}

} // namespace station

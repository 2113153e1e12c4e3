// The files that define a station besides its ports: a firmware file in place of the built-in
// images, the bays file and the journal, read and opened before any port is touched. trevane-cli
// and the station window take the same options and read them here.
#pragma once

#include "firmware/file_images.h"
#include "firmware/product.h"
#include "station/bays.h"
#include "station/journal.h"
#include "station/record_file.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace station {

// A file's bytes; none, with the system's words in error ("Is a directory"), when it cannot be
// read.
std::optional<std::string> readWholeFile(const std::string& path, std::string& error);

struct StationFileNames {
    std::string image;   // "": the built-in images
    std::string bays;    // "": no bays
    std::string journal; // "": no records
};

struct StationFiles {
    std::unique_ptr<firmware::FileImages> image; // none: the built-in images
    std::vector<Bay> bays;
    std::unique_ptr<Journal> journal; // none: no records
    // For a person, though nothing is wrong: "--journal /dev/full is a device, ..."
    std::vector<std::string> notices;
};

// Reads the firmware file and the bays file and opens the journal. None when one of them is at
// fault, with the lines that say why in `error` (no record, no programming: a journal that
// cannot be opened is such a fault).
std::optional<StationFiles> openStationFiles(const StationFileNames& names,
                                             const firmware::Product& product,
                                             const JournalContext& journalContext,
                                             const OpenRecordFile& openJournal,
                                             std::vector<std::string>& error);

} // namespace station

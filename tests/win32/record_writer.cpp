// A journal writer for the record file's tests under wine: appends records to the file until it
// has written as many as asked (0: until it is ended), each through the journal's own repair.
//   record_writer.exe PATH TAG COUNT BYTES     records {"tag": TAG, "i": n, "pad": BYTES of x}
#include "station/journal.h"
#include "station/json_text.h"
#include "station/record_file.h"

#include <chrono>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const std::string tag = argv[2];
    const long count = std::atol(argv[3]);
    const size_t bytes = static_cast<size_t>(std::atol(argv[4]));
    std::string error;
    const std::unique_ptr<station::RecordFile> file = station::openRecordFile(argv[1], error);
    if (!file) return 3;
    file->repairWith([](std::string_view torn) {
        return station::dumpLine(station::cutRecord(torn, std::chrono::system_clock::now()));
    });
    for (long i = 0; count == 0 || i < count; ++i) {
        // Lengths that vary, so that a kill lands at every kind of place in a record.
        const std::string pad(bytes + static_cast<size_t>(i % 7) * bytes / 3, 'x');
        if (!file->append(station::dumpLine(station::Json{{"tag", tag}, {"i", i}, {"pad", pad}}),
                          error))
            return 4;
    }
    return 0;
}

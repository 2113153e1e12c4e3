#include "station/record_file.h"

#include <string_view>

namespace station {

bool RecordFile::tornTail(int64_t size, const std::function<bool(int64_t, size_t, char*)>& read,
                          std::string& torn) {
    char block[65536];
    for (int64_t end = size; end > 0;) {
        const int64_t start =
            end > static_cast<int64_t>(sizeof block) ? end - static_cast<int64_t>(sizeof block) : 0;
        const auto length = static_cast<size_t>(end - start);
        if (!read(start, length, block)) return false;
        const std::string_view got(block, length);
        const size_t newline = got.rfind('\n');
        if (newline != std::string_view::npos) {
            torn.insert(0, got.substr(newline + 1));
            return true;
        }
        torn.insert(0, got);
        end = start;
    }
    return true;
}

} // namespace station

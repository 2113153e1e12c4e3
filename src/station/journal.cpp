#include "station/journal.h"

#include "station/records.h"

#include <cstdio>

namespace station {

std::string utcTimestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
    const auto days = static_cast<int>(ms >= 0 ? ms / 86'400'000 : (ms - 86'399'999) / 86'400'000);
    const year_month_day date{sys_days{std::chrono::days{days}}};
    const long long inDay = ms - static_cast<long long>(days) * 86'400'000;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), inDay / 3'600'000, inDay / 60'000 % 60,
                  inDay / 1000 % 60, inDay % 1000);
    return text;
}

Json journalRecord(const BoardEntry& e, const JournalContext& context,
                   std::chrono::system_clock::time_point time) {
    Json r;
    r["event"] = e.board ? "board" : "no-board";
    r["time"] = utcTimestamp(time);
    r["host"] = jsonText(context.host);
    if (!context.operatorName.empty()) r["operator"] = jsonText(context.operatorName);
    r["bay"] = e.bay.empty() ? Json(nullptr) : Json(jsonText(e.bay));
    r["port"] = jsonText(e.port.name);
    Json adapter;
    adapter["place"] = jsonText(e.port.place);
    adapter["vendor"] = jsonText(e.port.vendorId);
    adapter["product"] = jsonText(e.port.productId);
    adapter["serial"] = jsonText(e.port.serial);
    r["adapter"] = adapter;
    r["board"] = e.board ? boardJson(*e.board, e.chip) : Json(nullptr);
    r["image"] = imageJson(e.result.image, context.productIdentity);
    r["result"] = resultJson(e.result.result, e.result.notRecorded);
    r["seconds"] = thousandths(e.result.seconds);
    r["resends"] = e.resends;
    if (e.result.replies) r["reply_ms"] = replyTimingJson(*e.result.replies);
    if (e.result.adapterMs) r["adapter_ms"] = thousandths(*e.result.adapterMs);
    r["trevane"] = context.trevaneVersion;
    return r;
}

Json cutRecord(std::string_view torn, std::chrono::system_clock::time_point time) {
    Json r;
    r["event"] = "cut";
    r["time"] = utcTimestamp(time);
    r["text"] = jsonText(torn);
    return r;
}

Journal::Journal(std::unique_ptr<RecordFile> file, JournalContext context)
    : file_(std::move(file)), context_(std::move(context)) {
    // What a writer killed in the middle of its record left stays, as a record of its own.
    file_->repairWith([](std::string_view torn) {
        return dumpLine(cutRecord(torn, std::chrono::system_clock::now()));
    });
}

bool Journal::record(const BoardEntry& entry) {
    {
        std::lock_guard lock(mutex_);
        if (failed_) return false;
        const std::string line =
            dumpLine(journalRecord(entry, context_, std::chrono::system_clock::now()));
        std::string error;
        if (file_->append(line, error)) return true;
        error_ = error;
        failed_ = true;
    }
    if (onFailure_) onFailure_();
    return false;
}

std::string Journal::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

} // namespace station

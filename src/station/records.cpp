#include "station/records.h"

#include "chips/chip_table.h"
#include "text/text.h"

#include <cmath>

namespace station {

double thousandths(double value) {
    return std::round(value * 1000.0) / 1000.0;
}

Json boardJson(const engine::BoardFound& found, const chips::Chip* chip) {
    const engine::Identification& id = found.identification;
    Json board;
    board["bios"] = id.biosCode;
    board["chip"] = id.chipCode;
    board["chipName"] = chip ? Json(chip->part) : Json(nullptr);
    board["index"] = id.boardIndex;
    board["preparation"] = id.preparation;
    board["fullIdentification"] = found.fullIdentification;
    board["description"] = engine::sendsBoardRecord(id.biosCode)
                               ? Json(jsonText(found.record.description))
                               : Json(nullptr);
    return board;
}

Json imageJson(const std::optional<ImageInfo>& info, const std::string& productIdentity) {
    Json image;
    image["product"] = jsonText(productIdentity);
    if (!info) {
        image["source"] = nullptr;
        return image;
    }
    image["source"] = info->fromFile ? "file" : "built-in";
    if (info->fromFile) image["file"] = jsonText(info->file);
    image["slot"] = info->slot;
    image["sha256"] = info->sha256;
    return image;
}

Json resultJson(const engine::Result& result, bool notRecorded) {
    Json outcome;
    outcome["ok"] = result.ok() && !notRecorded;
    outcome["text"] = std::string(result.text());
    outcome["outcome"] = std::string(engine::outcomeName(result.outcome()));
    if (result.cause() == engine::Cause::PortGone) {
        outcome["cause"] = "port-gone";
        outcome["percent"] = result.percentDone();
    }
    if (notRecorded) outcome["recorded"] = false;
    return outcome;
}

Json replyTimingJson(const ReplyTiming& timing) {
    Json j;
    j["median"] = thousandths(timing.medianMs);
    j["p95"] = thousandths(timing.p95Ms);
    j["max"] = thousandths(timing.maxMs);
    j["count"] = timing.count;
    return j;
}

std::string resultText(const engine::Result& result) {
    std::string line = text::trimmed(result.text());
    if (result.cause() == engine::Cause::PortGone)
        line += " (the adapter was removed at " + std::to_string(result.percentDone()) + " %)";
    return line;
}

} // namespace station

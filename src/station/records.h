// The JSON of a board, its image and its result, written once: the journal's records and
// trevane-cli's --json events carry the same objects with the same keys, so that a program
// reading either reads both.
#pragma once

#include "engine/observer.h"
#include "engine/result.h"
#include "station/json_text.h"
#include "station/observer.h"

#include <optional>
#include <string>

namespace chips {
struct Chip;
}

namespace station {

// Seconds or milliseconds as the records give them: to the thousandth.
double thousandths(double value);

// {"bios", "chip", "chipName", "index", "preparation", "fullIdentification", "description"}:
// the description is null where the bootloader sends no board data record.
Json boardJson(const engine::BoardFound& board, const chips::Chip* chip);

// {"product", "source": "file" | "built-in" | null, "file" (from a file), "slot", "sha256"}.
Json imageJson(const std::optional<ImageInfo>& image, const std::string& productIdentity);

// {"ok", "text", "outcome", and after a pulled adapter "cause": "port-gone" and "percent";
// "recorded": false for a board whose record could not be written}.
Json resultJson(const engine::Result& result, bool notRecorded = false);

// {"median", "p95", "max", "count"}, in ms to the microsecond.
Json replyTimingJson(const ReplyTiming& timing);

} // namespace station

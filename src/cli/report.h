// What trevane-cli tells about its ports while they update, in one of three forms: progress
// lines redrawn in place on a terminal, one plain line per milestone otherwise, or one JSON
// object a line for programs. Every port's thread reports here; the reports serialise them.
#pragma once

#include "station/observer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

using station::AddressRange;
using station::BoardResult;
using station::DryRun;
using station::ImageInfo;
using station::PortTally;
using station::Stage;
using station::Summary;

// The stations' events in one of three forms, each serialising the stations' threads itself.
class Report : public station::StationObserver {
public:
    // The end of the run: the summary, and the command line that retries the ports worth
    // retrying ("" for none).
    virtual void finish(const Summary& summary, const std::string& retryCommand) = 0;
};

enum class ReportForm { Terminal, Lines, Json };

// out: what the form writes (stdout); err: messages for a person (stderr); productIdentity names
// the product whose images are written, in the JSON of an image. outputLost is called once
// (under the report's lock, on the thread that wrote) when out stops taking lines.
std::unique_ptr<Report> makeReport(ReportForm form, std::ostream& out, std::ostream& err,
                                   std::string productIdentity = {},
                                   std::function<void()> outputLost = nullptr);

} // namespace cli

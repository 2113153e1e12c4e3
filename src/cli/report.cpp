#include "cli/report.h"

#include "chips/chip_table.h"
#include "station/json_text.h"
#include "station/records.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>

namespace cli {
namespace {

using station::dumpLine;
using station::Json;
using station::jsonText;
using station::resultText;

using Clock = std::chrono::steady_clock;
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100); // at most 10 a second a port

std::string portLabel(const std::string& port, int board) {
    return board > 0 ? port + " #" + std::to_string(board) : port;
}

std::string countsText(int programmed, int failed, int notRecorded = 0, bool dryRun = false) {
    if (dryRun)
        return "dry run: " + std::to_string(programmed) + " would be written, " +
               std::to_string(failed) + " would not; nothing was written";
    return std::to_string(programmed) + " programmed, " + std::to_string(failed) + " failed" +
           (notRecorded > 0 ? " (" + std::to_string(notRecorded) + " programmed, not recorded)"
                            : std::string());
}

// A board's ending as the plain lines give it: "Program Ok (programmed, not recorded)".
std::string boardText(const BoardResult& board) {
    if (!board.notRecorded) return resultText(board.result);
    return resultText(board.result) +
           (board.result.ok() ? " (programmed, not recorded)" : " (not recorded)");
}

std::string milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", ms);
    return text;
}

std::string labelOf(const std::string& port, const std::string& bay) {
    return bay.empty() ? port : bay + " " + port;
}

std::string percentText(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", percent);
    return text;
}

// A result line names an image that came from a file.
std::string imageText(const BoardResult& board) {
    if (!board.image || !board.image->fromFile) return {};
    return " [image " + board.image->file + ", sha256 " + board.image->sha256 + "]";
}

// The summary for a person: a line per bay or port, the counts, the command that retries.
void writeSummary(std::ostream& to, const Summary& s, const std::string& retryCommand) {
    if (!s.dryRun && (s.ports.size() > 1 || (s.ports.size() == 1 && s.ports[0].replies))) {
        for (const PortTally& p : s.ports) {
            to << labelOf(p.port, p.bay) << ": "
               << countsText(p.programmed, p.failed, p.programmedNotRecorded);
            if (p.yieldPercent()) to << ", yield " << percentText(*p.yieldPercent());
            if (p.replies) to << ", replies " << milliseconds(p.replies->medianMs) << " median";
            if (p.adapter) to << ", adapter " << milliseconds(p.adapter->minMs);
            to << '\n';
        }
    }
    to << countsText(s.programmed, s.failed, s.programmedNotRecorded, s.dryRun) << '\n';
    if (!retryCommand.empty()) to << "retry: " << retryCommand << '\n';
    to.flush();
}

// The one lock every form holds while it writes, so that the ports' threads never mix their
// lines. The forms implement the on... members, called under it.
class LockedReport : public Report {
public:
    LockedReport(std::ostream& out, std::ostream& err, std::function<void()> outputLost)
        : out_(out), err_(err), outputLost_(std::move(outputLost)) {}

    void stationStarted(int station, const serial::PortDescription& port,
                        const std::string& bay) final {
        serve([&] {
            // A port whose station starts again keeps its number and its line.
            if (static_cast<size_t>(station) < ports_.size()) return;
            ports_.resize(static_cast<size_t>(station) + 1);
            bays_.resize(static_cast<size_t>(station) + 1);
            ports_[static_cast<size_t>(station)] = port.name;
            bays_[static_cast<size_t>(station)] = bay;
            onPortAdded(station);
        });
    }
    void searchTry(int port, int attempt) final {
        serve([&] { onSearchTry(port, attempt); });
    }
    void boardFound(int port, const engine::BoardFound& board, const chips::Chip* chip) final {
        serve([&] { onBoardFound(port, board, chip); });
    }
    void imageLoaded(int port, const engine::LoadedImage& image) final {
        serve([&] { onImageLoaded(port, image); });
    }
    void phase(int port, engine::Phase phase) final {
        serve([&] { onPhase(port, std::string(engine::phaseText(phase))); });
    }
    void progress(int port, Stage stage, int32_t done, int32_t total) final {
        serve([&] { onProgress(port, stage, done, total); });
    }
    void resend(int port, int attempt) final {
        serve([&] { onResend(port, attempt); });
    }
    void result(int port, const BoardResult& board, int programmed, int failed) final {
        serve([&] { onResult(port, board, programmed, failed); });
    }
    void problem(int port, const std::string& text) final {
        serve([&] { onProblem(port, text); });
    }
    void hint(int port, const std::string& text) final {
        serve([&] { onHint(port, text); });
    }
    void note(int port, const std::string& text) final {
        serve([&] { onNote(port, text); });
    }
    void plan(int port, const DryRun& plan) final {
        serve([&] { onPlan(port, plan); });
    }
    void finish(const Summary& summary, const std::string& retryCommand) final {
        serve([&] { onFinish(summary, retryCommand); });
    }

protected:
    virtual void onPortAdded(int) {}
    virtual void onSearchTry(int port, int attempt) = 0;
    virtual void onBoardFound(int port, const engine::BoardFound& board,
                              const chips::Chip* chip) = 0;
    virtual void onImageLoaded(int port, const engine::LoadedImage& image) = 0;
    virtual void onPhase(int port, const std::string& text) = 0;
    virtual void onProgress(int port, Stage stage, int32_t done, int32_t total) = 0;
    virtual void onResend(int port, int attempt) = 0;
    virtual void onResult(int port, const BoardResult& board, int programmed, int failed) = 0;
    virtual void onProblem(int port, const std::string& text) = 0;
    virtual void onHint(int port, const std::string& text) = 0;
    virtual void onNote(int port, const std::string& text) = 0;
    virtual void onPlan(int port, const DryRun& plan) = 0;
    virtual void onFinish(const Summary& summary, const std::string& retryCommand) = 0;

    const std::string& portName(int port) const { return ports_[static_cast<size_t>(port)]; }
    const std::string& bayName(int port) const { return bays_[static_cast<size_t>(port)]; }
    // How a person's lines name the port: "A1 COM33" in a bay, else "COM33".
    std::string label(int port) const { return labelOf(portName(port), bayName(port)); }
    // A message for a person, on stderr.
    void say(const std::string& text) {
        err_ << text << '\n';
        err_.flush();
    }

    std::ostream& out_;
    std::ostream& err_;

private:
    // Runs a form's member under the lock; a standard output that no longer takes lines (its
    // reader has gone) is told once, so that the run can end as on Ctrl+C.
    template <typename Write> void serve(Write write) {
        std::lock_guard lock(mutex_);
        write();
        if (out_.fail() && !outputLostTold_) {
            outputLostTold_ = true;
            if (outputLost_) outputLost_();
        }
    }

    std::mutex mutex_;
    std::vector<std::string> ports_;
    std::vector<std::string> bays_;
    const std::function<void()> outputLost_;
    bool outputLostTold_ = false;
};

std::string hex(int32_t value, int digits = 4) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

// A dry run's plan as lines for a person; the last says that nothing was written.
std::vector<std::string> planLines(const DryRun& p) {
    std::vector<std::string> lines;
    if (!p.result.ok()) {
        lines.push_back("dry run: the image would not be written: " + resultText(p.result));
    } else {
        std::string image = "dry run: would write the ";
        if (p.image && p.image->fromFile)
            image += "image of " + p.image->file;
        else
            image += "built-in image";
        if (p.image)
            image +=
                " (slot " + std::to_string(p.image->slot) + ", sha256 " + p.image->sha256 + ")";
        lines.push_back(image + " to the " + (p.chip ? p.chip->part : "chip"));
        std::string flash = "flash";
        for (const AddressRange& r : p.ranges)
            flash += " " + hex(r.first) + "-" + hex(r.end - 1);
        lines.push_back(flash + " in " + std::to_string(p.flashFrames) + " frames");
        if (p.skippedFrames > 0)
            lines.push_back("protected " + hex(p.protectedStart) + "-" +
                            hex(p.protectedStart + p.protectedLength - 1) + ": " +
                            std::to_string(p.skippedFrames) + " frames left out");
        lines.push_back("fix frame at " + hex(p.fixAddress) +
                        (p.resetVector.empty()
                             ? std::string()
                             : " (the application's reset vector: " + p.resetVector + ")") +
                        "; EEPROM " + std::to_string(p.eepromBytes) + " bytes" +
                        (p.programMode ? "; the program-mode byte first" : ""));
        char time[96];
        std::snprintf(time, sizeof time, "about %.1f s at 115200 baud (%lld bytes on the line)",
                      p.seconds, static_cast<long long>(p.wireBytes));
        lines.push_back(time);
    }
    lines.push_back("dry run: nothing was written");
    return lines;
}

// What a port's line shows on a terminal.
struct PortLine {
    std::string chip;
    std::string phase = "waiting";
    int32_t done = 0;
    int32_t total = 0;
    Clock::time_point drawn{};
    std::string last; // the last result line
};

class TerminalReport final : public LockedReport {
public:
    using LockedReport::LockedReport;

private:
    // A new line below the block: the block grows by one.
    void onPortAdded(int port) override {
        lines_.emplace_back();
        out_ << format(port) << '\n';
        out_.flush();
    }
    void onSearchTry(int port, int attempt) override {
        update(port, attempt == 0, [&](PortLine& l) {
            l.phase = "searching";
            l.done = l.total = 0;
        });
    }
    void onBoardFound(int port, const engine::BoardFound&, const chips::Chip* chip) override {
        update(port, true, [&](PortLine& l) {
            l.chip = chip ? chip->part : "unknown chip";
            l.phase = "found";
        });
    }
    void onImageLoaded(int, const engine::LoadedImage&) override {}
    void onPhase(int port, const std::string& text) override {
        update(port, true, [&](PortLine& l) { l.phase = text; });
    }
    void onProgress(int port, Stage stage, int32_t done, int32_t total) override {
        update(port, false, [&](PortLine& l) {
            l.phase = stage == Stage::Flash ? "writing" : "EEPROM";
            l.done = done;
            l.total = total;
        });
    }
    void onResend(int port, int attempt) override {
        update(port, true, [&](PortLine& l) { l.phase = "resend " + std::to_string(attempt); });
    }
    void onResult(int port, const BoardResult& board, int programmed, int failed) override {
        update(port, true, [&](PortLine& l) {
            l.phase = boardText(board);
            if (board.board > 0)
                l.phase = "#" + std::to_string(board.board) + " " + l.phase + "; " +
                          countsText(programmed, failed);
            if (board.result.ok()) l.done = l.total = l.total > 0 ? l.total : 1;
            l.last =
                portLabel(label(port), board.board) + ": " + boardText(board) + imageText(board);
        });
    }
    void onProblem(int port, const std::string& text) override {
        update(port, true, [&](PortLine& l) { l.phase = text; });
    }
    // Written to stderr they would break the block of lines redrawn in place: kept for the end.
    void onHint(int, const std::string& text) override { hints_.push_back(text); }
    void onNote(int port, const std::string& text) override {
        notes_.push_back(label(port) + ": " + text);
    }
    void onPlan(int port, const DryRun& plan) override {
        update(port, true, [&](PortLine& l) {
            l.phase = plan.result.ok() ? "dry run: would write" : "dry run: would not write";
        });
        for (const std::string& line : planLines(plan))
            notes_.push_back(label(port) + ": " + line);
    }
    void onFinish(const Summary& summary, const std::string& retryCommand) override {
        for (const std::string& note : notes_)
            out_ << note << '\n';
        for (const PortLine& l : lines_)
            if (!l.last.empty()) out_ << l.last << '\n';
        writeSummary(out_, summary, retryCommand);
        for (const std::string& hint : hints_)
            say(hint);
    }

    template <typename Change> void update(int port, bool force, Change change) {
        PortLine& l = lines_[static_cast<size_t>(port)];
        change(l);
        const auto now = Clock::now();
        if (!force && now - l.drawn < kRedrawPeriod) return;
        l.drawn = now;
        // Up to the port's line, redraw it, and back down below the block.
        const size_t up = lines_.size() - static_cast<size_t>(port);
        out_ << "\x1b[" << up << "A\r" << format(port) << "\x1b[K\x1b[" << up << "B\r";
        out_.flush();
    }

    std::string format(int port) const {
        const PortLine& l = lines_[static_cast<size_t>(port)];
        char text[200];
        if (l.total > 0) {
            const int percent = static_cast<int>(100LL * l.done / l.total);
            const int filled = percent / 5;
            std::snprintf(text, sizeof text, "%-8s %-12s [%-20s] %3d%%  %s", label(port).c_str(),
                          l.chip.c_str(), std::string(static_cast<size_t>(filled), '#').c_str(),
                          percent, l.phase.c_str());
        } else {
            std::snprintf(text, sizeof text, "%-8s %-12s %s", label(port).c_str(), l.chip.c_str(),
                          l.phase.c_str());
        }
        return text;
    }

    std::vector<PortLine> lines_;
    std::vector<std::string> hints_;
    std::vector<std::string> notes_;
};

// One plain line per milestone, never redrawn: for logs and pipes.
class LineReport final : public LockedReport {
public:
    using LockedReport::LockedReport;

private:
    void onSearchTry(int port, int attempt) override {
        if (attempt == 0) line(port, "Searching");
    }
    void onBoardFound(int port, const engine::BoardFound&, const chips::Chip* chip) override {
        line(port, std::string(engine::deviceText(chip)));
    }
    void onImageLoaded(int port, const engine::LoadedImage& image) override {
        line(port, engine::loadedText(image));
    }
    void onPhase(int port, const std::string& text) override { line(port, text); }
    void onProgress(int, Stage, int32_t, int32_t) override {}
    void onResend(int port, int attempt) override { line(port, engine::resendText(attempt)); }
    void onResult(int port, const BoardResult& board, int programmed, int failed) override {
        out_ << portLabel(label(port), board.board) << ": " << boardText(board);
        if (board.board > 0) out_ << " (" << countsText(programmed, failed) << ")";
        out_ << imageText(board) << '\n';
        out_.flush();
    }
    void onProblem(int, const std::string& text) override { say(text); }
    void onHint(int, const std::string& text) override { say(text); }
    void onNote(int port, const std::string& text) override { line(port, text); }
    void onPlan(int port, const DryRun& plan) override {
        for (const std::string& text : planLines(plan))
            line(port, text);
    }
    void onFinish(const Summary& summary, const std::string& retryCommand) override {
        writeSummary(out_, summary, retryCommand);
    }

    void line(int port, const std::string& text) {
        out_ << label(port) << ": " << text << '\n';
        out_.flush();
    }
};

// One JSON object a line. The board, image and result objects are the journal's (records.h).
class JsonReport final : public LockedReport {
public:
    JsonReport(std::ostream& out, std::ostream& err, std::function<void()> outputLost,
               std::string productIdentity)
        : LockedReport(out, err, std::move(outputLost)),
          productIdentity_(std::move(productIdentity)) {}

private:
    void onPortAdded(int) override { lastProgress_.emplace_back(); }
    void onSearchTry(int port, int attempt) override {
        Json e = event(port, "search");
        e["try"] = attempt;
        write(e);
    }
    void onBoardFound(int port, const engine::BoardFound& board, const chips::Chip* chip) override {
        Json e = event(port, "found");
        e.update(station::boardJson(board, chip));
        write(e);
    }
    void onImageLoaded(int port, const engine::LoadedImage& image) override {
        Json e = event(port, "image");
        e["bytes"] = image.bytes;
        e["first"] = image.firstAddress;
        e["end"] = image.endAddress;
        write(e);
    }
    void onPhase(int port, const std::string& text) override {
        Json e = event(port, "phase");
        e["text"] = text;
        write(e);
    }
    void onProgress(int port, Stage stage, int32_t done, int32_t total) override {
        Clock::time_point& last = lastProgress_[static_cast<size_t>(port)];
        const auto now = Clock::now();
        if (done != total && now - last < kRedrawPeriod) return;
        last = now;
        Json e = event(port, "progress");
        e["stage"] = stage == Stage::Flash ? "flash" : "eeprom";
        e["done"] = done;
        e["total"] = total;
        write(e);
    }
    void onResend(int port, int attempt) override {
        Json e = event(port, "resend");
        e["attempt"] = attempt;
        write(e);
    }
    void onResult(int port, const BoardResult& board, int programmed, int failed) override {
        Json e = event(port, "result");
        e.update(station::resultJson(board.result, board.notRecorded));
        e["seconds"] = station::thousandths(board.seconds);
        if (board.replies) e["reply_ms"] = station::replyTimingJson(*board.replies);
        if (board.adapterMs) e["adapter_ms"] = station::thousandths(*board.adapterMs);
        if (board.replies && board.adapterMs)
            e["write_ms"] = station::thousandths(
                station::boardWorkMs(*board.adapterMs, board.replies->medianMs));
        if (board.image) e["image"] = station::imageJson(board.image, productIdentity_);
        if (board.board > 0) {
            e["board"] = board.board;
            e["programmed"] = programmed;
            e["failed"] = failed;
        }
        write(e);
    }
    void onProblem(int port, const std::string& text) override {
        Json e = event(port, "problem");
        e["text"] = jsonText(text);
        write(e);
        say(text);
    }
    void onHint(int port, const std::string& text) override {
        Json e = event(port, "hint");
        e["text"] = jsonText(text);
        write(e);
    }
    void onNote(int port, const std::string& text) override {
        Json e = event(port, "note");
        e["text"] = jsonText(text);
        write(e);
    }
    void onPlan(int port, const DryRun& p) override {
        Json e = event(port, "plan");
        e["write"] = p.result.ok();
        e["text"] = std::string(p.result.text());
        if (p.image) e["image"] = station::imageJson(p.image, productIdentity_);
        if (p.result.ok()) {
            Json ranges = Json::array();
            for (const AddressRange& r : p.ranges)
                ranges.push_back(Json{{"first", r.first}, {"end", r.end}});
            e["flash"] = ranges;
            e["frames"] = p.flashFrames;
            e["protected"] = Json{{"start", p.protectedStart},
                                  {"length", p.protectedLength},
                                  {"frames", p.skippedFrames}};
            e["fix"] = p.fixAddress;
            e["resetVector"] = p.resetVector;
            e["eeprom"] = p.eepromBytes;
            e["programMode"] = p.programMode;
            e["wireBytes"] = p.wireBytes;
            e["seconds"] = station::thousandths(p.seconds);
        }
        e["written"] = false;
        write(e);
    }
    void onFinish(const Summary& summary, const std::string& retryCommand) override {
        Json e;
        e["port"] = nullptr;
        e["event"] = "summary";
        if (summary.dryRun) {
            e["dryRun"] = true;
            e["wouldWrite"] = summary.programmed;
            e["wouldNotWrite"] = summary.failed;
            write(e);
            writeSummary(err_, summary, retryCommand);
            return;
        }
        Json ports = Json::array();
        for (const PortTally& p : summary.ports) {
            Json t;
            t["port"] = jsonText(p.port);
            t["bay"] = p.bay.empty() ? Json(nullptr) : Json(jsonText(p.bay));
            t["programmed"] = p.programmed;
            t["failed"] = p.failed;
            t["yield"] =
                p.yieldPercent() ? Json(std::round(*p.yieldPercent() * 10) / 10) : Json(nullptr);
            if (p.replies) t["reply_ms"] = station::replyTimingJson(*p.replies);
            if (p.adapter) t["adapter_ms"] = station::thousandths(p.adapter->minMs);
            ports.push_back(t);
        }
        e["ports"] = ports;
        e["programmed"] = summary.programmed;
        e["failed"] = summary.failed;
        if (summary.programmedNotRecorded > 0)
            e["programmedNotRecorded"] = summary.programmedNotRecorded;
        write(e);
        writeSummary(err_, summary, retryCommand); // for a person
    }

    Json event(int port, const char* name) const {
        Json e;
        e["port"] = jsonText(portName(port));
        if (!bayName(port).empty()) e["bay"] = jsonText(bayName(port));
        e["event"] = name;
        return e;
    }
    void write(const Json& e) {
        out_ << dumpLine(e) << '\n';
        out_.flush();
    }

    const std::string productIdentity_;
    std::vector<Clock::time_point> lastProgress_;
};

} // namespace

std::unique_ptr<Report> makeReport(ReportForm form, std::ostream& out, std::ostream& err,
                                   std::string productIdentity, std::function<void()> outputLost) {
    switch (form) {
    case ReportForm::Terminal:
        return std::make_unique<TerminalReport>(out, err, std::move(outputLost));
    case ReportForm::Lines:
        return std::make_unique<LineReport>(out, err, std::move(outputLost));
    case ReportForm::Json:
        return std::make_unique<JsonReport>(out, err, std::move(outputLost),
                                            std::move(productIdentity));
    }
    return nullptr;
}

} // namespace cli

#include "cli/report.h"

#include "chips/chip_table.h"

#include <cstdio>

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100); // at most 10 a second a port

std::string portLabel(const std::string& port, int board) {
    return board > 0 ? port + " #" + std::to_string(board) : port;
}

std::string countsText(int programmed, int failed) {
    return std::to_string(programmed) + " programmed, " + std::to_string(failed) + " failed";
}

void writeSummary(std::ostream& to, const Summary& s) {
    to << countsText(s.programmed, s.failed) << '\n';
    if (!s.retryPorts.empty()) to << "retry: " << s.retryCommand << '\n';
    to.flush();
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

class TerminalReport final : public Report {
public:
    TerminalReport(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void start(const std::vector<std::string>& ports) override {
        std::lock_guard lock(mutex_);
        ports_ = ports;
        lines_.assign(ports.size(), PortLine{});
        for (size_t i = 0; i < ports.size(); ++i) out_ << format(static_cast<int>(i)) << '\n';
        out_.flush();
    }
    void searchTry(int port, int attempt) override {
        update(port, attempt == 0, [&](PortLine& l) {
            l.phase = "searching";
            l.done = l.total = 0;
        });
    }
    void boardFound(int port, const engine::BoardFound&, const chips::Chip* chip) override {
        update(port, true, [&](PortLine& l) {
            l.chip = chip ? chip->part : "unknown chip";
            l.phase = "found";
        });
    }
    void imageLoaded(int, const engine::LoadedImage&) override {}
    void phase(int port, const char* text) override {
        update(port, true, [&](PortLine& l) { l.phase = text; });
    }
    void progress(int port, Stage stage, int32_t done, int32_t total) override {
        update(port, false, [&](PortLine& l) {
            l.phase = stage == Stage::Flash ? "writing" : "EEPROM";
            l.done = done;
            l.total = total;
        });
    }
    void resend(int port, int attempt) override {
        update(port, true, [&](PortLine& l) { l.phase = "resend " + std::to_string(attempt); });
    }
    void result(int port, const BoardResult& board, int programmed, int failed) override {
        update(port, true, [&](PortLine& l) {
            l.phase = trimmed(board.result.text());
            if (board.board > 0)
                l.phase = "#" + std::to_string(board.board) + " " + l.phase + "; " +
                          countsText(programmed, failed);
            if (board.result.ok()) l.done = l.total = l.total > 0 ? l.total : 1;
            l.last = portLabel(ports_[static_cast<size_t>(port)], board.board) + ": " +
                     trimmed(board.result.text());
        });
    }
    void problem(int port, const std::string& text) override {
        update(port, true, [&](PortLine& l) { l.phase = text; });
    }
    void finish(const Summary& summary) override {
        std::lock_guard lock(mutex_);
        for (const PortLine& l : lines_)
            if (!l.last.empty()) out_ << l.last << '\n';
        writeSummary(out_, summary);
        (void)err_;
    }

private:
    template <typename Change> void update(int port, bool force, Change change) {
        std::lock_guard lock(mutex_);
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
        char text[160];
        if (l.total > 0) {
            const int percent = static_cast<int>(100LL * l.done / l.total);
            const int filled = percent / 5;
            std::snprintf(text, sizeof text, "%-8s %-12s [%-20s] %3d%%  %s",
                          ports_[static_cast<size_t>(port)].c_str(), l.chip.c_str(),
                          std::string(static_cast<size_t>(filled), '#').c_str(), percent,
                          l.phase.c_str());
        } else {
            std::snprintf(text, sizeof text, "%-8s %-12s %s", ports_[static_cast<size_t>(port)].c_str(),
                          l.chip.c_str(), l.phase.c_str());
        }
        return text;
    }

    std::mutex mutex_;
    std::ostream& out_;
    std::ostream& err_;
    std::vector<std::string> ports_;
    std::vector<PortLine> lines_;
};

// One plain line per milestone, never redrawn: for logs and pipes.
class LineReport final : public Report {
public:
    LineReport(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void start(const std::vector<std::string>& ports) override {
        std::lock_guard lock(mutex_);
        ports_ = ports;
    }
    void searchTry(int port, int attempt) override {
        if (attempt == 0) line(port, "Searching");
    }
    void boardFound(int port, const engine::BoardFound&, const chips::Chip* chip) override {
        line(port, chip ? chip->statusText : "Unknow Device");
    }
    void imageLoaded(int port, const engine::LoadedImage& image) override {
        char text[64];
        std::snprintf(text, sizeof text, "Loaded %d bytes (%04X to %04X)",
                      static_cast<int>(image.bytes), static_cast<unsigned>(image.firstAddress),
                      static_cast<unsigned>(image.endAddress));
        line(port, text);
    }
    void phase(int port, const char* text) override { line(port, text); }
    void progress(int, Stage, int32_t, int32_t) override {}
    void resend(int port, int attempt) override { line(port, "Resend " + std::to_string(attempt)); }
    void result(int port, const BoardResult& board, int programmed, int failed) override {
        std::lock_guard lock(mutex_);
        out_ << portLabel(ports_[static_cast<size_t>(port)], board.board) << ": "
             << trimmed(board.result.text());
        if (board.board > 0) out_ << " (" << countsText(programmed, failed) << ")";
        out_ << '\n';
        out_.flush();
    }
    void problem(int, const std::string& text) override {
        std::lock_guard lock(mutex_);
        err_ << text << '\n';
        err_.flush();
    }
    void finish(const Summary& summary) override {
        std::lock_guard lock(mutex_);
        writeSummary(out_, summary);
    }

private:
    void line(int port, const std::string& text) {
        std::lock_guard lock(mutex_);
        out_ << ports_[static_cast<size_t>(port)] << ": " << text << '\n';
        out_.flush();
    }

    std::mutex mutex_;
    std::ostream& out_;
    std::ostream& err_;
    std::vector<std::string> ports_;
};

// A JSON string: board descriptions may hold any byte, which must not make the line invalid.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20 || b >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

class JsonReport final : public Report {
public:
    JsonReport(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void start(const std::vector<std::string>& ports) override {
        std::lock_guard lock(mutex_);
        ports_ = ports;
        lastProgress_.assign(ports.size(), Clock::time_point{});
    }
    void searchTry(int port, int attempt) override {
        object(port, "search", "\"try\":" + std::to_string(attempt));
    }
    void boardFound(int port, const engine::BoardFound& board, const chips::Chip* chip) override {
        const engine::Identification& id = board.identification;
        object(port, "found",
               "\"bios\":" + std::to_string(id.biosCode) + ",\"chip\":" +
                   std::to_string(id.chipCode) + ",\"chipName\":" +
                   (chip ? quoted(chip->part) : std::string("null")) + ",\"board\":" +
                   std::to_string(id.boardIndex) + ",\"preparation\":" +
                   std::to_string(id.preparation) + ",\"fullIdentification\":" +
                   (board.fullIdentification ? "true" : "false") + ",\"description\":" +
                   quoted(engine::sendsBoardRecord(id.biosCode) ? board.record.description : ""));
    }
    void imageLoaded(int port, const engine::LoadedImage& image) override {
        object(port, "image",
               "\"bytes\":" + std::to_string(image.bytes) + ",\"first\":" +
                   std::to_string(image.firstAddress) + ",\"end\":" +
                   std::to_string(image.endAddress));
    }
    void phase(int port, const char* text) override {
        object(port, "phase", "\"text\":" + quoted(text));
    }
    void progress(int port, Stage stage, int32_t done, int32_t total) override {
        {
            std::lock_guard lock(mutex_);
            Clock::time_point& last = lastProgress_[static_cast<size_t>(port)];
            const auto now = Clock::now();
            if (done != total && now - last < kRedrawPeriod) return;
            last = now;
        }
        object(port, "progress",
               std::string("\"stage\":") + (stage == Stage::Flash ? "\"flash\"" : "\"eeprom\"") +
                   ",\"done\":" + std::to_string(done) + ",\"total\":" + std::to_string(total));
    }
    void resend(int port, int attempt) override {
        object(port, "resend", "\"attempt\":" + std::to_string(attempt));
    }
    void result(int port, const BoardResult& board, int programmed, int failed) override {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", board.seconds);
        std::string fields = std::string("\"ok\":") + (board.result.ok() ? "true" : "false") +
                             ",\"text\":" + quoted(board.result.text()) + ",\"seconds\":" + seconds;
        if (board.board > 0)
            fields += ",\"board\":" + std::to_string(board.board) +
                      ",\"programmed\":" + std::to_string(programmed) +
                      ",\"failed\":" + std::to_string(failed);
        object(port, "result", fields);
    }
    void problem(int port, const std::string& text) override {
        object(port, "problem", "\"text\":" + quoted(text));
        std::lock_guard lock(mutex_);
        err_ << text << '\n';
        err_.flush();
    }
    void finish(const Summary& summary) override {
        std::lock_guard lock(mutex_);
        writeSummary(err_, summary); // stdout holds JSON only
    }

private:
    void object(int port, const char* event, const std::string& fields) {
        std::lock_guard lock(mutex_);
        out_ << "{\"port\":" << quoted(ports_[static_cast<size_t>(port)]) << ",\"event\":\""
             << event << "\"," << fields << "}\n";
        out_.flush();
    }

    std::mutex mutex_;
    std::ostream& out_;
    std::ostream& err_;
    std::vector<std::string> ports_;
    std::vector<Clock::time_point> lastProgress_;
};

} // namespace

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::unique_ptr<Report> makeReport(ReportForm form, std::ostream& out, std::ostream& err) {
    switch (form) {
    case ReportForm::Terminal:
        return std::make_unique<TerminalReport>(out, err);
    case ReportForm::Lines:
        return std::make_unique<LineReport>(out, err);
    case ReportForm::Json:
        return std::make_unique<JsonReport>(out, err);
    }
    return nullptr;
}

} // namespace cli

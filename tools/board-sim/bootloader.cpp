// Dump format (--dump FILE), one event a line in the order received, hexadecimal in upper case:
//   search C2 answered          a search byte (C2 or C5): answered, refused ("N") or ignored
//   progmode                    the program-mode byte CC (answered "K")
//   flash AAAAAA LEN DATA       an acknowledged flash frame: address, data length in decimal,
//                               the data bytes exactly as received (still in wire form)
//   eeprom AA VV                an acknowledged EEPROM frame: address and value
//   refused <flash/eeprom line> a good frame refused on purpose (--refuse)
//   silent <flash/eeprom line>  a good frame left unanswered (--silent)
//   badsum BYTES                a frame whose checksum was wrong (answered "N"), all its bytes
//   hangup                      the line was dropped (--hangup-after)
//   stall                       the line stopped taking data (--stall-after)
// and last a line of counts:
//   counts searches=S answered=A progmode=P frames=F refused=R badsum=B silent=Q

#include "bootloader.h"

#include "chips/chip_table.h"

#include <cstdio>
#include <utility>

namespace boardsim {

namespace {

constexpr uint8_t kSearchUpdater = 0xC2;
constexpr uint8_t kSearchUpgrade = 0xC5;
constexpr uint8_t kProgramMode = 0xCC;
constexpr uint8_t kEepromFrame = 0x40; // flash addresses never reach 0x400000
constexpr uint8_t kAck = 'K';
constexpr uint8_t kNak = 'N';
constexpr std::size_t kRecordPayload = 28;
constexpr std::size_t kDescriptionLength = 24;

// Bytes that the receiver takes as plain identification bytes, never as K, N, V or R.
constexpr uint8_t kGarbage[] = {0x00, 0xFF, 0x55, 0xAA, 0x13, 0x7E};

std::string hex(const uint8_t* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}

} // namespace

bool Bootloader::twoByteLength(uint8_t chip) {
    const chips::Chip* known = chips::chipByCode(chip);
    return known != nullptr && known->lengthFieldBytes == 2;
}

Bootloader::Bootloader(Config config) : config_(std::move(config)) {}

Outcome Bootloader::feed(uint8_t byte) {
    if (frame_.empty()) {
        if (byte == kSearchUpdater || byte == kSearchUpgrade) return onSearch(byte);
        if (byte == kProgramMode) {
            programMode_ = true;
            lastGood_.clear();
            ++counters_.progmodes;
            log_.push_back("progmode");
            Outcome out;
            out.commandEnded = true;
            if (!config_.silentProgramMode) out.reply.push_back(kAck);
            return out;
        }
    }
    frame_.push_back(byte);
    if (frameLength_ == 0) {
        if (frame_[0] == kEepromFrame) {
            frameLength_ = 6;
        } else if (twoByteLength(config_.chip) && frame_.size() == 5) {
            frameLength_ = 5 + ((static_cast<std::size_t>(frame_[3]) << 8) | frame_[4]) + 1;
        } else if (!twoByteLength(config_.chip) && frame_.size() == 4) {
            frameLength_ = 4 + static_cast<std::size_t>(frame_[3]) + 1;
        }
    }
    if (frameLength_ != 0 && frame_.size() == frameLength_) return onFrame();
    return {};
}

void Bootloader::lineReset() {
    frame_.clear();
    frameLength_ = 0;
    lastGood_.clear();
}

Outcome Bootloader::onSearch(uint8_t byte) {
    Outcome out;
    out.commandEnded = true;
    ++counters_.searches;
    lastGood_.clear();
    char line[32];
    const bool accepted = byte == kSearchUpdater ? config_.acceptC2 : config_.acceptC5;
    const char* verdict = "ignored";
    if (accepted) {
        const int seen = searchesSeen_++;
        if (config_.refuseSearch) {
            out.reply.push_back(kNak);
            verdict = "refused";
        } else if (seen >= config_.answerAfter) {
            appendIdentification(out.reply);
            ++counters_.answered;
            verdict = "answered";
        }
    }
    std::snprintf(line, sizeof line, "search %02X %s", byte, verdict);
    log_.push_back(line);
    return out;
}

void Bootloader::appendIdentification(std::vector<uint8_t>& reply) const {
    for (int i = 0; i < config_.garbage; ++i)
        reply.push_back(kGarbage[static_cast<std::size_t>(i) % sizeof kGarbage]);
    if (config_.old) {
        reply.insert(reply.end(), {config_.chip, kAck});
        return;
    }
    reply.insert(reply.end(),
                 {'V', config_.bios, config_.chip, config_.board, config_.preparation, kAck});
    if (!config_.sendRecord || config_.bios < 8 || config_.bios > 31) return;
    reply.insert(reply.end(), {'R', static_cast<uint8_t>(kRecordPayload), 0x00});
    for (std::size_t i = 0; i < kDescriptionLength; ++i) {
        reply.push_back(i < config_.description.size()
                            ? static_cast<uint8_t>(config_.description[i])
                            : uint8_t{0});
    }
    reply.insert(reply.end(), {static_cast<uint8_t>(config_.protectStart & 0xFF),
                               static_cast<uint8_t>(config_.protectStart >> 8),
                               static_cast<uint8_t>(config_.protectLength & 0xFF),
                               static_cast<uint8_t>(config_.protectLength >> 8), kAck});
}

std::string Bootloader::describeFrame() const {
    char head[48];
    if (frame_[0] == kEepromFrame) {
        std::snprintf(head, sizeof head, "eeprom %02X %02X", frame_[1], frame_[2]);
        return head;
    }
    const std::size_t header = twoByteLength(config_.chip) ? 5 : 4;
    const unsigned address = (unsigned{frame_[0]} << 16) | (unsigned{frame_[1]} << 8) | frame_[2];
    const std::size_t length = frame_.size() - header - 1;
    std::snprintf(head, sizeof head, "flash %06X %zu ", address, length);
    return head + hex(frame_.data() + header, length);
}

Outcome Bootloader::onFrame() {
    Outcome out;
    out.commandEnded = true;
    uint8_t sum = 0;
    for (uint8_t b : frame_)
        sum = static_cast<uint8_t>(sum + b);
    if (sum != 0) {
        ++counters_.badChecksums;
        log_.push_back("badsum " + hex(frame_.data(), frame_.size()));
        out.reply.push_back(kNak);
        frame_.clear();
        frameLength_ = 0;
        return out;
    }
    out.flashFrame = frame_[0] != kEepromFrame;
    if (frame_ != lastGood_) ++frameNumber_;
    lastGood_ = frame_;
    const std::string line = describeFrame();
    frame_.clear();
    frameLength_ = 0;

    if (config_.hangupAfter >= 0 && frameNumber_ >= config_.hangupAfter) {
        config_.hangupAfter = -1; // once: a reopened line works again
        log_.push_back("hangup");
        out.hangup = true;
        return out;
    }
    if (config_.silentFrames.count(frameNumber_) != 0) {
        ++counters_.silent;
        log_.push_back("silent " + line);
        return out;
    }
    const auto refusal = config_.refusals.find(frameNumber_);
    if (refusal != config_.refusals.end() && refusedSoFar_[frameNumber_] < refusal->second) {
        ++refusedSoFar_[frameNumber_];
        ++counters_.refused;
        log_.push_back("refused " + line);
        out.reply.push_back(kNak);
        return out;
    }
    ++counters_.frames;
    log_.push_back(line);
    out.reply.push_back(kAck);
    if (config_.stallAfter >= 0 && frameNumber_ >= config_.stallAfter) {
        config_.stallAfter = -1;
        log_.push_back("stall");
        out.stall = true;
    }
    return out;
}

std::string Bootloader::dump() const {
    std::string text;
    for (const std::string& line : log_)
        text += line + "\n";
    char counts[160];
    std::snprintf(counts, sizeof counts,
                  "counts searches=%d answered=%d progmode=%d frames=%d refused=%d badsum=%d "
                  "silent=%d\n",
                  counters_.searches, counters_.answered, counters_.progmodes, counters_.frames,
                  counters_.refused, counters_.badChecksums, counters_.silent);
    return text + counts;
}

} // namespace boardsim

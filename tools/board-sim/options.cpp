#include "options.h"

#include "serial/listing/port_map.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace boardsim {

namespace {

// Decimal, 0x hexadecimal, or a single letter standing for its code ('B' = 66).
bool parseNumber(const char* text, long low, long high, long& value, bool letters = false) {
    if (letters && std::strlen(text) == 1 && !(text[0] >= '0' && text[0] <= '9')) {
        value = static_cast<unsigned char>(text[0]);
        return value >= low && value <= high;
    }
    if (letters && std::strlen(text) == 3 && text[0] == '\'' && text[2] == '\'') {
        value = static_cast<unsigned char>(text[1]);
        return value >= low && value <= high;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 0);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

bool parsePair(const char* text, long high, long& first, long& second) {
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) return false;
    const std::string head(text, colon);
    return parseNumber(head.c_str(), 0, high, first) && parseNumber(colon + 1, 0, high, second);
}

} // namespace

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    Config& config = options.bootloader;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needValue = [&]() {
            if (value == nullptr)
                error = name + " needs a value";
            else
                ++i;
            return value != nullptr;
        };
        auto bad = [&]() {
            error = "bad value for " + name + ": " + value;
            return false;
        };
        long number = 0;
        long second = 0;
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--old") {
            config.old = true;
        } else if (name == "--no-record") {
            config.sendRecord = false;
        } else if (name == "--refuse-search") {
            config.refuseSearch = true;
        } else if (name == "--silent-progmode") {
            config.silentProgramMode = true;
        } else if (name == "--split") {
            options.split = true;
        } else if (name == "--reopen") {
            options.reopen = true;
        } else if (name == "--port") {
            if (!needValue()) return false;
            if (serial::portNumberOfLinkName(value) < 0 || std::strlen(value) > 6) return bad();
            options.port = value;
        } else if (name == "--search-byte") {
            if (!needValue()) return false;
            if (!parseNumber(value, 0, 255, number) || (number != 0xC2 && number != 0xC5))
                return bad();
            config.acceptC2 = number == 0xC2;
            config.acceptC5 = number == 0xC5;
        } else if (name == "--bios" || name == "--chip" || name == "--board" || name == "--prep") {
            if (!needValue()) return false;
            if (!parseNumber(value, 0, 255, number, true)) return bad();
            const auto byte = static_cast<uint8_t>(number);
            if (name == "--bios")
                config.bios = byte;
            else if (name == "--chip")
                config.chip = byte;
            else if (name == "--board")
                config.board = byte;
            else
                config.preparation = byte;
        } else if (name == "--description") {
            if (!needValue()) return false;
            if (std::strlen(value) > 24) return bad();
            config.description = value;
        } else if (name == "--protect") {
            if (!needValue()) return false;
            if (!parsePair(value, 0xFFFF, number, second)) return bad();
            config.protectStart = static_cast<uint16_t>(number);
            config.protectLength = static_cast<uint16_t>(second);
        } else if (name == "--refuse") {
            if (!needValue()) return false;
            if (!parsePair(value, 1000000, number, second)) return bad();
            config.refusals[static_cast<int>(number)] = static_cast<int>(second);
        } else if (name == "--silent") {
            if (!needValue()) return false;
            if (!parseNumber(value, 0, 1000000, number)) return bad();
            config.silentFrames.insert(static_cast<int>(number));
        } else if (name == "--answer-after" || name == "--garbage" || name == "--hangup-after" ||
                   name == "--stall-after" || name == "--baud" || name == "--write-ms" ||
                   name == "--latency-ms") {
            if (!needValue()) return false;
            if (!parseNumber(value, 0, 10000000, number)) return bad();
            if (name == "--answer-after")
                config.answerAfter = static_cast<int>(number);
            else if (name == "--garbage")
                config.garbage = static_cast<int>(number);
            else if (name == "--hangup-after")
                config.hangupAfter = static_cast<int>(number);
            else if (name == "--stall-after")
                config.stallAfter = static_cast<int>(number);
            else if (name == "--baud")
                options.baud = number;
            else if (name == "--latency-ms")
                options.latencyMs = number;
            else
                options.writeMs = number;
        } else if (name == "--dump") {
            if (!needValue()) return false;
            options.dumpFile = value;
        } else {
            error = "unknown option " + name;
            return false;
        }
        if (!error.empty()) return false;
    }
    return true;
}

const char* usageText() {
    return "usage: board-sim [options]\n"
           "An emulated bootloader on a pseudo-terminal, linked as a COM port name.\n"
           "  --port COMn            port name to register (default COM200)\n"
           "  --search-byte B        answer only this search byte (0xC2 or 0xC5)\n"
           "  --old                  older bootloader: chip code and K only\n"
           "  --bios N --chip N --board N --prep N   identification (chip may be a letter)\n"
           "  --description TEXT     board description of the data record (24 characters)\n"
           "  --protect START:LENGTH protected range of the data record\n"
           "  --no-record            never send the board data record\n"
           "  --refuse I:K           refuse frame I (from 0) K times\n"
           "  --silent I             never answer frame I\n"
           "  --answer-after K       ignore the first K search bytes\n"
           "  --refuse-search        answer N to every search byte\n"
           "  --silent-progmode      never answer the program-mode byte\n"
           "  --split                send every reply byte in its own write\n"
           "  --garbage N            send N garbage bytes before each identification\n"
           "  --hangup-after N       drop the line when frame N arrives\n"
           "  --stall-after N        answer frame N, then take no more data (a stuck adapter)\n"
           "  --reopen               after a hang-up, come back on a new line\n"
           "  --baud B               model a line of B baud (11 bits a byte)\n"
           "  --write-ms M           flash write time added to each flash frame reply\n"
           "  --latency-ms N         every reply reaches the updater N ms late, as behind a USB\n"
           "                         adapter's latency timer\n"
           "  --dump FILE            write what was received to FILE at exit\n";
}

} // namespace boardsim

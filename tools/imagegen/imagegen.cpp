// imagegen PRODUCT_DIR OUT.cpp [DEPFILE]
// Turns a product folder (see firmware/images/README.md) into the C++ source of its build
// inputs: identity text, build stamp, scramble constant and image table positions. A fault in
// an input stops the build with a message naming the file and line.
#include "product_manifest.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    std::cerr << where << ": error: " << what << '\n';
    std::exit(1);
}

// With SOURCE_DATE_EPOCH set, the stamp is that moment in UTC, so that builds repeat exactly.
std::string stampSource() {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch) {
        return "constexpr auto kCompilerDate = dateFromCompiler(__DATE__);\n"
               "const char* const kBuildDate = kCompilerDate.text;\n"
               "const char kBuildTime[] = __TIME__;\n";
    }
    char* end = nullptr;
    long long seconds = std::strtoll(epoch, &end, 10);
    if (*end != '\0' || seconds < 0) fail("SOURCE_DATE_EPOCH", "not a number of seconds");
    // Civil date from days since 1970-01-01 (H. Hinnant's algorithm): no gmtime_r, which
    // the Windows C library lacks.
    const long long days = seconds / 86400, secs = seconds % 86400;
    const long long z = days + 719468, era = z / 146097, doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char date[32], time[16];
    std::snprintf(date, sizeof date, "%s %d %lld", months[month - 1], day, year);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>(secs / 3600),
                  static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60));
    return std::string("const char kBuildDate[] = \"") + date + "\";\n" +
           "const char kBuildTime[] = \"" + time + "\";\n";
}

// Make-style dependency file, so that a HEX file shared with another product folder is
// tracked too. Blanks in paths are escaped as make wants them.
std::string depEscape(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

void writeReplacing(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary);
        out << text;
        if (!out) fail(tmp, "cannot be written");
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) fail(path, "cannot be replaced");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: imagegen PRODUCT_DIR OUT.cpp [DEPFILE]\n";
        return 2;
    }
    const std::string dir = argv[1];
    try {
        const imagegen::ProductManifest product = imagegen::loadProduct(dir);
        writeReplacing(argv[2], imagegen::emitProductSource(product, stampSource(), dir));
        if (argc == 4) {
            std::string deps = depEscape(argv[2]) + ":";
            for (const std::string& input : product.inputs)
                deps += " \\\n  " + depEscape(input);
            writeReplacing(argv[3], deps + "\n");
        }
    } catch (const imagegen::InputError& e) {
        std::cerr << e.describe() << '\n';
        return 1;
    }
    return 0;
}
